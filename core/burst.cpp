// The working registers of a burst as the services and the fault stops see
// them: the area of a location, and the data-stack moves checked against
// the bounds of their block.
#include "core/burst.h"

#include "core/native/native.h"

namespace norvex {

void Burst::stack_fault(const Area& a, bool below) const {
    // Reported as the translation fault of the first address outside the
    // block: 4 below its start for a push, its end for a pop or read.
    const uint32_t offset = below ? uint32_t(-4) : a.size();
    translation_fault(Translation::Var, offset, here());
}

void Burst::require(unsigned cells) {
    if (size_t(ds.hi - sp) < 4u * cells) stack_fault(ds, false);
}

uint32_t Burst::peek(unsigned index) {
    require(index + 1);
    return mem_load32(sp + 4 * index);
}

uint32_t Burst::pop() {
    require(1);
    const uint32_t x = mem_load32(sp);
    sp += 4;
    return x;
}

void Burst::push(uint32_t x) {
    if (size_t(sp - ds.lo) < 4) stack_fault(ds, true);
    sp -= 4;
    mem_store32(sp, x);
    if (ds.watched) stored(m, sp, 4);
}

// Where a register left by translated code points: as GETPRGPTR or
// GETVARPTR would place it, or one past the end of the memory it was moving
// in (a legal register value inside a burst that a new burst could not
// translate).
uint8_t* resume_location(Machine& m, Translation t, uint32_t a) {
    const MemConf& c = m.mem;
    if (uint8_t* p = t == Translation::Prg ? find_prg(c, a, 1) : find_var(c, a, 1)) return p;
    if (t == Translation::Prg && c.prg && a - c.PRGOFF == c.PRGSIZE) return c.prg + c.PRGSIZE;
    if (t == Translation::Var && c.var && a - c.VAROFF == c.VARSIZE) return c.var + c.VARSIZE;
    return t == Translation::Prg ? GETPRGPTR(m, a) : GETVARPTR(m, a);
}

}  // namespace norvex
