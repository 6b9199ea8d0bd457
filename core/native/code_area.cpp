#include "core/native/code_area.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace norvex::native {

CodeArea::CodeArea(size_t bytes, CodeViews views) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    size_ = (bytes + page - 1) / page * page;
    if (!(views == CodeViews::OneIfAllowed && map_one_view()) && !map_two_views()) {
        size_ = 0;
        return;
    }
    write_offset_ = reinterpret_cast<uintptr_t>(write_base_) - reinterpret_cast<uintptr_t>(base_);
    fixed_ = free_ = base_;
    end_ = base_ + size_;
}

bool CodeArea::map_one_view() {
    void* mem = mmap(nullptr, size_, PROT_READ | PROT_WRITE | PROT_EXEC,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mem == MAP_FAILED) return false;
    base_ = write_base_ = static_cast<uint8_t*>(mem);
    return true;
}

bool CodeArea::map_two_views() {
    const int fd = memfd_create("norvex-code", MFD_CLOEXEC);
    if (fd < 0) return false;
    void* exec = MAP_FAILED;
    void* write = MAP_FAILED;
    if (ftruncate(fd, off_t(size_)) == 0) {
        exec = mmap(nullptr, size_, PROT_READ | PROT_EXEC, MAP_SHARED, fd, 0);
        write = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    close(fd);   // the mappings keep the memory
    if (exec == MAP_FAILED || write == MAP_FAILED) {
        if (exec != MAP_FAILED) munmap(exec, size_);
        if (write != MAP_FAILED) munmap(write, size_);
        return false;
    }
    base_ = static_cast<uint8_t*>(exec);
    write_base_ = static_cast<uint8_t*>(write);
    return true;
}

CodeArea::~CodeArea() {
    if (!base_) return;
    munmap(base_, size_);
    if (write_base_ != base_) munmap(write_base_, size_);
}

Room CodeArea::reserve(size_t bytes) {
    if (!base_ || open_ || free_bytes() < bytes) return {};
    open_ = true;
    return {free_, end_, write_offset_};
}

void CodeArea::commit(const uint8_t* end) {
    if (open_ && end >= free_ && end <= end_) free_ = const_cast<uint8_t*>(end);
    open_ = false;
}

bool CodeArea::patch_jump(uint8_t* field, const uint8_t* target) {
    if (!holds(field, 4)) return false;
    const int32_t rel = int32_t(target - (field + 4));
    std::memcpy(write_at(field, write_offset_), &rel, 4);
    return true;
}

}  // namespace norvex::native
