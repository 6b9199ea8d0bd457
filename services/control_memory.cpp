#include "services/control_memory.h"

#include "host/interrupt.h"
#include "core/native/native.h"
#include "host/console.h"

#include <cstdlib>

namespace norvex {

namespace {

// The 32-bit host address of a location that GETVARPTR or GETPRGPTR gave:
// it lies inside variable memory or program memory.
uint32_t host_address(const MemConf& c, const uint8_t* p) {
    const auto at = reinterpret_cast<uintptr_t>(p);
    const auto var = reinterpret_cast<uintptr_t>(c.var);
    if (c.var && at >= var && at - var < c.VARSIZE) return c.VARPTR + uint32_t(at - var);
    return c.PRGPTR + uint32_t(at - reinterpret_cast<uintptr_t>(c.prg));
}

// An extended address: the host address, then the high cell.
Ior push_xaddr(Burst& b, uint32_t host) {
    b.push(host);
    b.push(0);
    return 0;
}

// A zero-filled block of size bytes in the host space; 0 when the bounds or
// the host refuse it.
uint32_t xalloc(Machine& m, uint32_t size) {
    ServiceState& s = m.services;
    if (s.xblocks.size() >= s.xalloc_max_blocks) return 0;
    if (s.xalloc_bytes > s.xalloc_max_bytes || size > s.xalloc_max_bytes - s.xalloc_bytes) return 0;
    MemoryBlock block(static_cast<uint8_t*>(std::calloc(size ? size : 1, 1)));
    if (!block) return 0;
    const uint32_t base = m.space.add(block.get(), size, true);
    if (!base) return 0;
    s.xalloc_bytes += size;
    s.xblocks.emplace(base, std::move(block));
    return base;
}

// FLASH-SE and FLASH-SW: ( paddr u -- paddr' u' 0 ), widened to whole units.
Ior widen(Burst& b, uint32_t unit) {
    b.require(2);
    const uint32_t u = b.pop();
    const uint32_t paddr = b.pop();
    const uint32_t end = paddr + u;
    const uint32_t first = paddr & ~(unit - 1);
    b.push(first);
    b.push((end - first + unit - 1) & ~(unit - 1));
    return 0;
}

// Ends the run at the main loop's next pass, with the registers as the burst
// started with them (the last trace line shows the SYSCALL again).
Ior stop_run(Burst& b, uint8_t exit_status) {
    b.m.DBGMODE |= DM_STOP;
    b.m.services.exit_status = exit_status;
    return Ior::leave_burst();
}

}  // namespace

Ior svc_INIT(Burst& b) {
    b.pop();
    return 0;
}

Ior svc_BYE(Burst& b) { return stop_run(b, 0); }

// ( x mode -- 0 ). Bits 8-15 of mode are requests: a call with one of them
// does only that request. Without them the low byte replaces DBGMODE and x
// BREAKADR.
Ior svc_DEBUG(Burst& b) {
    b.require(2);
    const uint32_t mode = b.pop();
    if (mode & kDebugExitRequest) return stop_run(b, uint8_t(b.pop()));   // as BYE, with status x
    const uint32_t x = b.pop();
    if (mode & kDebugInterruptHandler) {
        set_interrupt_handler(b.m, x);
    } else {
        b.m.DBGMODE = uint8_t(mode);
        b.m.BREAKADR = x;
    }
    return 0;
}

// A user interrupt goes to the handler at x from now on (0: none). The
// console then turns Ctrl-C into an interrupt while the image runs.
void set_interrupt_handler(Machine& m, uint32_t x) {
    m.interrupt_handler = x;
    if (m.console) m.console->catch_interrupts(x != 0);
    clear_interrupt();
}

// ( -- a 0 )
Ior svc_GETPAR(Burst& b) {
    b.push(b.m.ARGSTR);
    b.m.ARGSTR = 0;
    return 0;
}

// ( ud -- xaddr 0 ) or ( ud -- 0x7F07 ); the high cell of ud is not read.
Ior svc_XALLOC(Burst& b) {
    b.require(2);
    b.pop();
    const uint32_t base = xalloc(b.m, b.pop());
    if (!base) return kNoHostMemory;
    return push_xaddr(b, base);
}

// ( xaddr -- 0 ): frees a live XALLOC block; anything else frees nothing.
Ior svc_XFREE(Burst& b) {
    b.require(2);
    b.pop();
    const uint32_t base = b.pop();
    ServiceState& s = b.m.services;
    const auto it = s.xblocks.find(base);
    if (it != s.xblocks.end()) {
        s.xalloc_bytes -= b.m.space.block_at(base)->size;
        b.m.space.remove(base);
        s.xblocks.erase(it);
    }
    return 0;
}

// ( addr -- xaddr 0 )
Ior svc_TOX(Burst& b) {
    const uint32_t addr = b.pop();
    return push_xaddr(b, host_address(b.m.mem, GETVARPTR(b.m, addr, 1, b.here())));
}

// ( paddr -- xaddr 0 )
Ior svc_PTOX(Burst& b) {
    const uint32_t paddr = b.pop();
    return push_xaddr(b, host_address(b.m.mem, GETPRGPTR(b.m, paddr, 1, b.here())));
}

Ior svc_FLASH_SE(Burst& b) { return widen(b, kEraseSector); }
Ior svc_FLASH_SW(Burst& b) { return widen(b, kWriteUnit); }

// ( paddr u -- 0 ). The whole range is translated: a range that leaves its
// memory is the translation fault of the first address outside.
Ior svc_FLASH_E(Burst& b) {
    b.require(2);
    const uint32_t u = b.pop();
    const uint32_t paddr = b.pop();
    if (u != 0) write_program(b.m, GETPRGPTR(b.m, paddr, u, b.here()), nullptr, u);
    return 0;
}

// ( addr paddr u -- 0 ); the destination is translated before the source.
Ior svc_FLASH_W(Burst& b) {
    b.require(3);
    const uint32_t u = b.pop();
    const uint32_t paddr = b.pop();
    const uint32_t addr = b.pop();
    if (u != 0) {
        uint8_t* dst = GETPRGPTR(b.m, paddr, u, b.here());
        const uint8_t* src = GETVARPTR(b.m, addr, u, b.here());
        write_program(b.m, dst, src, u);
    }
    return 0;
}

void write_program(Machine& m, uint8_t* dst, const uint8_t* src, uint32_t n) {
    native_program_written(m, dst, n);
    if (!src) {
        for (uint32_t i = 0; i < n; ++i) dst[i] = kStoredErased;
        return;
    }
    // Byte by byte upwards, never a block move: in the shared layout the
    // ranges may overlap, and the copy then repeats bytes it has just written.
    for (uint32_t i = 0; i < n; ++i) dst[i] = src[i];
}

}  // namespace norvex
