// The burst loop. PC, S and R live in locals as host locations, each with the
// bounds of its block; sequential fetch, operand reads and stack moves do no
// translation. Dispatch is one indexed jump (computed goto). The run-mode
// byte is not tested per instruction: a burst that must run one instruction
// dispatches its second one through a table whose every entry ends the burst,
// and only SYSCALL (DEBUG, BYE) can change the run mode inside a burst.
//
// Bounds: stack moves test the block of their stack; branches, calls and
// returns test their target; a fetch that runs off the end of a block lands
// on padding bytes that dispatch to the illegal-opcode entry, which then
// decides between a region change, a translation fault and an illegal opcode.
//
// Writes into program memory: every path reports them to the translation
// cache, which drops the translations of the bytes written. Stores and X
// stores report each location; services report through Burst::push and
// write_program; and since the stacks may lie in program memory, a burst
// that ends with a stack there reports the cells the instruction may have
// written. Translated code is used in free run only, where the interpreter
// runs one instruction per burst; a longer interpreted burst runs with no
// translation in existence.
//
// User interrupts: a waiting one ends a long burst at the next control
// transfer, and the next burst delivers it (deliver_interrupt).
#include "core/engine.h"

#include "core/burst.h"
#include "core/native/native.h"
#include "host/interrupt.h"

namespace norvex {

namespace {

// Reads an operand that runs past the end of the code block byte by byte
// through GETPRGPTR, so an instruction may straddle two regions of the
// split layout and never reads outside a block.
uint32_t straddling_operand(Machine& m, Area code, const uint8_t* pc, FaultContext ctx) {
    const uint32_t v = code.voff + uint32_t(pc - code.lo);
    uint32_t x = 0;
    for (uint32_t i = 0; i < 4; ++i) x |= uint32_t(mem_load8(GETPRGPTR(m, v + i, 1, ctx))) << (8 * i);
    return x;
}

// The host location of an extended address: only inside a block of the host
// space, with room for the access. Anything else is reported as the
// translation fault of a variable access, with the address itself shown.
// `flip` complements what is read or written where the block is program or
// variable memory.
struct XLocation {
    uint8_t* p;
    uint32_t flip;
};

XLocation xaddr(Machine& m, uint32_t a, uint32_t width, FaultContext ctx) {
    if (const HostBlock* b = m.space.find(a, width))
        return {b->data + (a - b->base), b->complemented ? 0xFFFFFFFFu : 0u};
    translation_fault(Translation::Var, a, ctx);
}

// The dispatch table indexed by the stored (complemented) opcode byte.
struct DispatchTable {
    const void* entry[256];
};

DispatchTable by_stored_byte(const void* const (&by_opcode)[64], const void* illegal) {
    DispatchTable t;
    for (unsigned stored = 0; stored < 256; ++stored) {
        const unsigned opcode = ~stored & 0xFF;
        t.entry[stored] = opcode < 64 ? by_opcode[opcode] : illegal;
    }
    return t;
}

}  // namespace

// kChecked is false only in the benchmark's build, which measures what the
// stack, branch and operand bound tests cost; the programs always check.
// With `resume`, the burst runs one instruction whatever the run mode, as
// the continuation of a burst that translated code has been running.
template <bool kChecked>
BurstEnd interpret(Machine& m, bool resume) {
    const MemConf& c = m.mem;
    const bool align = c.Flag & F_ALIGN;
    const bool single = resume;

    uint8_t* pc = resume ? resume_location(m, Translation::Prg, m.cpu.PC) : GETPRGPTR(m, m.cpu.PC);
    uint8_t* sp = resume ? resume_location(m, Translation::Var, m.cpu.S) : GETVARPTR(m, m.cpu.S);
    uint8_t* rp = resume ? resume_location(m, Translation::Var, m.cpu.R) : GETVARPTR(m, m.cpu.R);
    Area code = area_of(c, pc);
    Area ds = area_of(c, sp);
    Area rs = area_of(c, rp);
    // Program memory as CALL, EXIT, EXECUTE and NEST search it first.
    uint8_t* const prg = c.prg;
    const uint32_t prg_off = c.PRGOFF;
    const uint32_t prg_ext = prg_extent(c);
    const Area prg_area{c.prg, c.prg + prg_ext, c.PRGOFF};

    static const void* const by_opcode[64] = {
#define RUN_ENTRY(name) &&op_##name
#define ILL_ENTRY(name) &&op_illegal
#define OPCODE(code, name, mnem, operand, kind, native, ends, rstack) kind##_ENTRY(name),
#include "core/opcodes.def"
#undef OPCODE
#undef RUN_ENTRY
#undef ILL_ENTRY
    };
    static const DispatchTable dispatch = by_stored_byte(by_opcode, &&op_illegal);
    const void* const* const run_table = dispatch.entry;
#define END4 &&burst_end, &&burst_end, &&burst_end, &&burst_end
#define END16 END4, END4, END4, END4
#define END64 END16, END16, END16, END16
    static const void* const end_table[256] = {END64, END64, END64, END64};

    const void* const* table = (single || (m.DBGMODE & kDbgMask)) ? end_table : run_table;

    auto ctx = [&] { return FaultContext{sp, pc}; };
    auto vpc = [&] { return code.voff + uint32_t(pc - code.lo); };

#define NEXT goto *table[*pc++]
#define DS_NEED(n) if (kChecked && size_t(ds.hi - sp) < 4u * (n)) [[unlikely]] goto ds_underflow
#define DS_ROOM(n) if (kChecked && size_t(sp - ds.lo) < 4u * (n)) [[unlikely]] goto ds_overflow
#define RS_NEED(n) if (kChecked && size_t(rs.hi - rp) < 4u * (n)) [[unlikely]] goto rs_underflow
#define RS_ROOM(n) if (kChecked && size_t(rp - rs.lo) < 4u * (n)) [[unlikely]] goto rs_overflow
#define T(i) mem_load32(sp + 4 * (i))
#define SET(i, v) mem_store32(sp + 4 * (i), (v))
#define OPERAND(x)                                                          \
    uint32_t x;                                                             \
    if (!kChecked || code.hi - pc >= 4) [[likely]] x = mem_load32(pc);      \
    else x = straddling_operand(m, code, pc, ctx());                        \
    pc += 4
    // Continue at virtual program address a: program memory first, as
    // GETPRGPTR searches; the slow path searches the rest or faults.
#define JUMP_TO(a)                                                          \
    do {                                                                    \
        const uint32_t o_ = (a) - prg_off;                                  \
        if (o_ < prg_ext) [[likely]] { pc = prg + o_; code = prg_area; }    \
        else { pc = GETPRGPTR(m, (a), 1, ctx()); code = area_of(c, pc); }   \
    } while (0)
    // Relative branch: target = address after the operand + offset.
#define BRANCH_BY(off)                                                      \
    do {                                                                    \
        const uint32_t o_ = uint32_t(pc - code.lo) + (off);                 \
        if (!kChecked || o_ < code.size()) [[likely]] pc = code.lo + o_;    \
        else { pc = GETPRGPTR(m, code.voff + o_, 1, ctx()); code = area_of(c, pc); } \
    } while (0)
#define ALIGNED(a, mask) if (align && ((a) & (mask))) [[unlikely]] goto align_fault
    // After a control transfer: a waiting user interrupt ends the burst here.
#define POLL if (interrupt_pending()) [[unlikely]] goto save_registers

    goto *run_table[*pc++];   // the first instruction always runs

op_CALL: {
    OPERAND(off);
    const uint32_t ret = vpc();
    RS_ROOM(1);
    rp -= 4;
    mem_store32(rp, ret);
    JUMP_TO(ret + off);
    POLL;
    NEXT;
}
op_BRANCH: {
    OPERAND(off);
    BRANCH_BY(off);
    POLL;
    NEXT;
}
op_ZBRANCH: {
    DS_NEED(1);
    const uint32_t flag = T(0);
    sp += 4;
    OPERAND(off);
    if (flag == 0) BRANCH_BY(off);
    POLL;
    NEXT;
}
op_NBRANCH: {
    RS_NEED(1);
    OPERAND(off);
    const uint32_t u = mem_load32(rp);
    if (u != 0) {
        mem_store32(rp, u - 1);
        BRANCH_BY(off);
    } else {
        rp += 4;
    }
    POLL;
    NEXT;
}
op_LIT: {
    DS_ROOM(1);
    OPERAND(x);
    sp -= 4;
    SET(0, x);
    NEXT;
}
op_EXIT: {
    RS_NEED(1);
    const uint32_t a = mem_load32(rp);
    rp += 4;
    JUMP_TO(a);
    POLL;
    NEXT;
}
op_EXECUTE: {
    DS_NEED(1);
    RS_ROOM(1);
    rp -= 4;
    mem_store32(rp, vpc());
    const uint32_t a = T(0);
    sp += 4;
    JUMP_TO(a);
    POLL;
    NEXT;
}
op_SPFETCH: {
    DS_ROOM(1);
    const uint32_t a = GETVARADR(c, sp);
    sp -= 4;
    SET(0, a);
    NEXT;
}
op_SPSTORE: {
    DS_NEED(1);
    const uint32_t a = T(0);
    ALIGNED(a, 3);
    sp += 4;
    sp = GETVARPTR(m, a, 1, ctx());
    ds = area_of(c, sp);
    NEXT;
}
op_DROP:
    DS_NEED(1);
    sp += 4;
    NEXT;
op_DUP:
    DS_NEED(1);
    DS_ROOM(1);
    sp -= 4;
    SET(0, T(1));
    NEXT;
op_OVER:
    DS_NEED(2);
    DS_ROOM(1);
    sp -= 4;
    SET(0, T(2));
    NEXT;
op_SWAP: {
    DS_NEED(2);
    const uint32_t x = T(0);
    SET(0, T(1));
    SET(1, x);
    NEXT;
}
op_RPFETCH: {
    DS_ROOM(1);
    const uint32_t a = GETVARADR(c, rp);
    sp -= 4;
    SET(0, a);
    NEXT;
}
op_RPSTORE: {
    DS_NEED(1);
    const uint32_t a = T(0);
    ALIGNED(a, 3);
    sp += 4;
    rp = GETVARPTR(m, a, 1, ctx());
    rs = area_of(c, rp);
    NEXT;
}
op_TOR:
    DS_NEED(1);
    RS_ROOM(1);
    rp -= 4;
    mem_store32(rp, T(0));
    sp += 4;
    NEXT;
op_RFROM:
    RS_NEED(1);
    DS_ROOM(1);
    sp -= 4;
    SET(0, mem_load32(rp));
    rp += 4;
    NEXT;
op_RFETCH:
    RS_NEED(1);
    DS_ROOM(1);
    sp -= 4;
    SET(0, mem_load32(rp));
    NEXT;
op_RDROP:
    RS_NEED(1);
    rp += 4;
    NEXT;
op_AND:
    DS_NEED(2);
    SET(1, T(1) & T(0));
    sp += 4;
    NEXT;
op_OR:
    DS_NEED(2);
    SET(1, T(1) | T(0));
    sp += 4;
    NEXT;
op_XOR:
    DS_NEED(2);
    SET(1, T(1) ^ T(0));
    sp += 4;
    NEXT;
op_PLUS: {
    DS_NEED(2);
    const uint32_t a = T(1), b = T(0), r = a + b;
    m.cpu.W = r < a;
    SET(1, r);
    sp += 4;
    NEXT;
}
op_MINUS: {
    DS_NEED(2);
    const uint32_t a = T(1), b = T(0);
    m.cpu.W = a < b;
    SET(1, a - b);
    sp += 4;
    NEXT;
}
op_LSHIFT: {
    DS_NEED(2);
    const uint32_t x = T(1), k = T(0) & 31;
    m.cpu.W = k ? (x >> (32 - k)) & 1 : 0;
    SET(1, x << k);
    sp += 4;
    NEXT;
}
op_RSHIFT: {
    DS_NEED(2);
    const uint32_t x = T(1), k = T(0) & 31;
    m.cpu.W = k && ((x >> (k - 1)) & 1) ? 0x80000000u : 0;
    SET(1, x >> k);
    sp += 4;
    NEXT;
}
op_ASHIFT: {
    DS_NEED(2);
    const uint32_t x = T(1), k = T(0) & 31;
    m.cpu.W = k && ((x >> (k - 1)) & 1) ? 0x80000000u : 0;
    SET(1, uint32_t(int32_t(x) >> k));
    sp += 4;
    NEXT;
}
op_UMSTAR: {
    DS_NEED(2);
    const uint64_t p = uint64_t(T(1)) * T(0);
    SET(1, uint32_t(p));
    SET(0, uint32_t(p >> 32));
    NEXT;
}
op_UMSLASHMOD: {
    DS_NEED(3);
    const uint32_t u = T(0), hi = T(1), lo = T(2);
    uint32_t rem = 0xFFFFFFFF, quot = 0xFFFFFFFF;
    if (u != 0 && hi < u) {
        const uint64_t n = (uint64_t(hi) << 32) | lo;
        rem = uint32_t(n % u);
        quot = uint32_t(n / u);
    }
    sp += 4;
    SET(1, rem);
    SET(0, quot);
    NEXT;
}
op_ZLESS:
    DS_NEED(1);
    SET(0, int32_t(T(0)) < 0 ? 0xFFFFFFFFu : 0);
    NEXT;
op_ULESS:
    DS_NEED(2);
    SET(1, T(1) < T(0) ? 0xFFFFFFFFu : 0);
    sp += 4;
    NEXT;
op_LESS:
    DS_NEED(2);
    SET(1, int32_t(T(1)) < int32_t(T(0)) ? 0xFFFFFFFFu : 0);
    sp += 4;
    NEXT;

    // Memory: pop the address, test alignment, translate, then access.
op_CFETCH:
    DS_NEED(1);
    SET(0, mem_load8(GETVARPTR(m, T(0), 1, {sp + 4, pc})));
    NEXT;
op_CSTORE: {
    DS_NEED(2);
    uint8_t* p = GETVARPTR(m, T(0), 1, {sp + 4, pc});
    mem_store8(p, uint8_t(T(1)));
    stored(m, p, 1);
    sp += 8;
    NEXT;
}
op_WFETCH: {
    DS_NEED(1);
    ALIGNED(T(0), 1);
    SET(0, mem_load16(GETVARPTR(m, T(0), 2, {sp + 4, pc})));
    NEXT;
}
op_WSTORE: {
    DS_NEED(2);
    ALIGNED(T(0), 1);
    uint8_t* p = GETVARPTR(m, T(0), 2, {sp + 4, pc});
    mem_store16(p, uint16_t(T(1)));
    stored(m, p, 2);
    sp += 8;
    NEXT;
}
op_FETCH:
    DS_NEED(1);
    ALIGNED(T(0), 3);
    SET(0, mem_load32(GETVARPTR(m, T(0), 4, {sp + 4, pc})));
    NEXT;
op_STORE: {
    DS_NEED(2);
    ALIGNED(T(0), 3);
    uint8_t* p = GETVARPTR(m, T(0), 4, {sp + 4, pc});
    mem_store32(p, T(1));
    stored(m, p, 4);
    sp += 8;
    NEXT;
}
op_CFETCHP:
    DS_NEED(1);
    SET(0, mem_load8(GETPRGPTR(m, T(0), 1, {sp + 4, pc})));
    NEXT;
op_WFETCHP:
    DS_NEED(1);
    ALIGNED(T(0), 1);
    SET(0, mem_load16(GETPRGPTR(m, T(0), 2, {sp + 4, pc})));
    NEXT;
op_FETCHP:
    DS_NEED(1);
    ALIGNED(T(0), 3);
    SET(0, mem_load32(GETPRGPTR(m, T(0), 4, {sp + 4, pc})));
    NEXT;

    // Extended addresses: lo hi, the high cell ignored; only addresses
    // inside a block of the host space, with room for the width, are used.
#define XADDR(width) const XLocation x = xaddr(m, T(1), (width), {sp + 8, pc})
op_CFETCHX: {
    DS_NEED(2);
    XADDR(1);
    SET(1, uint8_t(*x.p ^ x.flip));
    sp += 4;
    NEXT;
}
op_CSTOREX: {
    DS_NEED(3);
    XADDR(1);
    *x.p = uint8_t(T(2) ^ x.flip);
    stored(m, x.p, 1);
    sp += 12;
    NEXT;
}
op_WFETCHX: {
    DS_NEED(2);
    ALIGNED(T(1), 1);
    XADDR(2);
    SET(1, uint16_t(load16(x.p) ^ x.flip));
    sp += 4;
    NEXT;
}
op_WSTOREX: {
    DS_NEED(3);
    ALIGNED(T(1), 1);
    XADDR(2);
    store16(x.p, uint16_t(T(2) ^ x.flip));
    stored(m, x.p, 2);
    sp += 12;
    NEXT;
}
op_FETCHX: {
    DS_NEED(2);
    ALIGNED(T(1), 3);
    XADDR(4);
    SET(1, load32(x.p) ^ x.flip);
    sp += 4;
    NEXT;
}
op_STOREX: {
    DS_NEED(3);
    ALIGNED(T(1), 3);
    XADDR(4);
    store32(x.p, T(2) ^ x.flip);
    stored(m, x.p, 4);
    sp += 12;
    NEXT;
}
#undef XADDR

op_FIPFETCH:
    DS_ROOM(1);
    sp -= 4;
    SET(0, m.cpu.IP);
    NEXT;
op_FIPSTORE:
    DS_NEED(1);
    m.cpu.IP = T(0);
    sp += 4;
    NEXT;
op_FWFETCH:
    DS_ROOM(1);
    sp -= 4;
    SET(0, m.cpu.W);
    NEXT;
op_FWSTORE:
    DS_NEED(1);
    m.cpu.W = T(0);
    sp += 4;
    NEXT;
op_NEST: {
    const uint32_t t = mem_load32(GETPRGPTR(m, m.cpu.IP, 4, ctx()));
    m.cpu.IP += 4;
    m.cpu.W = t + 4;
    const uint32_t target = mem_load32(GETPRGPTR(m, t, 4, ctx()));
    JUMP_TO(target);
    POLL;
    NEXT;
}
op_SYSCALL: {
    if (!m.run_service) goto illegal_stop;
    Burst b{m, pc, sp, rp, code, ds, rs};
    const ServiceEnd end = m.run_service(b);
    if (end == ServiceEnd::LeaveBurst) return BurstEnd::Abandoned;
    sp = b.sp;
    ds = b.ds;
    // DEBUG may end a debug mode inside a one-instruction burst: the burst
    // then runs free. Where translated code can take over, the burst ends
    // here instead and the next one runs free in translated code; the main
    // loop does nothing between two bursts in free run, so nothing shows.
    // Under a run budget every burst stays the one instruction it paid for.
    if (table == end_table && !single && !(m.DBGMODE & kDbgMask) && native_available(m)) {
        goto save_registers;
    }
    table = (single || (m.DBGMODE & kDbgMask) || m.budget) ? end_table : run_table;
    NEXT;
}
op_NOP:
    NEXT;

op_illegal:
    // A fetch past the end of the code block reads padding: PC has left its
    // region. Continue in another region if GETPRGPTR places the address
    // there (split layout), else it is the translation fault of PC.
    if (pc - 1 >= code.hi) {
        --pc;
        const uint32_t v = vpc();
        pc = GETPRGPTR(m, v, 1, ctx());
        code = area_of(c, pc);
        goto *run_table[*pc++];
    }
illegal_stop:
    --pc;
    store_registers(m, code, pc, sp, rp);
    fault_stop(FaultKind::IllegalOpcode, sp, pc);

align_fault:
    // Nothing has been popped yet: the stack is as before the instruction.
    --pc;
    store_registers(m, code, pc, sp, rp);
    fault_stop(FaultKind::Alignment, sp, pc);

ds_underflow:
    Burst{m, pc, sp, rp, code, ds, rs}.stack_fault(ds, false);
ds_overflow:
    Burst{m, pc, sp, rp, code, ds, rs}.stack_fault(ds, true);
rs_underflow:
    Burst{m, pc, sp, rp, code, ds, rs}.stack_fault(rs, false);
rs_overflow:
    Burst{m, pc, sp, rp, code, ds, rs}.stack_fault(rs, true);

burst_end:
    --pc;   // back over the fetch that led here
save_registers:
    // The cells an instruction may have written: the data stack's two top
    // cells (UM*, UM/MOD, SWAP) and the return stack's top cell.
    if (ds.watched) stored(m, sp, 8);
    if (rs.watched) stored(m, rp, 4);
    store_registers(m, code, pc, sp, rp);
    return BurstEnd::Normal;

#undef NEXT
#undef DS_NEED
#undef DS_ROOM
#undef RS_NEED
#undef RS_ROOM
#undef T
#undef SET
#undef OPERAND
#undef JUMP_TO
#undef BRANCH_BY
#undef ALIGNED
#undef POLL
}

template BurstEnd interpret<true>(Machine& m, bool resume);
#ifdef NORVEX_BENCH_UNCHECKED
template BurstEnd interpret<false>(Machine& m, bool resume);
#endif

}  // namespace norvex
