// The data stack as translation sees it inside one block.
//
// The top cells live in registers or as constants; the cells below them are
// in memory. The model keeps memory exact: a cell the interpreter would have
// written and the block has not yet (a dirty cell) is written before the
// block leaves, whether it is still on the stack or has been popped (a dead
// cell below the stack pointer), unless a later push of the same block
// writes that cell again first. Offsets are bytes from the stack pointer at
// the block's entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "core/native/x64.h"

namespace norvex::native {

struct Item {
    bool is_const = false;
    x64::Reg reg = x64::NOREG;
    uint32_t value = 0;
    bool dirty = true;   // memory does not hold this value yet
    // A value R@ or R> read: the return-stack cell it came from (bytes from
    // r13 at the block's entry), and the block's count of memory writes
    // then (see BlockTranslator::rpush).
    int32_t rs_cell = kNoCell;
    uint32_t writes_then = 0;
    static constexpr int32_t kNoCell = INT32_MIN;

    static Item constant(uint32_t v) { return {true, x64::NOREG, v, true}; }
    static Item in(x64::Reg r) { return {false, r, 0, true}; }
};

struct StackState {
    std::vector<Item> live;   // the top cells, back() on top
    int32_t mem_top = 4;      // the cells from here up are in memory
    std::vector<std::pair<int32_t, Item>> dead;   // popped dirty cells, by offset
    int refs[16] = {};        // uses of each register

    int32_t top() const { return mem_top - 4 * int32_t(live.size()); }
    void hold(const Item& it) {
        if (!it.is_const) ++refs[it.reg];
    }
    void release(const Item& it) {
        if (!it.is_const) --refs[it.reg];
    }
    void forget_dead(int32_t offset);
    void add_dead(int32_t offset, const Item& it);
};

class StackModel {
public:
    // At a block's entry the top cell is in r12d, the rest in memory.
    explicit StackModel(x64::Emitter& a);

    StackState& now() { return s_; }
    const StackState& now() const { return s_; }

    Item pop();                    // the top cell; a dirty one stays behind as a dead cell
    Item take();                   // the top cell, whose place this instruction writes again
    void push(Item it);            // a write of the new top cell
    void drop();                   // DROP: pop without looking
    void ensure(size_t n);         // at least n cells in the model
    Item& top(size_t i) { return s_.live[s_.live.size() - 1 - i]; }
    void duplicate(size_t i);      // pushes a copy of cell i (DUP, OVER)

    x64::Reg alloc();                        // a free register; a spill stores a cell with rcx only
    void release(const Item& it) { s_.release(it); }
    x64::Reg writable(const Item& it);       // a register of its own holding the item's value
    x64::Reg in_reg(const Item& it);         // a register holding it (rdx for a constant)

    // The state before an instruction that popped `operands` (deepest
    // first), for handing that instruction to the interpreter.
    StackState before(std::initializer_list<Item> operands) const;
    // Every dirty cell to memory: afterwards memory holds the whole stack;
    // the cells stay in their registers, now clean.
    void write_dirty();
    // The canonical form at an exit, for state st: every dirty cell written
    // except the top one, which goes to r12d, and ebx at the top. Uses rcx
    // only, so eax survives.
    void flush(const StackState& st);
    // Only the dead cells of st to memory.
    void write_dead(const StackState& st);

    // The offsets that pushes write from now on, until stop_recording():
    // translation notes what a block writes before it can first stop.
    void start_recording() { recording_ = true; }
    void stop_recording() { recording_ = false; }
    bool written_early(int32_t offset) const;

    // Cells the block touches, [lo, hi).
    int32_t lo() const { return lo_; }
    int32_t hi() const { return hi_; }
    // The cells a load from memory must not meet (dirty ones: memory lacks
    // their value), or a store (every cell the model holds); false when
    // there are none.
    bool guarded_cells(bool store, int32_t& lo, int32_t& hi) const;

private:
    x64::Mem cell(int32_t offset) const { return x64::Mem{x64::R15, x64::RBX, offset}; }
    void touch(int32_t offset) {
        lo_ = std::min(lo_, offset);
        hi_ = std::max(hi_, offset + 4);
    }
    void store(int32_t offset, const Item& it);
    Item load(int32_t offset);
    void spill();    // a dead register cell, else the bottom live cell, to memory
    void bound();    // keeps the cells in the model within kMaxCells

    x64::Emitter& a_;
    StackState s_;
    int32_t lo_ = 0, hi_ = 4;
    bool recording_ = false;
    std::vector<int32_t> early_;
};

}  // namespace norvex::native
