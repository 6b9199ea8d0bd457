// What the fuzz targets share: the machine's bounds for one input, and the
// memory an input's header and options would ask of the host.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/machine.h"
#include "fuzz/sandbox.h"
#include "image/header.h"
#include "image/options.h"

namespace norvex::fuzz {

// Units of run budget per input: enough for every seed program to end by
// itself, small enough for thousands of inputs a second.
constexpr uint32_t kBudget = 20000;

// The header start-up reads: the first 80 bytes of the image, zeros past its end.
inline void header_of(const uint8_t* image, size_t size, uint8_t (&header)[kHeaderBytes]) {
    std::memset(header, 0, kHeaderBytes);
    if (size) std::memcpy(header, image, std::min<size_t>(size, kHeaderBytes));
}

// True when the memories start-up would allocate for this header and these
// options (none: the built-in image's way) stay within kMemoryBound.
inline bool memory_fits(const uint8_t (&header)[kHeaderBytes], const CommandLine* options) {
    MemConf c;
    uint32_t pc = 0;
    if (options) {
        c.Flag = options->flags;
        c.PRGOFF = options->prg_off;
        c.PRGSIZE = options->prg_size;
        c.VAROFF = options->var_off;
        c.VARSIZE = options->var_size;
    }
    resolve_config(header, c, pc, [](int) {});
    const uint64_t prg = (c.Flag & F_PRGSEP) ? c.PRGSIZE : 0;
    return uint64_t(c.VARSIZE) + kGuardBytes + prg <= kMemoryBound;
}

// The next field of an input: the bytes up to a NUL (or the end), which
// are taken off the front of rest with their NUL.
inline std::string_view field(std::string_view& rest) {
    const size_t nul = rest.find('\0');
    const std::string_view f = rest.substr(0, nul);
    rest = nul == rest.npos ? std::string_view() : rest.substr(nul + 1);
    return f;
}

// The rest of an input as an image's bytes: never a null pointer, which an
// empty view may hold.
inline const uint8_t* image_bytes(std::string_view rest) {
    static const uint8_t none = 0;
    return rest.empty() ? &none : reinterpret_cast<const uint8_t*>(rest.data());
}

// A machine's bounds for one input.
inline void bound(Machine& m) {
    m.budget = kBudget;
    m.services.xalloc_max_bytes = kMemoryBound;
}

}  // namespace norvex::fuzz
