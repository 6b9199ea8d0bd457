// State that the host services keep for the image between calls.
#pragma once

#include <cstdint>

namespace norvex {

struct ServiceState {
    uint64_t xalloc_bytes = 0;   // host memory handed out by XALLOC and not freed
};

}  // namespace norvex
