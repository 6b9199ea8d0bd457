#include "core/service_state.h"

#include <unistd.h>

namespace norvex {

OpenFiles::~OpenFiles() {
    for (const auto& [id, f] : by_id) ::close(f.fd);
}

const OpenFile* OpenFiles::find(uint32_t id) const {
    const auto it = by_id.find(id);
    return it == by_id.end() ? nullptr : &it->second;
}

uint32_t OpenFiles::add(OpenFile f) {
    while (next_id < kFirstFileId || by_id.count(next_id)) ++next_id;
    const uint32_t id = next_id++;
    by_id.emplace(id, f);
    return id;
}

}  // namespace norvex
