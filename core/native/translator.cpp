// The frame of a block: decoding, the entry checks, the exits and the stubs
// that leave the block on a condition. The instructions are emit_ops.cpp's.
#include "core/native/block_translator.h"

#include "core/native/guards.h"

namespace norvex::native {

using namespace x64;

BlockTranslator::BlockTranslator(const TranslationSetting& s, uint32_t start, Room room)
    : set_(s), c_(*s.mem), start_(start), a_(room), s_(a_) {}

// A block follows a CALL into the code it calls, so that the callee's first
// instructions run in the caller's block: no exit and entry between them,
// and cells the caller leaves below the stack that the callee writes again
// need no store. At most kFollowedCalls per block, and none under a budget,
// where every block entry counts.
constexpr uint32_t kFollowedCalls = 2;

bool BlockTranslator::follow(const Insn& call, uint32_t followed_so_far) const {
    return !set_.counting && followed_so_far < kFollowedCalls && in_prg(call.target());
}

void BlockTranslator::decode() {
    uint32_t pc = start_;
    uint32_t followed = 0;
    for (uint32_t n = 0; n < set_.max_instructions; ++n) {
        const uint32_t o = pc - c_.PRGOFF;
        if (o >= c_.PRGSIZE) break;
        const uint8_t byte = mem_load8(c_.prg + o);
        if (!is_opcode(byte) || !is_translated(Op(byte))) break;
        const Op op = Op(byte);
        const uint32_t len = instruction_length(op);
        if (c_.PRGSIZE - o < len) break;
        const uint32_t operand = len > 1 ? mem_load32(c_.prg + o + 1) : 0;
        insns_.push_back({pc, op, operand, pc + len});
        pc += len;
        if (op == Op::CALL && n + 1 < set_.max_instructions && follow(insns_.back(), followed)) {
            insns_.back().followed = true;
            ++followed;
            pc = insns_.back().target();
            continue;
        }
        if (ends_block(op)) return;
    }
    tail_at_ = pc;
    full_ = insns_.size() >= set_.max_instructions;
}

bool BlockTranslator::uses_return_stack() const {
    for (const Insn& in : insns_)
        if (touches_return_stack(in.op)) return true;
    return false;
}

// --- run-time tests ---------------------------------------------------------

// The access [addr, addr + width) must lie in the memory at base, size bytes;
// leaves the offset in ecx. False when no such access fits in the memory:
// the caller then leaves the instruction to the interpreter.
bool BlockTranslator::check_offset(Reg addr, uint32_t base, uint32_t size, uint32_t width,
                                   const StackState& st, uint32_t at) {
    const OffsetLimit limit = offset_limit(size, width);
    if (limit.never) return false;
    if (addr != RCX) a_.mov(RCX, addr);
    a_.alu(SUB, RCX, base);
    a_.alu(CMP, RCX, limit.last);
    stub_jcc(A, st, ExitKind::Stop, at);
    return true;
}

void BlockTranslator::check_alignment(Reg addr, uint32_t width, const StackState& st, uint32_t at) {
    if (const uint32_t mask = align_mask(width)) {
        a_.test_imm(addr, mask);
        stub_jcc(NE, st, ExitKind::Stop, at);
    }
}

// The variable-memory access at offset ecx must not meet a stack cell that
// memory lacks (a load), or any cell the model holds (a store).
void BlockTranslator::check_not_held(Reg offset, uint32_t width, bool store, const StackState& st, uint32_t at) {
    int32_t lo, hi;
    if (!s_.guarded_cells(store, lo, hi)) return;
    const AliasWindow w = alias_window(lo, hi, width);
    a_.lea(RAX, Mem{offset, NOREG, -w.from});   // offset - from - ebx, modulo 2^32
    a_.alu(SUB, RAX, RBX);
    a_.alu(CMP, RAX, w.span);
    stub_jcc(B, st, ExitKind::Stop, at);
}

// --- leaving the block ------------------------------------------------------

// A user interrupt stops translated code on every edge that may close a
// loop: a jump to the same or a lower address (a cycle of blocks linked by
// forward jumps only cannot exist), and every dynamic exit.
// The state is canonical here: the stub only says where to go on.
void BlockTranslator::poll_interrupt(uint32_t resume_at) {
    a_.alu_mem(CMP, CTX(interrupt), 0);
    stub_jcc(NE, StackState{}, ExitKind::Poll, resume_at);   // the state is flushed already
}

void BlockTranslator::exit_jump(const StackState& st, uint32_t target, uint32_t from, int32_t r_delta) {
    s_.stop_recording();
    if (target == start_ && body_ && !set_.counting && st.top() == 0 && r_delta == 0) return loop_back(st);
    s_.flush(st);
    if (target <= from) poll_interrupt(target);
    exits_.push_back({a_.jmp(), target});
}

// A jump back to the block's own start with both stack pointers where they
// were at its entry skips the entry checks, which hold again. It also leaves
// out the stores of the dead cells that the block writes again before it can
// first stop: nothing can read them meanwhile, and the interpreter's later
// write replaces them. An interrupt there stores them before it stops.
void BlockTranslator::loop_back(const StackState& st) {
    StackState kept = st, deferred;
    kept.dead.clear();
    for (const auto& cell : st.dead) {
        const bool survives_flush = cell.second.is_const || cell.second.reg != R12;
        (s_.written_early(cell.first) && survives_flush ? deferred : kept).dead.push_back(cell);
    }
    s_.flush(kept);
    a_.alu_mem(CMP, CTX(interrupt), 0);
    stub_jcc(NE, deferred, ExitKind::Poll, start_);
    a_.jmp(body_);
}

void BlockTranslator::exit_stop(const StackState& st, uint32_t vaddr) {
    s_.stop_recording();
    s_.flush(st);
    a_.store_imm(CTX(exit_pc), vaddr);
    a_.store_imm(CTX(reason), kStop);
    a_.jmp(set_.tramp->exit_common);
}

// The lookup goes through the Context's table pointer, which an interrupt
// points at a table that always misses.
void BlockTranslator::exit_dynamic() {
    // The state is flushed, so the pool registers are free here.
    s_.stop_recording();
    a_.mov(RDX, RAX);
    a_.shr(RDX, 12);
    a_.alu(XOR, RDX, RAX);
    a_.alu(AND, RDX, kLookupSlots - 1);
    a_.shl(RDX, 4);
    a_.load64(RCX, CTX(lookup));
    a_.load64(RSI, Mem{RCX, RDX, 0});
    a_.alu64(CMP, RSI, RAX);   // rax: the target, zero-extended
    a_.jcc(NE, set_.tramp->lookup_miss);
    a_.jmp_mem(Mem{RCX, RDX, 8});
}

void BlockTranslator::stub_jcc(Cond c, const StackState& st, ExitKind kind, uint32_t vaddr, uint32_t from) {
    s_.stop_recording();
    uint8_t* field = a_.jcc(c);
    stubs_.push_back({field, st, kind, vaddr, from, r_delta_});
}

void BlockTranslator::stop_here(const Insn& in, const StackState& st) {
    exit_stop(st, in.at);
    ended_ = true;
}

void BlockTranslator::emit_stubs() {
    for (size_t i = 0; i < stubs_.size(); ++i) {
        a_.bind(stubs_[i].field);
        const Stub st = stubs_[i];
        if (st.kind == ExitKind::Jump) {
            exit_jump(st.state, st.vaddr, st.from, st.r_delta);
        } else if (st.kind == ExitKind::Stop) {
            exit_stop(st.state, st.vaddr);
        } else {
            s_.write_dead(st.state);
            a_.store_imm(CTX(exit_pc), st.vaddr);
            a_.store_imm(CTX(reason), kStop);
            a_.jmp(set_.tramp->exit_common);
        }
    }
}

// --- the entry checks -------------------------------------------------------

// Emitted before the block with placeholder bounds, set by
// patch_entry_checks once the cells the block touches are known. With the
// return stack above the data stack, its cells must lie above the data
// stack's and below the end of variable memory, and the data stack's above
// the start; below, the mirror image. Either order makes two of the four
// bounds follow from the other two; a lower bound is emitted all the same
// where a stack floor (emit_stack_floor) may raise it. Stacks that have run
// into each other are the interpreter's: a return-stack write there would
// change a data-stack cell the block holds in a register.
void BlockTranslator::emit_entry_checks() {
    const bool above = set_.r_above;
    auto bound = [&](Reg r, Cond bail) {
        a_.alu(CMP, r, 0x7FFFFFFF);   // a 32-bit immediate to set later
        uint8_t* imm = a_.last_imm32();
        stub_jcc(bail, entry_, ExitKind::Stop, start_);
        return imm;
    };
    if (!rs_used_ || above || ds_floor_wanted_) ds_first_ = bound(RBX, B);
    if (!rs_used_ || !above) ds_last_ = bound(RBX, A);
    if (rs_used_) {
        if (above) rs_last_ = bound(R13, A);
        if (!above || rs_floor_wanted_) rs_first_ = bound(R13, B);
        a_.lea64(RAX, Mem{RBX, NOREG, 0x7FFFFFFF});
        gap_ = a_.last_imm32();
        a_.alu64(CMP, R13, RAX);
        stub_jcc(above ? L : G, entry_, ExitKind::Stop, start_);
    }
    if (set_.counting) {
        // Under a budget each entry costs a unit; the last unit is left to
        // the interpreter, which stops the machine when it is spent.
        a_.alu_mem(CMP, CTX(budget), 1);
        stub_jcc(BE, entry_, ExitKind::Stop, start_);
        a_.alu_mem(SUB, CTX(budget), 1);
    }
}

// False when the block's cells can never lie in variable memory.
bool BlockTranslator::patch_entry_checks() {
    const PointerRange ds = pointer_range(c_.VARSIZE, s_.lo(), s_.hi());
    const PointerRange rs = pointer_range(c_.VARSIZE, rs_lo_, rs_hi_);
    if (ds.never || (rs_used_ && rs.never)) return false;
    // The floors of emit_stack_floor may leave no entry pointer at all.
    const int64_t ds_first = std::max<int64_t>(ds.first, ds_floor_);
    const int64_t rs_first = std::max<int64_t>(rs.first, rs_floor_);
    if (ds_first > ds.last || (rs_used_ && rs_first > rs.last)) return false;
    if (ds_first_) a_.set_imm32(ds_first_, uint32_t(ds_first));
    if (ds_last_) a_.set_imm32(ds_last_, ds.last);
    if (rs_first_) a_.set_imm32(rs_first_, uint32_t(rs_first));
    if (rs_last_) a_.set_imm32(rs_last_, rs.last);
    if (gap_) {
        const int64_t gap = set_.r_above ? above_gap(s_.hi(), rs_lo_) : below_gap(s_.lo(), rs_hi_);
        a_.set_imm32(gap_, uint32_t(int32_t(gap)));
    }
    return true;
}

// --- the block --------------------------------------------------------------

Translation BlockTranslator::translate(TranslatedBlock& out) {
    decode();
    if (insns_.empty()) return Translation::Interpreted;
    rs_used_ = uses_return_stack();
    ds_floor_wanted_ = compares_stack_pointer(Op::SPFETCH);
    rs_floor_wanted_ = rs_used_ && compares_stack_pointer(Op::RPFETCH);
    entry_ = s_.now();

    uint8_t* const entry = a_.here();
    emit_entry_checks();
    body_ = a_.here();
    s_.start_recording();
    for (size_t i = 0; i < insns_.size() && !ended_; ++i) {
        if (fused_ == i && i != 0) continue;
        emit_instruction(i);
    }
    if (!ended_ && (!ends_block(insns_.back().op) || insns_.back().followed)) {
        const Insn& last = insns_.back();
        if (full_ && in_prg(tail_at_)) exit_jump(s_.now(), tail_at_, last.at);
        else exit_stop(s_.now(), tail_at_);
    }
    emit_stubs();
    if (!a_.ok()) return Translation::TooBig;
    if (!patch_entry_checks()) return Translation::Interpreted;

    out.start = start_;
    out.reads = std::move(reads_);
    note_segments(out);
    out.code = entry;
    out.code_end = a_.here();
    out.exits = std::move(exits_);
    return Translation::Done;
}

// The block's code is one run of instructions from its start, and one more
// after each followed CALL: the first is [start, end), the others are
// watched as bytes the block read.
void BlockTranslator::note_segments(TranslatedBlock& out) const {
    uint32_t from = start_;
    bool first = true;
    for (size_t i = 0; i < insns_.size(); ++i) {
        const bool last = i + 1 == insns_.size();
        if (!insns_[i].followed && !last) continue;
        const uint32_t to = insns_[i].next;
        if (first) out.end = to;
        else out.reads.push_back({from - c_.PRGOFF, to - c_.PRGOFF});
        first = false;
        if (!last) from = insns_[i + 1].at;
    }
}

Translation translate_block(const TranslationSetting& s, uint32_t start, Room room, TranslatedBlock& out) {
    return BlockTranslator(s, start, room).translate(out);
}

}  // namespace norvex::native
