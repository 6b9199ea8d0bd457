#include "core/native/code_area.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace norvex::native {

CodeArea::CodeArea(size_t bytes) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    size_ = (bytes + page - 1) / page * page;
    void* mem = mmap(nullptr, size_, PROT_READ | PROT_WRITE | PROT_EXEC,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mem == MAP_FAILED) {
        size_ = 0;
        return;
    }
    base_ = fixed_ = free_ = static_cast<uint8_t*>(mem);
    end_ = base_ + size_;
}

CodeArea::~CodeArea() {
    if (base_) munmap(base_, size_);
}

Room CodeArea::reserve(size_t bytes) {
    if (!base_ || open_ || free_bytes() < bytes) return {};
    open_ = true;
    return {free_, end_};
}

void CodeArea::commit(const uint8_t* end) {
    if (open_ && end >= free_ && end <= end_) free_ = const_cast<uint8_t*>(end);
    open_ = false;
}

bool CodeArea::patch_jump(uint8_t* field, const uint8_t* target) {
    if (!holds(field, 4)) return false;
    const int32_t rel = int32_t(target - (field + 4));
    std::memcpy(field, &rel, 4);
    return true;
}

}  // namespace norvex::native
