// The block translator's working state, shared by the routines that frame
// a block (translator.cpp) and the emitters of its instructions
// (emit_ops.cpp). See translator.h for the design.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "core/native/context.h"
#include "core/native/translator.h"

namespace norvex::native {

struct Insn {
    uint32_t at;
    Op op;
    uint32_t operand;
    uint32_t next;
    bool followed = false;   // a CALL whose target's code comes next in the block
    uint32_t target() const { return next + operand; }   // of CALL and the branches
};

class BlockTranslator {
public:
    BlockTranslator(const TranslationSetting& s, uint32_t start, Room room);
    Translation translate(TranslatedBlock& out);

private:
    // Jump: to a fixed target. Stop: the interpreter goes on at vaddr, the
    // state flushed first. Poll: the same from a state already flushed but
    // for its dead cells.
    enum class ExitKind { Jump, Stop, Poll };
    struct Stub {
        uint8_t* field;   // rel32 to bind to the stub
        StackState state;
        ExitKind kind;
        uint32_t vaddr;    // jump target, or the instruction to stop at
        uint32_t from;     // the jumping instruction (Jump)
        int32_t r_delta;   // r13 moved since entry, at the jump
    };

    void decode();
    bool follow(const Insn& call, uint32_t followed_so_far) const;
    void note_segments(TranslatedBlock& out) const;
    bool uses_return_stack() const;
    void emit_entry_checks();
    bool patch_entry_checks();
    void emit_instruction(size_t i);

    // Leaving the block.
    void exit_jump(const StackState& st, uint32_t target, uint32_t from, int32_t r_delta);
    void loop_back(const StackState& st);
    void exit_jump(const StackState& st, uint32_t target, uint32_t from) { exit_jump(st, target, from, r_delta_); }
    void exit_stop(const StackState& st, uint32_t vaddr);
    void exit_dynamic();   // eax = target in program memory, state already flushed
    void stub_jcc(x64::Cond c, const StackState& st, ExitKind kind, uint32_t vaddr, uint32_t from = 0);
    void stop_here(const Insn& in, const StackState& st);   // the instruction goes to the interpreter
    void emit_stubs();
    void poll_interrupt(uint32_t resume_at);
    bool in_prg(uint32_t vaddr) const { return vaddr - c_.PRGOFF < c_.PRGSIZE; }

    // Run-time tests (the decisions are guards.h's).
    bool check_offset(x64::Reg addr, uint32_t base, uint32_t size, uint32_t width, const StackState& st,
                      uint32_t at);
    void check_alignment(x64::Reg addr, uint32_t width, const StackState& st, uint32_t at);
    void check_not_held(x64::Reg offset, uint32_t width, bool store, const StackState& st, uint32_t at);
    uint32_t align_mask(uint32_t width) const { return (c_.Flag & F_ALIGN) ? width - 1 : 0; }
    void push_copy_of(x64::Reg temp);
    void load_memory(x64::Reg r, x64::Mem where, uint32_t width);
    void rpush(Item it);
    void touch_rs(int32_t offset) {
        rs_lo_ = std::min(rs_lo_, offset);
        rs_hi_ = std::max(rs_hi_, offset + 4);
    }
    bool fuse_with_next(size_t i) const;
    bool compares_stack_pointer(Op fetch) const;
    bool emit_stack_floor(size_t i, const Item& a, x64::Cond cond);
    bool fold_prg_fetch(uint32_t width);

    // One emitter per opcode.
    void emit_call(const Insn& in);
    void emit_branch(const Insn& in);
    void emit_zbranch(const Insn& in);
    void emit_nbranch(const Insn& in);
    void emit_lit(const Insn& in);
    void emit_exit(const Insn& in);
    void emit_execute(const Insn& in);
    void emit_spfetch(const Insn& in);
    void emit_drop(const Insn& in);
    void emit_dup(const Insn& in);
    void emit_over(const Insn& in);
    void emit_swap(const Insn& in);
    void emit_rpfetch(const Insn& in);
    void emit_tor(const Insn& in);
    void emit_rfrom(const Insn& in);
    void emit_rfetch(const Insn& in);
    void emit_rdrop(const Insn& in);
    void emit_binary(x64::Alu op, bool commutative, bool writes_w);
    void emit_shift(const Insn& in);
    void emit_umstar(const Insn& in);
    void emit_umslashmod(const Insn& in);
    void emit_zless(size_t i);
    void emit_compare(size_t i, x64::Cond cond);
    void emit_var_access(const Insn& in, uint32_t width, bool store);
    void emit_prg_fetch(const Insn& in, uint32_t width);
    void emit_fipfetch(const Insn& in);
    void emit_fipstore(const Insn& in);
    void emit_fwfetch(const Insn& in);
    void emit_fwstore(const Insn& in);
    void emit_nest(const Insn& in);

    const TranslationSetting& set_;
    const MemConf& c_;
    uint32_t start_;
    x64::Emitter a_;
    StackModel s_;
    std::vector<Insn> insns_;
    bool full_ = false;     // decoding stopped at the instruction limit
    uint32_t tail_at_ = 0;  // the address after the last decoded instruction
    size_t fused_ = 0;      // a 0BRANCH fused into the comparison before it
    bool ended_ = false;    // an instruction left the block for good
    int32_t r_delta_ = 0;   // r13 moved since entry
    int32_t rs_lo_ = 0, rs_hi_ = 0;
    bool rs_used_ = false;
    std::vector<Stub> stubs_;
    std::vector<FixedExit> exits_;
    std::vector<ProgramRange> reads_;   // folded constant-address fetches
    bool stack_address_out_ = false;    // SP@ has handed out an address into the stack
    uint32_t memory_writes_ = 0;        // return-stack pushes, NBRANCHes and stores so far
    // A stack pointer compared with a constant before a 0BRANCH: the block
    // requires at its entry that the branch is not taken (see
    // emit_stack_floor); the lowest entry pointers that allow it.
    int64_t ds_floor_ = 0, rs_floor_ = 0;
    bool ds_floor_wanted_ = false, rs_floor_wanted_ = false;
    int32_t spfetch_at_ = 0;            // the offset whose address the last SP@ pushed
    int32_t rpfetch_delta_ = 0;         // r13's movement when the last RP@ ran
    // Entry-check immediates, set once the block is known.
    uint8_t *ds_first_ = nullptr, *ds_last_ = nullptr, *rs_first_ = nullptr, *rs_last_ = nullptr;
    uint8_t* gap_ = nullptr;
    uint8_t* body_ = nullptr;   // after the entry checks
    StackState entry_;
};

}  // namespace norvex::native
