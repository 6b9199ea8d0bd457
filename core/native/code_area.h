// The code area: executable memory for translated code, and the only thing
// that writes there. The trampolines sit at its start and stay; blocks
// follow, each emitted into room reserved for it and committed when done.
// Jumps between committed blocks are patched through it, and it refuses any
// write outside what has been committed. When it is full the cache resets
// it and starts again from an empty area, so its size bounds the memory that
// translated code takes.
//
// Hosts that refuse memory both writable and executable (a hardened kernel
// or a sandbox's system-call filter) get the area as two views of one
// memory file: code runs in the executable view and is written through the
// writable one. Every address handed out is in the executable view; writes
// go through write_at().
#pragma once

#include <cstddef>
#include <cstdint>

namespace norvex::native {

// Emission room: bytes [start, limit) of the executable view; the byte at p
// is written at p + write_offset.
struct Room {
    uint8_t* start = nullptr;
    uint8_t* limit = nullptr;
    uintptr_t write_offset = 0;
};

// Where the byte shown at p is written, for a view written `offset` bytes
// away (0: the same memory). Integer arithmetic: the views are separate
// mappings.
inline uint8_t* write_at(uint8_t* p, uintptr_t offset) {
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(p) + offset);
}

enum class CodeViews { OneIfAllowed, Two };

class CodeArea {
public:
    // An area of `bytes` (rounded up to whole pages), in one writable and
    // executable view if the host allows it (or two views if asked); ok() is
    // false when the host gives no executable memory at all.
    explicit CodeArea(size_t bytes, CodeViews views = CodeViews::OneIfAllowed);
    ~CodeArea();
    CodeArea(const CodeArea&) = delete;
    CodeArea& operator=(const CodeArea&) = delete;

    bool ok() const { return base_ != nullptr; }
    // Room for at least `bytes` more, or an empty Room when the area has
    // less left. Only one reservation is open at a time.
    Room reserve(size_t bytes);
    // Ends the open reservation: [start, end) is kept, the rest returned.
    void commit(const uint8_t* end);
    // Everything committed so far stays for good (the trampolines).
    void keep() { fixed_ = free_; }
    // Drops every block: the area is empty again after what keep() kept.
    void reset() { free_ = fixed_; }

    // Points the rel32 field of a committed jump at target. A field outside
    // the committed code is a fault of the caller and is refused.
    bool patch_jump(uint8_t* field, const uint8_t* target);
    bool holds(const uint8_t* p, size_t n) const { return p >= base_ && p + n <= free_ && n <= size_; }

    size_t size() const { return size_; }
    bool two_views() const { return write_offset_ != 0; }
    size_t free_bytes() const { return size_t(end_ - free_); }

private:
    bool map_one_view();
    bool map_two_views();

    uint8_t* base_ = nullptr;
    uint8_t* write_base_ = nullptr;   // the writable view (base_ itself with one view)
    uintptr_t write_offset_ = 0;
    uint8_t* end_ = nullptr;
    size_t size_ = 0;
    uint8_t* fixed_ = nullptr;   // end of what reset() keeps
    uint8_t* free_ = nullptr;    // end of committed code
    bool open_ = false;
};

}  // namespace norvex::native
