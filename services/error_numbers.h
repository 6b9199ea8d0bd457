// The result codes of failed host calls. Images test the ior for non-zero
// and some compare it with the numbers they know from the other host, so
// failures are reported with those numbers: each errno maps to one number
// in kErrnoTable, and an errno without a counterpart maps to
// kUnmappedErrno + errno.
#pragma once

#include <cstdint>

namespace norvex {

enum HostError : uint32_t {
    ERR_INVALID_FUNCTION = 1,
    ERR_FILE_NOT_FOUND = 2,
    ERR_PATH_NOT_FOUND = 3,
    ERR_TOO_MANY_OPEN_FILES = 4,
    ERR_ACCESS_DENIED = 5,
    ERR_INVALID_HANDLE = 6,
    ERR_NOT_ENOUGH_MEMORY = 8,
    ERR_WRITE_PROTECT = 19,
    ERR_SHARING_VIOLATION = 32,
    ERR_FILE_EXISTS = 80,
    ERR_INVALID_PARAMETER = 87,
    ERR_BROKEN_PIPE = 109,
    ERR_DISK_FULL = 112,
    ERR_INVALID_NAME = 123,
    ERR_NEGATIVE_SEEK = 131,
    ERR_DIR_NOT_EMPTY = 145,
    ERR_BUSY = 170,
    ERR_ALREADY_EXISTS = 183,
    ERR_FILENAME_TOO_LONG = 206,
    ERR_FILE_TOO_LARGE = 223,
    ERR_NOACCESS = 998,   // a range outside the memory or block it starts in
    ERR_IO_DEVICE = 1117,
};

constexpr uint32_t kUnmappedErrno = 0x20000000;

struct ErrnoMapping {
    int err;
    uint32_t ior;
};

extern const ErrnoMapping kErrnoTable[];
extern const unsigned kErrnoTableSize;

// The result code for a failed host call that set errno to err.
uint32_t ior_of_errno(int err);

// The same for a call that took a file name: "not found" becomes "path not
// found" when the directory part of the name does not exist.
uint32_t ior_of_name_errno(const char* name, int err);

}  // namespace norvex
