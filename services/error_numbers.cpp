#include "services/error_numbers.h"

#include <sys/stat.h>

#include <cerrno>
#include <iterator>
#include <string>

namespace norvex {

const ErrnoMapping kErrnoTable[] = {
    {ENOENT, ERR_FILE_NOT_FOUND},
    {ENOTDIR, ERR_PATH_NOT_FOUND},
    {EMFILE, ERR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERR_TOO_MANY_OPEN_FILES},
    {EACCES, ERR_ACCESS_DENIED},
    {EPERM, ERR_ACCESS_DENIED},
    {EISDIR, ERR_ACCESS_DENIED},
    {EBADF, ERR_INVALID_HANDLE},
    {ENOMEM, ERR_NOT_ENOUGH_MEMORY},
    {EROFS, ERR_WRITE_PROTECT},
    {EWOULDBLOCK, ERR_SHARING_VIOLATION},   // a lock held by another opener
    {ETXTBSY, ERR_SHARING_VIOLATION},
    {EEXIST, ERR_ALREADY_EXISTS},
    {EINVAL, ERR_INVALID_PARAMETER},
    {EPIPE, ERR_BROKEN_PIPE},
    {ENOSPC, ERR_DISK_FULL},
    {EDQUOT, ERR_DISK_FULL},
    {EILSEQ, ERR_INVALID_NAME},
    {ENOTEMPTY, ERR_DIR_NOT_EMPTY},
    {EBUSY, ERR_BUSY},
    {ENAMETOOLONG, ERR_FILENAME_TOO_LONG},
    {EFBIG, ERR_FILE_TOO_LARGE},
    {ESPIPE, ERR_INVALID_FUNCTION},   // positioning a pipe or terminal
    {ENOTTY, ERR_INVALID_FUNCTION},
    {ENXIO, ERR_FILE_NOT_FOUND},      // a device that is not there
    {ENODEV, ERR_FILE_NOT_FOUND},
    {EIO, ERR_IO_DEVICE},
};
const unsigned kErrnoTableSize = unsigned(std::size(kErrnoTable));

uint32_t ior_of_errno(int err) {
    for (const ErrnoMapping& e : kErrnoTable)
        if (e.err == err) return e.ior;
    return kUnmappedErrno + uint32_t(err);
}

uint32_t ior_of_name_errno(const char* name, int err) {
    if (err != ENOENT) return ior_of_errno(err);
    const std::string path = name;
    if (path.empty()) return ERR_PATH_NOT_FOUND;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return ERR_FILE_NOT_FOUND;
    struct stat st;
    const std::string dir = path.substr(0, slash);
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERR_PATH_NOT_FOUND;
    return ERR_FILE_NOT_FOUND;
}

}  // namespace norvex
