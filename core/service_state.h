// State that the host services keep for the image between calls.
#pragma once

#include <cstdint>
#include <map>

#include "core/host_space.h"
#include "host/vt_screen.h"

namespace norvex {

// XALLOC's bounds: bytes handed out and not freed, and live blocks. Past
// either, XALLOC answers 0x7F07 as when the host has no memory.
constexpr uint64_t kXallocMaxBytes = uint64_t(1) << 30;
constexpr uint32_t kXallocMaxBlocks = 4096;

// File ids: handed out from kFirstFileId upwards, never 0, 1 or 2, never
// the host's descriptor. At most kMaxOpenFiles are open at once.
constexpr uint32_t kFirstFileId = 0x100;
constexpr uint32_t kMaxOpenFiles = 64;

// A file or device the image has open.
struct OpenFile {
    int fd = -1;
    bool regular = false;   // a plain file: reads fill the buffer up to the end
};

// The files and devices the image has open, by the id it was given. What
// the image leaves open is closed when the machine goes.
struct OpenFiles {
    std::map<uint32_t, OpenFile> by_id;
    uint32_t next_id = kFirstFileId;
    uint32_t max_open = kMaxOpenFiles;

    OpenFiles() = default;
    OpenFiles(const OpenFiles&) = delete;
    OpenFiles& operator=(const OpenFiles&) = delete;
    ~OpenFiles();

    const OpenFile* find(uint32_t id) const;
    bool full() const { return by_id.size() >= max_open; }
    uint32_t add(OpenFile f);   // the new id
};

struct ServiceState {
    // Host memory blocks made by XALLOC and not yet freed, by their 32-bit
    // base in the host space.
    std::map<uint32_t, MemoryBlock> xblocks;
    uint64_t xalloc_bytes = 0;
    uint64_t xalloc_max_bytes = kXallocMaxBytes;
    uint32_t xalloc_max_blocks = kXallocMaxBlocks;

    OpenFiles files;

    // The serial parameters as FPAR@ last read or FPAR! last set them: the
    // flag word and the baud rate; zeros until then.
    uint32_t serial_flags = 0;
    uint32_t serial_baud = 0;

    // The status the process exits with once the image stops: 0 after BYE,
    // x & 0xFF after DEBUG's exit request.
    uint8_t exit_status = 0;

    // The screen as last queried, or as ATXY and COLOR! last set it; all
    // zeros until a query succeeds.
    ScreenInfo screen;
};

}  // namespace norvex
