#include "core/translate.h"

namespace norvex {

namespace {

// Distance of host location p from block start, as the 32-bit offset the
// back-translations use (p may lie anywhere; no pointer arithmetic on it).
uint32_t distance(const uint8_t* p, const uint8_t* base) {
    return uint32_t(reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(base));
}

// True when p lies in the block at base or one past its end. The whole host
// distance counts: blocks may lie any multiple of 4 GiB apart, so a distance
// cut to 32 bits could put a location of one block inside the other.
bool within(const uint8_t* p, const uint8_t* base, uint32_t size) {
    const auto at = reinterpret_cast<uintptr_t>(p), lo = reinterpret_cast<uintptr_t>(base);
    return base && at >= lo && at - lo <= size;
}

}  // namespace

uint32_t fault_offset(const MemConf& c, Translation t, uint32_t a, uint32_t width) {
    const bool prg_first = t == Translation::Prg;
    const uint32_t first_off = prg_first ? c.PRGOFF : c.VAROFF;
    const uint32_t first_size = prg_first ? c.PRGSIZE : c.VARSIZE;
    const uint32_t first_extent = prg_first ? prg_extent(c) : c.VARSIZE;
    const uint32_t second_off = prg_first ? c.VAROFF : c.PRGOFF;
    const uint32_t second_size = prg_first ? c.VARSIZE : c.PRGSIZE;
    const uint32_t second_extent = prg_first ? c.VARSIZE : prg_extent(c);

    uint32_t o = a - first_off;
    if (o < first_size && first_extent - o < width) return first_extent;
    if (c.harvard()) return o;
    o = a - second_off;
    if (o < second_size && second_extent - o < width) return second_extent;
    return o;
}

uint32_t GETPRGADR(const MemConf& c, const uint8_t* p) {
    if (!c.harvard() && !within(p, c.prg, c.PRGSIZE)) return c.VAROFF + distance(p, c.var);
    return c.PRGOFF + distance(p, c.prg);
}

uint32_t GETVARADR(const MemConf& c, const uint8_t* p) {
    if (!c.harvard() && !within(p, c.var, c.VARSIZE)) return c.PRGOFF + distance(p, c.prg);
    return c.VAROFF + distance(p, c.var);
}

}  // namespace norvex
