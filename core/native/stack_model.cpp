#include "core/native/stack_model.h"

#include <algorithm>
#include <climits>

namespace norvex::native {

using namespace x64;

namespace {

constexpr Reg kPool[] = {R12, RSI, RDI, R8, R9, R10, R11};
// Cells the model holds at most, live and dead: every exit writes them, so
// this bounds the size of an exit.
constexpr size_t kMaxCells = 16;

}  // namespace

void StackState::forget_dead(int32_t offset) {
    for (size_t i = 0; i < dead.size(); ++i)
        if (dead[i].first == offset) {
            release(dead[i].second);
            dead.erase(dead.begin() + long(i));
            return;
        }
}

void StackState::add_dead(int32_t offset, const Item& it) {
    forget_dead(offset);
    hold(it);
    dead.emplace_back(offset, it);
}

StackModel::StackModel(Emitter& a) : a_(a) {
    s_.live.push_back(Item::in(R12));
    s_.refs[R12] = 1;
}

void StackModel::store(int32_t offset, const Item& it) {
    touch(offset);
    if (it.is_const) {
        a_.store_imm(cell(offset), ~it.value);
    } else {
        a_.mov(RCX, it.reg);
        a_.not_(RCX);
        a_.store(cell(offset), RCX);
    }
}

Item StackModel::load(int32_t offset) {
    const Reg r = alloc();
    a_.load(r, cell(offset));
    a_.not_(r);
    touch(offset);
    Item it = Item::in(r);
    it.dirty = false;
    return it;
}

bool StackModel::guarded_cells(bool store, int32_t& lo, int32_t& hi) const {
    lo = INT32_MAX;
    hi = INT32_MIN;
    auto take_in = [&](int32_t offset) {
        lo = std::min(lo, offset);
        hi = std::max(hi, offset + 4);
    };
    for (const auto& [offset, it] : s_.dead) take_in(offset);
    const int32_t top = s_.top();
    const size_t depth = s_.live.size();
    for (size_t k = 0; k < depth; ++k)
        if (store || s_.live[depth - 1 - k].dirty) take_in(top + 4 * int32_t(k));
    return lo < hi;
}

void StackModel::spill() {
    for (size_t i = 0; i < s_.dead.size(); ++i) {
        if (s_.dead[i].second.is_const) continue;
        store(s_.dead[i].first, s_.dead[i].second);
        s_.forget_dead(s_.dead[i].first);
        return;
    }
    const Item it = s_.live.front();
    if (it.dirty) store(s_.mem_top - 4, it);
    s_.mem_top -= 4;
    s_.live.erase(s_.live.begin());
    s_.release(it);
}

void StackModel::bound() {
    while (s_.live.size() + s_.dead.size() > kMaxCells) {
        if (!s_.dead.empty()) {
            const auto [offset, it] = s_.dead.front();
            store(offset, it);
            s_.forget_dead(offset);
        } else {
            spill();
        }
    }
}

Reg StackModel::alloc() {
    for (;;) {
        for (Reg r : kPool)
            if (s_.refs[r] == 0) {
                s_.refs[r] = 1;
                return r;
            }
        spill();
    }
}

Item StackModel::take() {
    if (s_.live.empty()) {
        const int32_t offset = s_.mem_top;
        const Item it = load(offset);
        s_.mem_top += 4;
        return it;
    }
    const Item it = s_.live.back();
    s_.live.pop_back();
    return it;
}

Item StackModel::pop() {
    const int32_t offset = s_.top();
    const Item it = take();
    if (it.dirty) s_.add_dead(offset, it);
    return it;
}

void StackModel::drop() {
    if (s_.live.empty()) {
        touch(s_.mem_top);
        s_.mem_top += 4;
        return;
    }
    release(pop());
}

void StackModel::push(Item it) {
    it.dirty = true;
    s_.forget_dead(s_.top() - 4);
    s_.live.push_back(it);
    touch(s_.top());
    if (recording_) early_.push_back(s_.top());
    bound();
}

bool StackModel::written_early(int32_t offset) const {
    return std::find(early_.begin(), early_.end(), offset) != early_.end();
}

void StackModel::duplicate(size_t i) {
    ensure(i + 1);
    const Item it = top(i);
    s_.hold(it);
    push(it);
}

void StackModel::ensure(size_t n) {
    while (s_.live.size() < n) {
        const Item it = load(s_.mem_top);
        s_.mem_top += 4;
        s_.live.insert(s_.live.begin(), it);
    }
}

Reg StackModel::writable(const Item& it) {
    if (!it.is_const && s_.refs[it.reg] == 1) return it.reg;
    const Reg r = alloc();
    if (it.is_const) a_.mov(r, it.value);
    else a_.mov(r, it.reg);
    release(it);
    return r;
}

Reg StackModel::in_reg(const Item& it) {
    if (!it.is_const) return it.reg;
    a_.mov(RDX, it.value);
    return RDX;
}

StackState StackModel::before(std::initializer_list<Item> operands) const {
    StackState st = s_;
    for (const Item& it : operands) {
        st.forget_dead(st.top() - 4);
        st.live.push_back(it);
        st.hold(it);
    }
    return st;
}

void StackModel::write_dirty() {
    for (const auto& [offset, it] : s_.dead) {
        store(offset, it);
        s_.release(it);
    }
    s_.dead.clear();
    const int32_t top = s_.top();
    const size_t depth = s_.live.size();
    for (size_t k = 0; k < depth; ++k) {
        Item& it = s_.live[depth - 1 - k];
        if (it.dirty) store(top + 4 * int32_t(k), it);
        it.dirty = false;
    }
}

void StackModel::write_dead(const StackState& st) {
    for (const auto& [offset, it] : st.dead) store(offset, it);
}

void StackModel::flush(const StackState& st) {
    write_dead(st);
    const size_t depth = st.live.size();
    const int32_t top = st.top();
    for (size_t k = 1; k < depth; ++k) {
        const Item& it = st.live[depth - 1 - k];
        if (it.dirty) store(top + 4 * int32_t(k), it);
    }
    touch(top);   // the top cell must exist, as the interpreter requires
    if (depth >= 1) {
        const Item& t = st.live.back();
        if (t.is_const) a_.mov(R12, t.value);
        else if (t.reg != R12) a_.mov(R12, t.reg);
    } else {
        a_.load(R12, cell(top));
        a_.not_(R12);
    }
    if (top != 0) a_.alu(ADD, RBX, uint32_t(top));
}

}  // namespace norvex::native
