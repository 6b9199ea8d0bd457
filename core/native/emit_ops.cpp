// One emitter per opcode: what each instruction becomes in translated code.
// An instruction that cannot run here (a target outside program memory, an
// access outside variable memory, a misaligned address, a stack cell held in
// a register) stops the block before it, with the machine exactly as it
// stood, and the interpreter executes it.
#include "core/native/block_translator.h"

#include "core/native/guards.h"

namespace norvex::native {

using namespace x64;

void BlockTranslator::emit_instruction(size_t i) {
    const Insn& in = insns_[i];
    switch (in.op) {
    case Op::CALL: emit_call(in); break;
    case Op::BRANCH: emit_branch(in); break;
    case Op::ZBRANCH: emit_zbranch(in); break;
    case Op::NBRANCH: emit_nbranch(in); break;
    case Op::LIT: emit_lit(in); break;
    case Op::EXIT: emit_exit(in); break;
    case Op::EXECUTE: emit_execute(in); break;
    case Op::SPFETCH: emit_spfetch(in); break;
    case Op::DROP: emit_drop(in); break;
    case Op::DUP: emit_dup(in); break;
    case Op::OVER: emit_over(in); break;
    case Op::SWAP: emit_swap(in); break;
    case Op::RPFETCH: emit_rpfetch(in); break;
    case Op::TOR: emit_tor(in); break;
    case Op::RFROM: emit_rfrom(in); break;
    case Op::RFETCH: emit_rfetch(in); break;
    case Op::RDROP: emit_rdrop(in); break;
    case Op::AND: emit_binary(AND, true, false); break;
    case Op::OR: emit_binary(OR, true, false); break;
    case Op::XOR: emit_binary(XOR, true, false); break;
    case Op::PLUS: emit_binary(ADD, true, true); break;
    case Op::MINUS: emit_binary(SUB, false, true); break;
    case Op::LSHIFT:
    case Op::RSHIFT:
    case Op::ASHIFT: emit_shift(in); break;
    case Op::UMSTAR: emit_umstar(in); break;
    case Op::UMSLASHMOD: emit_umslashmod(in); break;
    case Op::ZLESS: emit_zless(i); break;
    case Op::ULESS: emit_compare(i, B); break;
    case Op::LESS: emit_compare(i, L); break;
    case Op::CFETCH: emit_var_access(in, 1, false); break;
    case Op::CSTORE: emit_var_access(in, 1, true); break;
    case Op::WFETCH: emit_var_access(in, 2, false); break;
    case Op::WSTORE: emit_var_access(in, 2, true); break;
    case Op::FETCH: emit_var_access(in, 4, false); break;
    case Op::STORE: emit_var_access(in, 4, true); break;
    case Op::CFETCHP: emit_prg_fetch(in, 1); break;
    case Op::WFETCHP: emit_prg_fetch(in, 2); break;
    case Op::FETCHP: emit_prg_fetch(in, 4); break;
    case Op::FIPFETCH: emit_fipfetch(in); break;
    case Op::FIPSTORE: emit_fipstore(in); break;
    case Op::FWFETCH: emit_fwfetch(in); break;
    case Op::FWSTORE: emit_fwstore(in); break;
    case Op::NEST: emit_nest(in); break;
    case Op::NOP: break;
    default: stop_here(in, s_.now()); break;   // never decoded
    }
}

// --- helpers ----------------------------------------------------------------

// A zero-extended load of program or variable memory (stored complemented).
void BlockTranslator::load_memory(Reg r, Mem where, uint32_t width) {
    if (width == 1) {
        a_.load8(r, where);
        a_.alu(XOR, r, 0xFF);
    } else if (width == 2) {
        a_.load16(r, where);
        a_.alu(XOR, r, 0xFFFF);
    } else {
        a_.load(r, where);
        a_.not_(r);
    }
}

void BlockTranslator::push_copy_of(Reg temp) {
    const Reg r = s_.alloc();   // a spill uses rcx only
    a_.mov(r, temp);
    s_.push(Item::in(r));
}

// A push onto the return stack, written at once: the return stack in
// memory is always exact. A value read from the very cell it goes back to,
// with no memory written since (R> ... >R, as I does), is there already.
void BlockTranslator::rpush(Item it) {
    r_delta_ -= 4;
    touch_rs(r_delta_);
    a_.alu(SUB, R13, 4);
    if (!it.is_const && it.rs_cell == r_delta_ && it.writes_then == memory_writes_) return;
    ++memory_writes_;
    if (it.is_const) {
        a_.store_imm(Mem{R15, R13, 0}, ~it.value);
    } else {
        a_.mov(RCX, it.reg);
        a_.not_(RCX);
        a_.store(Mem{R15, R13, 0}, RCX);
    }
}

// A comparison followed by a 0BRANCH into program memory becomes one
// conditional jump.
bool BlockTranslator::fuse_with_next(size_t i) const {
    return i + 1 < insns_.size() && insns_[i + 1].op == Op::ZBRANCH && in_prg(insns_[i + 1].target());
}

// Whether the block compares what `fetch` (SP@ or RP@) pushed before a
// 0BRANCH: its entry checks then get a lower bound that emit_stack_floor
// may raise.
bool BlockTranslator::compares_stack_pointer(Op fetch) const {
    for (size_t i = 0; i + 2 < insns_.size(); ++i)
        if (insns_[i].op == fetch && insns_[i + 1].op == Op::ULESS && insns_[i + 2].op == Op::ZBRANCH) return true;
    return false;
}

// `K p U<` fused with its 0BRANCH, where p is the stack pointer that SP@
// or RP@ has just pushed and K a constant: the branch is taken when the
// stack has come down to K, as in the stack check the Forth system makes
// before a call that may recurse. Instead of comparing at every pass, the
// block requires at its entry that p stays above K here; an entry that does
// not meet that gives the block to the interpreter, which takes the branch.
// False when this comparison is not of that form.
bool BlockTranslator::emit_stack_floor(size_t i, const Item& a, Cond cond) {
    if (cond != B || !a.is_const || i == 0) return false;
    // p is VAROFF plus an entry pointer plus a movement known here; the sum
    // must not wrap for the test to become one on the entry pointer.
    if (uint64_t(c_.VAROFF) + c_.VARSIZE > 0x100000000) return false;
    const Op fetch = insns_[i - 1].op;
    int64_t moved;
    if (fetch == Op::SPFETCH && ds_first_) moved = spfetch_at_;
    else if (fetch == Op::RPFETCH && rs_first_) moved = rpfetch_delta_;
    else return false;
    // K < VAROFF + entry + moved  <=>  entry >= K - VAROFF - moved + 1
    const int64_t floor = int64_t(a.value) - int64_t(c_.VAROFF) - moved + 1;
    if (floor > int64_t(0xFFFFFFFF)) return false;
    int64_t& lowest = fetch == Op::SPFETCH ? ds_floor_ : rs_floor_;
    lowest = std::max(lowest, floor);
    return true;
}

// --- control ------------------------------------------------------------------

void BlockTranslator::emit_call(const Insn& in) {
    if (!in_prg(in.target())) return stop_here(in, s_.now());
    rpush(Item::constant(in.next));
    if (!in.followed) return exit_jump(s_.now(), in.target(), in.at);
    // The callee's code follows. A call to a lower address may close a
    // loop, so an interrupt stops here as at a jump back.
    if (in.target() <= in.at) {
        a_.alu_mem(CMP, CTX(interrupt), 0);
        stub_jcc(NE, s_.now(), ExitKind::Stop, in.target());
    }
}

void BlockTranslator::emit_branch(const Insn& in) {
    if (!in_prg(in.target())) return stop_here(in, s_.now());
    exit_jump(s_.now(), in.target(), in.at);
}

void BlockTranslator::emit_zbranch(const Insn& in) {
    const Item flag = s_.pop();
    const StackState before = s_.before({flag});
    const bool inside = in_prg(in.target());
    if (flag.is_const) {
        if (flag.value != 0) return;
        if (inside) exit_jump(s_.now(), in.target(), in.at);
        else exit_stop(before, in.at);
        ended_ = true;
        return;
    }
    a_.test(flag.reg, flag.reg);
    s_.release(flag);
    if (inside) stub_jcc(E, s_.now(), ExitKind::Jump, in.target(), in.at);
    else stub_jcc(E, before, ExitKind::Stop, in.at);
}

void BlockTranslator::emit_nbranch(const Insn& in) {
    if (!in_prg(in.target())) return stop_here(in, s_.now());
    touch_rs(r_delta_);
    ++memory_writes_;
    // The stored cell is the complement: a count of 0 is stored as ~0, and
    // decrementing the count increments what is stored.
    a_.alu_mem(CMP, Mem{R15, R13, 0}, 0xFFFFFFFF);
    uint8_t* done = a_.jcc(E);
    a_.inc_mem(Mem{R15, R13, 0});
    exit_jump(s_.now(), in.target(), in.at);
    a_.bind(done);
    a_.alu(ADD, R13, 4);
    r_delta_ += 4;
}

void BlockTranslator::emit_exit(const Insn& in) {
    touch_rs(r_delta_);
    a_.load(RAX, Mem{R15, R13, 0});
    a_.not_(RAX);
    if (!check_offset(RAX, c_.PRGOFF, c_.PRGSIZE, 1, s_.now(), in.at)) return stop_here(in, s_.now());
    a_.alu(ADD, R13, 4);
    r_delta_ += 4;
    s_.flush(s_.now());
    exit_dynamic();
}

void BlockTranslator::emit_execute(const Insn& in) {
    const Item target = s_.pop();
    const StackState before = s_.before({target});
    a_.mov(RAX, s_.in_reg(target));
    s_.release(target);
    if (!check_offset(RAX, c_.PRGOFF, c_.PRGSIZE, 1, before, in.at)) return stop_here(in, before);
    rpush(Item::constant(in.next));
    s_.flush(s_.now());
    exit_dynamic();
}

// t = the cell at IP, target = the cell at t. All three translations are
// tested before IP and W change, so a stop leaves the machine as it was
// before the instruction.
void BlockTranslator::emit_nest(const Insn& in) {
    const StackState& now = s_.now();
    const OffsetLimit target_limit = offset_limit(c_.PRGSIZE, 1);
    a_.load(RAX, CTX(IP));
    if (!check_offset(RAX, c_.PRGOFF, c_.PRGSIZE, 4, now, in.at)) return stop_here(in, now);
    a_.load64(RDX, CTX(prg));
    a_.load(RAX, Mem{RDX, RCX, 0});
    a_.not_(RAX);   // t
    check_offset(RAX, c_.PRGOFF, c_.PRGSIZE, 4, now, in.at);
    a_.load(RCX, Mem{RDX, RCX, 0});
    a_.not_(RCX);   // target
    a_.lea(RDX, Mem{RCX, NOREG, int32_t(0u - c_.PRGOFF)});   // ecx - PRGOFF, modulo 2^32
    a_.alu(CMP, RDX, target_limit.last);
    stub_jcc(A, now, ExitKind::Stop, in.at);
    a_.lea(RBP, Mem{RAX, NOREG, 4});   // W = t + 4
    a_.alu_mem(ADD, CTX(IP), 4);
    a_.mov(RAX, RCX);
    s_.flush(now);
    exit_dynamic();
}

// --- the data stack -----------------------------------------------------------

void BlockTranslator::emit_lit(const Insn& in) { s_.push(Item::constant(in.operand)); }
void BlockTranslator::emit_drop(const Insn&) { s_.drop(); }
void BlockTranslator::emit_dup(const Insn&) { s_.duplicate(0); }
void BlockTranslator::emit_over(const Insn&) { s_.duplicate(1); }

void BlockTranslator::emit_swap(const Insn&) {
    s_.ensure(2);
    std::swap(s_.top(0), s_.top(1));
    s_.top(0).dirty = s_.top(1).dirty = true;
}

// SP@ hands out an address into the stack. Memory is brought up to date
// before the first access through a computed address that follows
// (emit_var_access), so that loads through it run here too; a stack pointer
// that is only compared costs no stores.
void BlockTranslator::emit_spfetch(const Insn&) {
    stack_address_out_ = true;
    spfetch_at_ = s_.now().top();
    const Reg r = s_.alloc();
    a_.lea(r, Mem{RBX, NOREG, int32_t(c_.VAROFF + uint32_t(s_.now().top()))});
    s_.push(Item::in(r));
}

void BlockTranslator::emit_fipfetch(const Insn&) {
    const Reg r = s_.alloc();
    a_.load(r, CTX(IP));
    s_.push(Item::in(r));
}

void BlockTranslator::emit_fipstore(const Insn&) {
    const Item it = s_.pop();
    if (it.is_const) a_.store_imm(CTX(IP), it.value);
    else a_.store(CTX(IP), it.reg);
    s_.release(it);
}

void BlockTranslator::emit_fwfetch(const Insn&) {
    const Reg r = s_.alloc();
    a_.mov(r, RBP);
    s_.push(Item::in(r));
}

void BlockTranslator::emit_fwstore(const Insn&) {
    const Item it = s_.pop();
    if (it.is_const) a_.mov(RBP, it.value);
    else a_.mov(RBP, it.reg);
    s_.release(it);
}

// --- the return stack ---------------------------------------------------------

void BlockTranslator::emit_rpfetch(const Insn&) {
    rpfetch_delta_ = r_delta_;
    const Reg r = s_.alloc();
    a_.lea(r, Mem{R13, NOREG, int32_t(c_.VAROFF)});
    s_.push(Item::in(r));
}

void BlockTranslator::emit_tor(const Insn&) {
    const Item it = s_.pop();
    rpush(it);
    s_.release(it);
}

void BlockTranslator::emit_rfetch(const Insn&) {
    touch_rs(r_delta_);
    const Reg r = s_.alloc();
    a_.load(r, Mem{R15, R13, 0});
    a_.not_(r);
    Item it = Item::in(r);
    it.rs_cell = r_delta_;
    it.writes_then = memory_writes_;
    s_.push(it);
}

void BlockTranslator::emit_rfrom(const Insn& in) {
    emit_rfetch(in);
    a_.alu(ADD, R13, 4);
    r_delta_ += 4;
}

void BlockTranslator::emit_rdrop(const Insn&) {
    touch_rs(r_delta_);
    a_.alu(ADD, R13, 4);
    r_delta_ += 4;
}

// --- arithmetic -----------------------------------------------------------------

// x1 x2 -- x3: x2's cell stays behind as a dead cell, x3 replaces x1.
void BlockTranslator::emit_binary(Alu op, bool commutative, bool writes_w) {
    s_.ensure(2);
    Item b = s_.pop();
    Item a = s_.take();
    if (a.is_const && b.is_const) {
        uint32_t r = 0, carry = 0;
        switch (op) {
        case ADD: r = a.value + b.value; carry = r < a.value; break;
        case SUB: r = a.value - b.value; carry = a.value < b.value; break;
        case AND: r = a.value & b.value; break;
        case OR: r = a.value | b.value; break;
        default: r = a.value ^ b.value; break;
        }
        if (writes_w) a_.mov(RBP, carry);
        s_.push(Item::constant(r));
        return;
    }
    if (commutative && a.is_const) std::swap(a, b);
    const Reg r = s_.writable(a);
    if (b.is_const) a_.alu(op, r, b.value);
    else a_.alu(op, r, b.reg);
    if (writes_w) {
        a_.setcc(B, RAX);
        a_.movzx8(RBP, RAX);
    }
    s_.release(b);
    s_.push(Item::in(r));
}

void BlockTranslator::emit_shift(const Insn& in) {
    s_.ensure(2);
    const Item count = s_.pop();
    const Item value = s_.take();
    auto shift_by_cl_or = [&](Reg r, uint8_t k, bool by_cl) {
        if (in.op == Op::LSHIFT) by_cl ? a_.shl_cl(r) : a_.shl(r, k);
        else if (in.op == Op::RSHIFT) by_cl ? a_.shr_cl(r) : a_.shr(r, k);
        else by_cl ? a_.sar_cl(r) : a_.sar(r, k);
        a_.setcc(B, RAX);
        a_.movzx8(RBP, RAX);
        if (in.op != Op::LSHIFT) a_.shl(RBP, 31);
    };
    if (count.is_const) {
        const uint8_t k = count.value & 31;
        if (k == 0) {
            a_.alu(XOR, RBP, RBP);
            s_.push(value);
            return;
        }
        const Reg r = s_.writable(value);
        shift_by_cl_or(r, k, false);
        s_.push(Item::in(r));
        return;
    }
    const Reg r = s_.writable(value);
    a_.mov(RCX, count.reg);
    a_.alu(AND, RCX, 31);   // also clears CF: a shift by 0 leaves W = 0
    shift_by_cl_or(r, 0, true);
    s_.release(count);
    s_.push(Item::in(r));
}

void BlockTranslator::emit_umstar(const Insn&) {
    s_.ensure(2);
    const Item b = s_.take();
    const Item a = s_.take();
    a_.mov(RAX, s_.in_reg(a));
    s_.release(a);
    const Reg rb = b.is_const ? (a_.mov(RCX, b.value), RCX) : b.reg;
    a_.mul(rb);
    s_.release(b);
    push_copy_of(RAX);   // low cell
    push_copy_of(RDX);   // high cell
}

// lo hi u -- rem quot: u's cell stays behind as a dead cell.
void BlockTranslator::emit_umslashmod(const Insn&) {
    s_.ensure(3);
    const Item u = s_.pop();
    const Item hi = s_.take();
    const Item lo = s_.take();
    a_.mov(RAX, s_.in_reg(lo));
    s_.release(lo);
    a_.mov(RDX, s_.in_reg(hi));
    s_.release(hi);
    const Reg ru = u.is_const ? (a_.mov(RCX, u.value), RCX) : u.reg;
    a_.alu(CMP, RDX, ru);
    uint8_t* overflow = a_.jcc(AE);   // also u = 0
    a_.div(ru);
    uint8_t* done = a_.jmp();
    a_.bind(overflow);
    a_.mov(RAX, 0xFFFFFFFF);
    a_.mov(RDX, 0xFFFFFFFF);
    a_.bind(done);
    s_.release(u);
    push_copy_of(RDX);   // remainder
    push_copy_of(RAX);   // quotient
}

// A comparison fused with the 0BRANCH after it leaves its flag behind as a
// dead cell: 0 on the taken side, -1 on the other.
void BlockTranslator::emit_zless(size_t i) {
    s_.ensure(1);
    const Item v = s_.take();
    if (v.is_const) {   // a 0BRANCH after it sees a constant flag
        s_.push(Item::constant(int32_t(v.value) < 0 ? 0xFFFFFFFF : 0));
        return;
    }
    if (fuse_with_next(i)) {
        const Insn& branch = insns_[i + 1];
        fused_ = i + 1;
        const int32_t flag_at = s_.now().top() - 4;
        a_.test(v.reg, v.reg);
        s_.release(v);
        StackState taken = s_.now();
        taken.add_dead(flag_at, Item::constant(0));
        stub_jcc(NS, taken, ExitKind::Jump, branch.target(), branch.at);
        s_.now().add_dead(flag_at, Item::constant(0xFFFFFFFF));
        return;
    }
    const Reg r = s_.writable(v);
    a_.sar(r, 31);
    s_.push(Item::in(r));
}

void BlockTranslator::emit_compare(size_t i, Cond cond) {
    s_.ensure(2);
    const Item b = s_.pop();
    const Item a = s_.take();
    const bool fuse = fuse_with_next(i);
    const Insn* branch = fuse ? &insns_[i + 1] : nullptr;
    const int32_t flag_at = s_.now().top() - 4;
    if (fuse) fused_ = i + 1;
    if (fuse && emit_stack_floor(i, a, cond)) {
        s_.release(a);
        s_.release(b);
        s_.now().add_dead(flag_at, Item::constant(0xFFFFFFFF));
        return;
    }
    if (a.is_const && b.is_const) {
        const bool t = cond == L ? int32_t(a.value) < int32_t(b.value) : a.value < b.value;
        if (!fuse) return s_.push(Item::constant(t ? 0xFFFFFFFF : 0));
        if (t) return s_.now().add_dead(flag_at, Item::constant(0xFFFFFFFF));
        StackState taken = s_.now();
        taken.add_dead(flag_at, Item::constant(0));
        exit_jump(taken, branch->target(), branch->at);
        ended_ = true;
        return;
    }
    const Reg ra = s_.in_reg(a);
    if (b.is_const) a_.alu(CMP, ra, b.value);
    else a_.alu(CMP, ra, b.reg);
    s_.release(a);
    s_.release(b);
    if (fuse) {
        StackState taken = s_.now();
        taken.add_dead(flag_at, Item::constant(0));
        stub_jcc(invert(cond), taken, ExitKind::Jump, branch->target(), branch->at);
        s_.now().add_dead(flag_at, Item::constant(0xFFFFFFFF));
        return;
    }
    const Reg r = s_.alloc();   // a spill here leaves the flags alone
    a_.setcc(cond, RAX);
    a_.movzx8(r, RAX);
    a_.neg(r);
    s_.push(Item::in(r));
}

// --- memory -----------------------------------------------------------------------

// C@ C! W@ W! @ !: variable memory only, and never a stack cell that the
// model holds.
void BlockTranslator::emit_var_access(const Insn& in, uint32_t width, bool store) {
    s_.ensure(store ? 2 : 1);
    if (stack_address_out_ && !s_.top(0).is_const) s_.write_dirty();
    const Item addr = store ? s_.pop() : s_.take();
    const Item value = store ? s_.pop() : Item::constant(0);
    // The result's register is taken first: a spill later would use rcx,
    // which holds the offset below.
    const Reg result = store ? NOREG : s_.alloc();
    const StackState before = store ? s_.before({value, addr}) : s_.before({addr});
    if (addr.is_const) {
        const uint32_t o = addr.value - c_.VAROFF;
        if (!inside(c_.VARSIZE, o, width) || (addr.value & align_mask(width))) return stop_here(in, before);
        a_.mov(RCX, o);
    } else {
        check_alignment(addr.reg, width, before, in.at);
        if (!check_offset(addr.reg, c_.VAROFF, c_.VARSIZE, width, before, in.at))
            return stop_here(in, before);
    }
    check_not_held(RCX, width, store, before, in.at);
    s_.release(addr);
    const Mem where{R15, RCX, 0};
    if (store) ++memory_writes_;
    if (!store) {
        load_memory(result, where, width);
        s_.push(Item::in(result));
        return;
    }
    if (value.is_const) {
        a_.mov(RAX, ~value.value);
    } else {
        a_.mov(RAX, value.reg);
        a_.not_(RAX);
    }
    if (width == 1) a_.store8(where, RAX);
    else if (width == 2) a_.store16(where, RAX);
    else a_.store(where, RAX);
    s_.release(value);
}

// A fetch from a constant program address becomes the constant: program
// memory changes only by writes that drop the blocks made from the bytes
// they change (TranslatedBlock::reads).
bool BlockTranslator::fold_prg_fetch(uint32_t width) {
    const Item addr = s_.top(0);
    if (!addr.is_const) return false;
    const uint32_t o = addr.value - c_.PRGOFF;
    if (!inside(c_.PRGSIZE, o, width) || (addr.value & align_mask(width))) return false;
    const uint8_t* p = c_.prg + o;
    const uint32_t value = width == 1 ? mem_load8(p) : width == 2 ? mem_load16(p) : mem_load32(p);
    s_.take();
    s_.push(Item::constant(value));
    reads_.push_back({o, o + width});
    return true;
}

// C@P W@P @P: program memory only.
void BlockTranslator::emit_prg_fetch(const Insn& in, uint32_t width) {
    s_.ensure(1);
    if (fold_prg_fetch(width)) return;
    const Item addr = s_.take();
    const Reg r = s_.alloc();   // before rcx and rdx hold the address (see emit_var_access)
    const StackState before = s_.before({addr});
    const Reg ra = s_.in_reg(addr);
    check_alignment(ra, width, before, in.at);
    if (!check_offset(ra, c_.PRGOFF, c_.PRGSIZE, width, before, in.at)) return stop_here(in, before);
    a_.load64(RDX, CTX(prg));
    s_.release(addr);
    load_memory(r, Mem{RDX, RCX, 0}, width);
    s_.push(Item::in(r));
}

}  // namespace norvex::native
