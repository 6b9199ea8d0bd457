// Translation of VM code to x86-64.
//
// A block is the code from one program address up to an unconditional
// control transfer (BRANCH, CALL, EXIT, EXECUTE, NEST) or an instruction left
// to the interpreter; conditional branches leave the block on their taken
// side and continue it on the other.
//
// Registers while translated code runs:
//   ebx  data-stack top, as an offset into variable memory
//   r12d the top cell's value (its memory cell is not kept current)
//   r13d return-stack top, as an offset into variable memory
//   ebp  the W register
//   r14  the Context below; r15 variable memory
// Inside a block the data stack is modelled at translation time: cells that
// instructions push live in registers or as constants until the block has
// to leave, so most stack traffic never reaches memory. Every memory access
// the block can make relative to its entry stack pointers is known when it
// is translated; two compares at its entry prove them all inside variable
// memory, or the block gives its first instruction to the interpreter.
#include "core/native/native.h"

#include <cstddef>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/engine.h"

#if defined(__x86_64__) && defined(__linux__)
#include <sys/mman.h>

#include "core/native/x64.h"
#define NORVEX_HAS_NATIVE 1
#endif

namespace norvex {

#ifndef NORVEX_HAS_NATIVE

struct NativeCode {};
void NativeCodeDeleter::operator()(NativeCode* n) const { delete n; }
bool native_available(const Machine&) { return false; }
void native_run(Machine&) {}
void native_program_written(Machine&, const uint8_t*, uint32_t) {}

#else

using namespace x64;

namespace {

// What the translated code hands back, and the machine state it keeps.
struct Context {
    uint32_t ds;
    uint32_t tos;
    uint32_t rs;
    uint32_t W;
    uint32_t IP;
    uint32_t exit_pc;     // the instruction to continue with
    uint32_t exit_site;   // for kLink: the exit that asks to be linked
    uint32_t reason;
    uint32_t budget;      // units left (see Machine::budget) while counting
    uint8_t* var;
    uint8_t* prg;
};

enum ExitReason : uint32_t {
    kLink = 1,     // a block exit whose target has no translation yet
    kLookup = 2,   // EXIT, EXECUTE or NEST to an address not in the lookup table
    kBail = 3,     // the interpreter executes the instruction at exit_pc
};

constexpr size_t kCodeBytes = size_t(32) << 20;   // reserved; pages are backed as written
constexpr size_t kBlockRoom = 64 * 1024;          // the most one block may take
constexpr uint32_t kMaxInstructions = 256;
constexpr uint32_t kLookupSlots = 4096;           // direct-mapped
constexpr uint32_t kPageShift = 8;                // invalidation granularity: 256 bytes

struct LookupSlot {
    uint32_t key;
    uint32_t unused;
    const uint8_t* code;
};

struct Block {
    uint32_t start = 0, end = 0;   // program addresses [start, end)
    uint8_t* code = nullptr;
    std::vector<uint32_t> incoming;   // sites linked to this block
    bool live = true;
};

// A block exit with a fixed target: a jmp whose rel32 points at its own stub
// until the target is translated, then straight at the target.
struct Site {
    uint8_t* field;
    uint8_t* stub;
    uint32_t target;
};

}  // namespace

struct NativeCode {
    uint32_t generation = 0;   // counts resets of the cache
    bool counting = false;     // blocks count their entries against a budget
    bool r_above = true;       // blocks expect the return stack above the data stack
    uint8_t* mem = nullptr;
    uint8_t* free = nullptr;
    uint8_t* blocks_begin = nullptr;
    void (*enter)(Context*, const uint8_t*) = nullptr;
    uint8_t* exit_common = nullptr;
    uint8_t* lookup_miss = nullptr;
    Context ctx{};
    LookupSlot lookup[kLookupSlots];
    std::unordered_map<uint32_t, Block*> by_start;
    std::vector<std::unique_ptr<Block>> blocks;
    std::vector<Site> sites;
    std::unordered_map<uint32_t, std::vector<Block*>> by_page;

    ~NativeCode() {
        if (mem) munmap(mem, kCodeBytes);
    }
};

void NativeCodeDeleter::operator()(NativeCode* n) const { delete n; }

namespace {

constexpr int32_t off(size_t o) { return int32_t(o); }
#define CTX(field) Mem{R14, NOREG, off(offsetof(Context, field))}

void clear_lookup(NativeCode& nc) {
    for (LookupSlot& s : nc.lookup) s = {0xFFFFFFFF, 0, nc.lookup_miss};
}

uint32_t slot_of(uint32_t vaddr) { return (vaddr ^ (vaddr >> 12)) & (kLookupSlots - 1); }

// The entry and exit trampolines at the start of the code memory.
void emit_trampolines(NativeCode& nc) {
    Emitter a(nc.mem, nc.mem + kCodeBytes);
    nc.enter = reinterpret_cast<void (*)(Context*, const uint8_t*)>(a.here());
    for (Reg r : {RBX, RBP, R12, R13, R14, R15}) a.push(r);
    a.mov64(R14, RDI);
    a.load64(R15, CTX(var));
    a.load(RBX, CTX(ds));
    a.load(R12, CTX(tos));
    a.load(R13, CTX(rs));
    a.load(RBP, CTX(W));
    a.jmp(RSI);

    nc.exit_common = a.here();
    a.store(CTX(ds), RBX);
    a.store(CTX(tos), R12);
    a.store(CTX(rs), R13);
    a.store(CTX(W), RBP);
    for (Reg r : {R15, R14, R13, R12, RBP, RBX}) a.pop(r);
    a.ret();

    // Lookup miss: eax holds the target.
    nc.lookup_miss = a.here();
    a.store(CTX(exit_pc), RAX);
    a.store_imm(CTX(reason), kLookup);
    a.jmp(nc.exit_common);

    nc.blocks_begin = nc.free = a.here();
}

void reset_cache(NativeCode& nc) {
    ++nc.generation;
    nc.by_start.clear();
    nc.blocks.clear();
    nc.sites.clear();
    nc.by_page.clear();
    nc.free = nc.blocks_begin;
    clear_lookup(nc);
}

bool create(Machine& m) {
    void* mem = mmap(nullptr, kCodeBytes, PROT_READ | PROT_WRITE | PROT_EXEC,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mem == MAP_FAILED) return false;
    auto nc = std::unique_ptr<NativeCode, NativeCodeDeleter>(new NativeCode);
    nc->mem = static_cast<uint8_t*>(mem);
    emit_trampolines(*nc);
    clear_lookup(*nc);
    nc->ctx.var = m.mem.var;
    nc->ctx.prg = m.mem.prg;
    m.native = std::move(nc);
    return true;
}

// ---------------------------------------------------------------------------
// The translator of one block.

struct Insn {
    uint32_t at;
    Op op;
    uint32_t operand;
    uint32_t next;
};

// How a decoded block ends after its last instruction.
enum class Tail {
    Transfer,   // its last instruction leaves the block
    Bail,       // the instruction at `tail_at` goes to the interpreter
    Continue,   // the block is full: go on at `tail_at`
};

class Translator {
public:
    Translator(NativeCode& nc, const Machine& m, uint32_t start)
        : nc_(nc), c_(m.mem), start_(start), a_(nc.free, nc.mem + kCodeBytes) {
        // At entry the top cell is in r12d, the rest in memory from ebx + 4.
        s_.vs.push_back(Item{false, R12, 0});
        s_.refs[R12] = 1;
    }

    // The new block, or nullptr when its first instruction cannot be
    // translated or the code memory is full (then reset_cache and retry).
    Block* translate(bool& full);

private:
    struct Item {
        bool is_const;
        Reg reg;
        uint32_t value;
    };
    // The data stack as translation sees it: the top cells as items (back =
    // top), the cells below them in memory from ebx + mem_top upwards.
    struct State {
        std::vector<Item> vs;
        int32_t mem_top = 4;
        int refs[16] = {};
    };
    enum class ExitKind { Jump, Bail };
    struct Stub {
        uint8_t* field;   // rel32 to bind to the stub
        State state;
        ExitKind kind;
        uint32_t vaddr;   // jump target, or the instruction to bail at
    };

    void decode();
    bool translatable(Op op) const;
    bool uses_return_stack() const;

    // Stack model.
    Reg alloc();
    void spill_bottom();
    void access(int32_t offset);                  // a data-stack cell touched
    void raccess(int32_t offset);                 // a return-stack cell touched
    void note_sp();                               // the logical top after an instruction
    int32_t logical_sp() const { return s_.mem_top - 4 * int32_t(s_.vs.size()); }
    Item pop();
    void push(Item it);
    void push_reg(Reg r) { push(Item{false, r, 0}); }
    void push_const(uint32_t v) { push(Item{true, NOREG, v}); }
    void push_copy_of(Reg temp) {   // a temporary's value onto the stack
        const Reg r = alloc();      // a spill uses rcx only
        a_.mov(r, temp);
        push_reg(r);
    }
    // A zero-extended load of program or variable memory (stored complemented).
    void load_memory(Reg r, Mem where, uint32_t width) {
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
    void ensure(size_t n);
    Item& top(size_t i) { return s_.vs[s_.vs.size() - 1 - i]; }
    void release(const Item& it) {
        if (!it.is_const) --s_.refs[it.reg];
    }
    Reg writable(const Item& it);   // a register of its own holding the item's value
    Reg in_reg(const Item& it);     // any register holding it (a temporary for constants)
    Mem cell(int32_t offset) { return Mem{R15, RBX, offset}; }
    void store_cell(int32_t offset, const Item& it);
    void full_sync();
    State before(std::initializer_list<Item> operands) const;   // for bails

    // Leaving the block.
    void flush(const State& st);
    void exit_jump(const State& st, uint32_t target);
    void exit_bail(const State& st, uint32_t vaddr);
    void exit_dynamic();   // eax = target, state already flushed
    uint8_t* stub_jcc(Cond c, State st, ExitKind kind, uint32_t vaddr);
    void emit_stubs();
    bool in_prg(uint32_t vaddr) const { return vaddr - c_.PRGOFF < c_.PRGSIZE; }

    // Instructions.
    void compile(size_t i);
    void binary(Alu op, bool commutative, bool writes_w);
    void compare(Cond cond, bool fuse, uint32_t target);
    void shift(Op op);
    void var_access(const Insn& in, uint32_t width, bool store);
    void prg_fetch(const Insn& in, uint32_t width);
    void conditional_exit_on_zero(const Insn& in);
    void check_prg_target(Reg vaddr, const State& st, uint32_t at);

    NativeCode& nc_;
    const MemConf& c_;
    uint32_t start_;
    Emitter a_;
    std::vector<Insn> insns_;
    Tail tail_ = Tail::Transfer;
    uint32_t tail_at_ = 0;
    size_t skip_ = 0;   // a 0BRANCH fused into the comparison before it
    bool ended_ = false;
    State s_;
    int32_t ds_lo_ = 0, ds_hi_ = 4;   // data-stack bytes touched, relative to entry ebx
    int32_t r_delta_ = 0;             // r13 moved since entry
    int32_t rs_lo_ = 0, rs_hi_ = 0;
    std::vector<Stub> stubs_;
    std::vector<std::pair<uint8_t*, uint32_t>> jumps_;   // (rel32 field, target) to link
    Block* block_ = nullptr;
};

constexpr Reg kPool[] = {R12, RSI, RDI, R8, R9, R10, R11};

bool Translator::translatable(Op op) const {
    switch (op) {
    case Op::SYSCALL:
    case Op::SPSTORE:
    case Op::RPSTORE:
    case Op::CFETCHX:
    case Op::CSTOREX:
    case Op::WFETCHX:
    case Op::WSTOREX:
    case Op::FETCHX:
    case Op::STOREX:
        return false;
    default:
        return kOpInfo[uint8_t(op)].runs;
    }
}

void Translator::decode() {
    uint32_t pc = start_;
    for (uint32_t n = 0; n < kMaxInstructions; ++n) {
        const uint32_t o = pc - c_.PRGOFF;
        if (o >= c_.PRGSIZE) break;
        const uint8_t byte = mem_load8(c_.prg + o);
        if (byte >= 64 || !translatable(Op(byte))) break;
        const Op op = Op(byte);
        const uint32_t len = 1 + kOpInfo[byte].operand_bytes;
        if (c_.PRGSIZE - o < len) break;
        const uint32_t operand = len > 1 ? mem_load32(c_.prg + o + 1) : 0;
        insns_.push_back({pc, op, operand, pc + len});
        pc += len;
        if (op == Op::BRANCH || op == Op::CALL || op == Op::EXIT || op == Op::EXECUTE || op == Op::NEST)
            return;
    }
    tail_at_ = pc;
    tail_ = insns_.size() >= kMaxInstructions ? Tail::Continue : Tail::Bail;
}

bool Translator::uses_return_stack() const {
    for (const Insn& in : insns_) {
        switch (in.op) {
        case Op::CALL:
        case Op::EXIT:
        case Op::EXECUTE:
        case Op::NBRANCH:
        case Op::TOR:
        case Op::RFROM:
        case Op::RFETCH:
        case Op::RDROP:
            return true;
        default:
            break;
        }
    }
    return false;
}

// --- the stack model --------------------------------------------------------

void Translator::access(int32_t offset) {
    ds_lo_ = std::min(ds_lo_, offset);
    ds_hi_ = std::max(ds_hi_, offset + 4);
}

void Translator::raccess(int32_t offset) {
    rs_lo_ = std::min(rs_lo_, offset);
    rs_hi_ = std::max(rs_hi_, offset + 4);
}

void Translator::note_sp() { ds_lo_ = std::min(ds_lo_, logical_sp()); }

void Translator::spill_bottom() {
    const Item it = s_.vs.front();
    store_cell(s_.mem_top - 4, it);
    s_.mem_top -= 4;
    s_.vs.erase(s_.vs.begin());
    release(it);
}

Reg Translator::alloc() {
    for (;;) {
        for (Reg r : kPool)
            if (s_.refs[r] == 0) {
                s_.refs[r] = 1;
                return r;
            }
        spill_bottom();
    }
}

Translator::Item Translator::pop() {
    if (!s_.vs.empty()) {
        const Item it = s_.vs.back();
        s_.vs.pop_back();
        return it;
    }
    const Reg r = alloc();
    a_.load(r, cell(s_.mem_top));
    a_.not_(r);
    access(s_.mem_top);
    s_.mem_top += 4;
    return Item{false, r, 0};
}

void Translator::push(Item it) { s_.vs.push_back(it); }

void Translator::ensure(size_t n) {
    while (s_.vs.size() < n) {
        const Reg r = alloc();
        a_.load(r, cell(s_.mem_top));
        a_.not_(r);
        access(s_.mem_top);
        s_.mem_top += 4;
        s_.vs.insert(s_.vs.begin(), Item{false, r, 0});
    }
}

Reg Translator::writable(const Item& it) {
    if (!it.is_const && s_.refs[it.reg] == 1) return it.reg;
    const Reg r = alloc();
    if (it.is_const) a_.mov(r, it.value);
    else a_.mov(r, it.reg);
    release(it);
    return r;
}

Reg Translator::in_reg(const Item& it) {
    if (!it.is_const) return it.reg;
    a_.mov(RDX, it.value);
    return RDX;
}

void Translator::store_cell(int32_t offset, const Item& it) {
    access(offset);
    if (it.is_const) {
        a_.store_imm(cell(offset), ~it.value);
    } else {
        a_.mov(RCX, it.reg);
        a_.not_(RCX);
        a_.store(cell(offset), RCX);
    }
}

// Every cached cell to memory, the top one included: after this the stack
// in memory is exact (SP@ hands out addresses into it).
void Translator::full_sync() {
    const int32_t sp = logical_sp();
    const size_t depth = s_.vs.size();
    for (size_t k = 0; k < depth; ++k) store_cell(sp + 4 * int32_t(k), top(k));
    for (const Item& it : s_.vs) release(it);
    s_.vs.clear();
    s_.mem_top = sp;
}

Translator::State Translator::before(std::initializer_list<Item> operands) const {
    State st = s_;
    for (const Item& it : operands) {
        st.vs.push_back(it);
        if (!it.is_const) ++st.refs[it.reg];
    }
    return st;
}

// --- leaving the block ------------------------------------------------------

// Brings the state to its canonical form: the top cell in r12d, the others in
// memory, ebx at the top. Uses rcx only, so eax survives (EXIT's target).
void Translator::flush(const State& st) {
    const size_t depth = st.vs.size();
    const int32_t sp = st.mem_top - 4 * int32_t(depth);
    for (size_t k = 1; k < depth; ++k) {
        const Item& it = st.vs[depth - 1 - k];
        access(sp + 4 * int32_t(k));
        if (it.is_const) {
            a_.store_imm(cell(sp + 4 * int32_t(k)), ~it.value);
        } else {
            a_.mov(RCX, it.reg);
            a_.not_(RCX);
            a_.store(cell(sp + 4 * int32_t(k)), RCX);
        }
    }
    access(sp);   // the top cell must exist, as the interpreter requires
    if (depth >= 1) {
        const Item& t = st.vs.back();
        if (t.is_const) a_.mov(R12, t.value);
        else if (t.reg != R12) a_.mov(R12, t.reg);
    } else {
        a_.load(R12, cell(sp));
        a_.not_(R12);
    }
    if (sp != 0) a_.alu(ADD, RBX, uint32_t(sp));
}

void Translator::exit_jump(const State& st, uint32_t target) {
    flush(st);
    jumps_.push_back({a_.jmp(), target});
}

void Translator::exit_bail(const State& st, uint32_t vaddr) {
    flush(st);
    a_.store_imm(CTX(exit_pc), vaddr);
    a_.store_imm(CTX(reason), kBail);
    a_.jmp(nc_.exit_common);
}

// eax holds the target program address, known to lie in program memory.
void Translator::exit_dynamic() {
    // The state is flushed, so the pool registers are free here.
    a_.mov(RDX, RAX);
    a_.shr(RDX, 12);
    a_.alu(XOR, RDX, RAX);
    a_.alu(AND, RDX, kLookupSlots - 1);
    a_.shl(RDX, 4);
    a_.mov64(RCX, reinterpret_cast<uint64_t>(nc_.lookup));
    a_.load(RSI, Mem{RCX, RDX, 0});
    a_.alu(CMP, RSI, RAX);
    a_.jcc(NE, nc_.lookup_miss);
    a_.jmp_mem(Mem{RCX, RDX, 8});
}

uint8_t* Translator::stub_jcc(Cond c, State st, ExitKind kind, uint32_t vaddr) {
    uint8_t* field = a_.jcc(c);
    stubs_.push_back({field, std::move(st), kind, vaddr});
    return field;
}

void Translator::emit_stubs() {
    // Stubs may add stubs of their own (none do today), so index, not iterate.
    for (size_t i = 0; i < stubs_.size(); ++i) {
        Emitter::patch(stubs_[i].field, a_.here());
        const State st = stubs_[i].state;
        if (stubs_[i].kind == ExitKind::Jump) exit_jump(st, stubs_[i].vaddr);
        else exit_bail(st, stubs_[i].vaddr);
    }
}

// --- instructions -----------------------------------------------------------

void Translator::binary(Alu op, bool commutative, bool writes_w) {
    ensure(2);
    Item b = pop();
    Item a = pop();
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
        push_const(r);
        return;
    }
    if (commutative && a.is_const) std::swap(a, b);
    const Reg r = writable(a);
    if (b.is_const) a_.alu(op, r, b.value);
    else a_.alu(op, r, b.reg);
    if (writes_w) {
        a_.setcc(B, RAX);
        a_.movzx8(RBP, RAX);
    }
    release(b);
    push_reg(r);
}

// <, U<, 0< (0< arrives as a comparison with 0). With `fuse`, the following
// 0BRANCH is taken on the inverse condition.
void Translator::compare(Cond cond, bool fuse, uint32_t target) {
    Item b = pop();
    Item a = pop();
    if (a.is_const && b.is_const) {
        bool t = false;
        switch (cond) {
        case L: t = int32_t(a.value) < int32_t(b.value); break;
        case B: t = a.value < b.value; break;
        default: break;
        }
        if (fuse) {
            if (!t) {
                exit_jump(s_, target);
                ended_ = true;
            }
        } else {
            push_const(t ? 0xFFFFFFFF : 0);
        }
        return;
    }
    const Reg ra = in_reg(a);
    if (b.is_const) a_.alu(CMP, ra, b.value);
    else a_.alu(CMP, ra, b.reg);
    release(a);
    release(b);
    if (fuse) {   // the target is known to lie in program memory
        stub_jcc(invert(cond), s_, ExitKind::Jump, target);
        return;
    }
    const Reg r = alloc();   // a spill here leaves the flags alone
    a_.setcc(cond, RAX);
    a_.movzx8(r, RAX);
    a_.neg(r);
    push_reg(r);
}

void Translator::shift(Op op) {
    Item count = pop();
    Item value = pop();
    if (count.is_const) {
        const uint8_t k = count.value & 31;
        if (k == 0) {
            a_.alu(XOR, RBP, RBP);
            push(value);
            return;
        }
        const Reg r = writable(value);
        if (op == Op::LSHIFT) a_.shl(r, k);
        else if (op == Op::RSHIFT) a_.shr(r, k);
        else a_.sar(r, k);
        a_.setcc(B, RAX);
        a_.movzx8(RBP, RAX);
        if (op != Op::LSHIFT) a_.shl(RBP, 31);
        push_reg(r);
        return;
    }
    const Reg r = writable(value);
    a_.mov(RCX, in_reg(count));
    a_.alu(AND, RCX, 31);   // also clears CF: a shift by 0 leaves W = 0
    if (op == Op::LSHIFT) a_.shl_cl(r);
    else if (op == Op::RSHIFT) a_.shr_cl(r);
    else a_.sar_cl(r);
    a_.setcc(B, RAX);
    a_.movzx8(RBP, RAX);
    if (op != Op::LSHIFT) a_.shl(RBP, 31);
    release(count);
    push_reg(r);
}

// C@ C! W@ W! @ !: variable memory only. The access must lie inside
// variable memory and must not touch a stack cell that the block holds in a
// register; otherwise the interpreter executes the instruction.
void Translator::var_access(const Insn& in, uint32_t width, bool store) {
    ensure(store ? 2 : 1);
    // The cells the block caches, as offsets from ebx: [cached_lo, mem_top).
    const int32_t cached_lo = logical_sp();
    const int32_t cached_hi = s_.mem_top;
    Item addr = pop();
    Item value{true, NOREG, 0};
    if (store) value = pop();
    // The result's register is taken first: a spill later would use rcx,
    // which holds the translated address below.
    const Reg result = store ? NOREG : alloc();
    const State st = store ? before({value, addr}) : before({addr});
    const uint32_t align_mask = (c_.Flag & F_ALIGN) ? width - 1 : 0;

    Mem where{R15, NOREG, 0};
    if (addr.is_const) {
        const uint32_t o = addr.value - c_.VAROFF;
        if (o >= c_.VARSIZE || c_.VARSIZE - o < width || (addr.value & align_mask) || o > 0x7FFFFFFF) {
            exit_bail(st, in.at);
            ended_ = true;
            release(value);
            if (!store) --s_.refs[result];
            return;
        }
        where.disp = int32_t(o);
        // Alias test: o - ebx must not fall in (cached_lo - width, cached_hi).
        if (cached_hi > cached_lo) {
            a_.lea(RDX, Mem{RBX, NOREG, cached_lo - int32_t(width) + 1});
            a_.mov(RCX, o);
            a_.alu(SUB, RCX, RDX);
            a_.alu(CMP, RCX, uint32_t(cached_hi - cached_lo + int32_t(width) - 1));
            stub_jcc(B, st, ExitKind::Bail, in.at);
        }
    } else {
        if (align_mask) {
            a_.test_imm(addr.reg, align_mask);
            stub_jcc(NE, st, ExitKind::Bail, in.at);
        }
        a_.mov(RCX, addr.reg);
        a_.alu(SUB, RCX, c_.VAROFF);
        a_.alu(CMP, RCX, c_.VARSIZE - width);
        stub_jcc(A, st, ExitKind::Bail, in.at);
        if (cached_hi > cached_lo) {
            a_.lea(RDX, Mem{RBX, NOREG, cached_lo - int32_t(width) + 1});
            a_.mov(RAX, RCX);
            a_.alu(SUB, RAX, RDX);
            a_.alu(CMP, RAX, uint32_t(cached_hi - cached_lo + int32_t(width) - 1));
            stub_jcc(B, st, ExitKind::Bail, in.at);
        }
        where.index = RCX;
    }
    release(addr);
    if (store) {
        if (value.is_const) {
            a_.mov(RAX, ~value.value);
        } else {
            a_.mov(RAX, value.reg);
            a_.not_(RAX);
        }
        if (width == 1) a_.store8(where, RAX);
        else if (width == 2) a_.store16(where, RAX);
        else a_.store(where, RAX);
        release(value);
        return;
    }
    load_memory(result, where, width);
    push_reg(result);
}

// C@P W@P @P: program memory only.
void Translator::prg_fetch(const Insn& in, uint32_t width) {
    ensure(1);
    Item addr = pop();
    const Reg r = alloc();   // before rcx and rdx hold the address (see var_access)
    const State st = before({addr});
    const uint32_t align_mask = (c_.Flag & F_ALIGN) ? width - 1 : 0;
    const Reg ra = in_reg(addr);
    if (align_mask) {
        a_.test_imm(ra, align_mask);
        stub_jcc(NE, st, ExitKind::Bail, in.at);
    }
    a_.mov(RCX, ra);
    a_.alu(SUB, RCX, c_.PRGOFF);
    a_.alu(CMP, RCX, c_.PRGSIZE - width);
    stub_jcc(A, st, ExitKind::Bail, in.at);
    a_.load64(RDX, CTX(prg));
    release(addr);
    load_memory(r, Mem{RDX, RCX, 0}, width);
    push_reg(r);
}

// A dynamic target in `vaddr` must lie in program memory, else the
// instruction goes to the interpreter (which reports it exactly).
void Translator::check_prg_target(Reg vaddr, const State& st, uint32_t at) {
    a_.mov(RCX, vaddr);
    a_.alu(SUB, RCX, c_.PRGOFF);
    a_.alu(CMP, RCX, c_.PRGSIZE);
    stub_jcc(AE, st, ExitKind::Bail, at);
}

void Translator::conditional_exit_on_zero(const Insn& in) {
    ensure(1);
    Item flag = pop();
    note_sp();
    if (flag.is_const) {
        if (flag.value == 0) {
            if (in_prg(in.next + in.operand)) exit_jump(s_, in.next + in.operand);
            else exit_bail(before({flag}), in.at);
            ended_ = true;
        }
        return;
    }
    a_.test(flag.reg, flag.reg);
    release(flag);
    const uint32_t target = in.next + in.operand;
    if (in_prg(target)) stub_jcc(E, s_, ExitKind::Jump, target);
    else stub_jcc(E, before({flag}), ExitKind::Bail, in.at);
}

void Translator::compile(size_t i) {
    const Insn& in = insns_[i];
    switch (in.op) {
    case Op::CALL: {
        const uint32_t target = in.next + in.operand;
        if (!in_prg(target)) {
            exit_bail(s_, in.at);
            break;
        }
        raccess(r_delta_ - 4);
        a_.alu(SUB, R13, 4);
        a_.store_imm(Mem{R15, R13, 0}, ~in.next);
        exit_jump(s_, target);
        break;
    }
    case Op::BRANCH: {
        const uint32_t target = in.next + in.operand;
        if (in_prg(target)) exit_jump(s_, target);
        else exit_bail(s_, in.at);
        break;
    }
    case Op::ZBRANCH:
        conditional_exit_on_zero(in);
        break;
    case Op::NBRANCH: {
        raccess(r_delta_);
        const uint32_t target = in.next + in.operand;
        if (!in_prg(target)) {
            exit_bail(s_, in.at);
            ended_ = true;
            break;
        }
        // The stored cell is the complement: a count of 0 is stored as ~0,
        // and decrementing the count increments what is stored.
        a_.alu_mem(CMP, Mem{R15, R13, 0}, 0xFFFFFFFF);
        uint8_t* done = a_.jcc(E);
        a_.inc_mem(Mem{R15, R13, 0});
        exit_jump(s_, target);
        Emitter::patch(done, a_.here());
        a_.alu(ADD, R13, 4);
        r_delta_ += 4;
        break;
    }
    case Op::LIT:
        push_const(in.operand);
        note_sp();
        break;
    case Op::EXIT: {
        raccess(r_delta_);
        a_.load(RAX, Mem{R15, R13, 0});
        a_.not_(RAX);
        check_prg_target(RAX, s_, in.at);
        a_.alu(ADD, R13, 4);
        flush(s_);
        exit_dynamic();
        break;
    }
    case Op::EXECUTE: {
        ensure(1);
        Item target = pop();
        const State st = before({target});
        a_.mov(RAX, in_reg(target));
        release(target);
        check_prg_target(RAX, st, in.at);
        raccess(r_delta_ - 4);
        a_.alu(SUB, R13, 4);
        a_.store_imm(Mem{R15, R13, 0}, ~in.next);
        note_sp();
        flush(s_);
        exit_dynamic();
        break;
    }
    case Op::NEST: {
        // t = cell at IP, target = cell at t: all three translations are
        // tested before IP and W change, so a bail leaves the machine as it
        // was before the instruction.
        a_.load(RAX, CTX(IP));
        a_.alu(SUB, RAX, c_.PRGOFF);
        a_.alu(CMP, RAX, c_.PRGSIZE - 4);
        stub_jcc(A, s_, ExitKind::Bail, in.at);
        a_.load64(RDX, CTX(prg));
        a_.load(RAX, Mem{RDX, RAX, 0});
        a_.not_(RAX);   // t
        a_.mov(RCX, RAX);
        a_.alu(SUB, RCX, c_.PRGOFF);
        a_.alu(CMP, RCX, c_.PRGSIZE - 4);
        stub_jcc(A, s_, ExitKind::Bail, in.at);
        a_.load(RCX, Mem{RDX, RCX, 0});
        a_.not_(RCX);   // target
        a_.lea(RDX, Mem{RCX, NOREG, -int32_t(c_.PRGOFF)});
        a_.alu(CMP, RDX, c_.PRGSIZE);
        stub_jcc(AE, s_, ExitKind::Bail, in.at);
        a_.lea(RBP, Mem{RAX, NOREG, 4});   // W = t + 4
        a_.alu_mem(ADD, CTX(IP), 4);
        a_.mov(RAX, RCX);
        flush(s_);
        exit_dynamic();
        break;
    }
    case Op::SPFETCH: {
        full_sync();
        const Reg r = alloc();
        a_.lea(r, Mem{RBX, NOREG, int32_t(c_.VAROFF) + s_.mem_top});
        push_reg(r);
        note_sp();
        break;
    }
    case Op::DROP: {
        ensure(0);
        if (s_.vs.empty()) {
            access(s_.mem_top);
            s_.mem_top += 4;
        } else {
            release(pop());
        }
        break;
    }
    case Op::DUP: {
        ensure(1);
        Item t = top(0);
        if (!t.is_const) ++s_.refs[t.reg];
        push(t);
        note_sp();
        break;
    }
    case Op::OVER: {
        ensure(2);
        Item t = top(1);
        if (!t.is_const) ++s_.refs[t.reg];
        push(t);
        note_sp();
        break;
    }
    case Op::SWAP:
        ensure(2);
        std::swap(top(0), top(1));
        break;
    case Op::RPFETCH: {
        const Reg r = alloc();
        a_.lea(r, Mem{R13, NOREG, int32_t(c_.VAROFF)});
        push_reg(r);
        note_sp();
        break;
    }
    case Op::TOR: {
        ensure(1);
        Item it = pop();
        raccess(r_delta_ - 4);
        r_delta_ -= 4;
        a_.alu(SUB, R13, 4);
        if (it.is_const) {
            a_.store_imm(Mem{R15, R13, 0}, ~it.value);
        } else {
            a_.mov(RCX, it.reg);
            a_.not_(RCX);
            a_.store(Mem{R15, R13, 0}, RCX);
        }
        release(it);
        break;
    }
    case Op::RFROM:
    case Op::RFETCH: {
        raccess(r_delta_);
        const Reg r = alloc();
        a_.load(r, Mem{R15, R13, 0});
        a_.not_(r);
        if (in.op == Op::RFROM) {
            a_.alu(ADD, R13, 4);
            r_delta_ += 4;
        }
        push_reg(r);
        note_sp();
        break;
    }
    case Op::RDROP:
        raccess(r_delta_);
        a_.alu(ADD, R13, 4);
        r_delta_ += 4;
        break;
    case Op::AND:
        binary(AND, true, false);
        break;
    case Op::OR:
        binary(OR, true, false);
        break;
    case Op::XOR:
        binary(XOR, true, false);
        break;
    case Op::PLUS:
        binary(ADD, true, true);
        break;
    case Op::MINUS:
        binary(SUB, false, true);
        break;
    case Op::LSHIFT:
    case Op::RSHIFT:
    case Op::ASHIFT:
        ensure(2);
        shift(in.op);
        break;
    case Op::UMSTAR: {
        ensure(2);
        Item b = pop();
        Item a = pop();
        a_.mov(RAX, in_reg(a));
        release(a);
        const Reg rb = b.is_const ? (a_.mov(RCX, b.value), RCX) : b.reg;
        a_.mul(rb);
        release(b);
        push_copy_of(RAX);   // low cell
        push_copy_of(RDX);   // high cell
        break;
    }
    case Op::UMSLASHMOD: {
        ensure(3);
        Item u = pop();
        Item hi = pop();
        Item lo = pop();
        a_.mov(RAX, in_reg(lo));
        release(lo);
        const Reg rh = in_reg(hi);
        a_.mov(RDX, rh);
        release(hi);
        const Reg ru = u.is_const ? (a_.mov(RCX, u.value), RCX) : u.reg;
        a_.alu(CMP, RDX, ru);
        uint8_t* overflow = a_.jcc(AE);   // also u = 0
        a_.div(ru);
        uint8_t* done = a_.jmp();
        Emitter::patch(overflow, a_.here());
        a_.mov(RAX, 0xFFFFFFFF);
        a_.mov(RDX, 0xFFFFFFFF);
        Emitter::patch(done, a_.here());
        release(u);
        push_copy_of(RDX);   // remainder
        push_copy_of(RAX);   // quotient
        break;
    }
    case Op::ZLESS: {
        ensure(1);
        Item v = pop();
        if (v.is_const) {   // a 0BRANCH after it sees a constant flag
            push_const(int32_t(v.value) < 0 ? 0xFFFFFFFF : 0);
            break;
        }
        if (i + 1 < insns_.size() && insns_[i + 1].op == Op::ZBRANCH &&
            in_prg(insns_[i + 1].next + insns_[i + 1].operand)) {
            skip_ = i + 1;
            a_.test(v.reg, v.reg);
            release(v);
            note_sp();
            stub_jcc(NS, s_, ExitKind::Jump, insns_[i + 1].next + insns_[i + 1].operand);
            break;
        }
        const Reg r = writable(v);
        a_.sar(r, 31);
        push_reg(r);
        break;
    }
    case Op::ULESS:
    case Op::LESS: {
        ensure(2);
        const Cond cond = in.op == Op::LESS ? L : B;
        const bool fuse = i + 1 < insns_.size() && insns_[i + 1].op == Op::ZBRANCH &&
                          in_prg(insns_[i + 1].next + insns_[i + 1].operand);
        if (fuse) skip_ = i + 1;
        compare(cond, fuse, fuse ? insns_[i + 1].next + insns_[i + 1].operand : 0);
        if (!ended_) note_sp();
        break;
    }
    case Op::CFETCH: var_access(in, 1, false); break;
    case Op::CSTORE: var_access(in, 1, true); break;
    case Op::WFETCH: var_access(in, 2, false); break;
    case Op::WSTORE: var_access(in, 2, true); break;
    case Op::FETCH: var_access(in, 4, false); break;
    case Op::STORE: var_access(in, 4, true); break;
    case Op::CFETCHP: prg_fetch(in, 1); break;
    case Op::WFETCHP: prg_fetch(in, 2); break;
    case Op::FETCHP: prg_fetch(in, 4); break;
    case Op::FIPFETCH: {
        const Reg r = alloc();
        a_.load(r, CTX(IP));
        push_reg(r);
        note_sp();
        break;
    }
    case Op::FIPSTORE: {
        ensure(1);
        Item it = pop();
        if (it.is_const) a_.store_imm(CTX(IP), it.value);
        else a_.store(CTX(IP), it.reg);
        release(it);
        break;
    }
    case Op::FWFETCH: {
        const Reg r = alloc();
        a_.mov(r, RBP);
        push_reg(r);
        note_sp();
        break;
    }
    case Op::FWSTORE: {
        ensure(1);
        Item it = pop();
        if (it.is_const) a_.mov(RBP, it.value);
        else a_.mov(RBP, it.reg);
        release(it);
        break;
    }
    case Op::NOP:
        break;
    default:   // never decoded
        exit_bail(s_, in.at);
        ended_ = true;
        break;
    }
}

Block* Translator::translate(bool& full) {
    full = false;
    decode();
    if (insns_.empty()) return nullptr;

    uint8_t* const entry = a_.here();
    // Entry checks, their bounds patched once the block is known. The
    // data-stack cells the block touches, [ebx + ds_lo, ebx + ds_hi), lie in
    // variable memory; in a block that uses the return stack so do its cells
    // [r13 + rs_lo, r13 + rs_hi), and the two ranges lie apart: the return
    // stack's above the data stack's, or below, as the stacks lay when the
    // translations were made. Stacks that have run into each other are the
    // interpreter's: a return-stack write there would change a data-stack
    // cell the block holds in a register. Either order makes two of the four
    // bounds follow from the other two.
    const State entry_state = s_;
    const bool rs = uses_return_stack();
    const bool above = nc_.r_above;
    auto check = [&](Reg r, Cond bail) {
        a_.alu(CMP, r, 0x7FFFFFFF);
        uint8_t* imm = a_.last_imm32();
        stub_jcc(bail, entry_state, ExitKind::Bail, start_);
        return imm;
    };
    uint8_t *ds_lo_imm = nullptr, *ds_hi_imm = nullptr, *rs_lo_imm = nullptr, *rs_hi_imm = nullptr;
    uint8_t* apart_imm = nullptr;
    if (!rs || above) ds_lo_imm = check(RBX, B);   // ebx >= -ds_lo
    if (!rs || !above) ds_hi_imm = check(RBX, A);  // ebx <= VARSIZE - ds_hi
    if (rs) {
        if (above) rs_hi_imm = check(R13, A);      // r13 <= VARSIZE - rs_hi
        else rs_lo_imm = check(R13, B);            // r13 >= -rs_lo
        // Above: r13 >= ebx + ds_hi - rs_lo. Below: r13 <= ebx + ds_lo - rs_hi.
        a_.lea(RAX, Mem{RBX, NOREG, 0x7FFFFFFF});
        apart_imm = a_.last_imm32();
        a_.alu(CMP, R13, RAX);
        stub_jcc(above ? L : G, entry_state, ExitKind::Bail, start_);
    }
    if (nc_.counting) {
        // Under a budget each entry costs a unit; the last unit is left to
        // the interpreter, which stops the machine when it is spent.
        a_.alu_mem(CMP, CTX(budget), 1);
        stub_jcc(BE, entry_state, ExitKind::Bail, start_);
        a_.alu_mem(SUB, CTX(budget), 1);
    }

    for (size_t i = 0; i < insns_.size() && !ended_; ++i) {
        if (skip_ == i && i != 0) continue;
        compile(i);
    }
    if (!ended_) {
        const Insn& last = insns_.back();
        const bool transfers = last.op == Op::BRANCH || last.op == Op::CALL || last.op == Op::EXIT ||
                               last.op == Op::EXECUTE || last.op == Op::NEST;
        if (!transfers) {
            if (tail_ == Tail::Continue && in_prg(tail_at_)) exit_jump(s_, tail_at_);
            else exit_bail(s_, tail_at_);
        }
    }
    emit_stubs();
    if (!a_.ok() || size_t(a_.here() - nc_.free) > kBlockRoom) {
        full = true;
        return nullptr;
    }

    // Patch the entry checks. A block whose cells cannot all fit in
    // variable memory bails at its start whatever the registers hold.
    const uint32_t size = c_.VARSIZE;
    const int64_t extent = int64_t(ds_hi_) - ds_lo_ + (rs ? int64_t(rs_hi_) - rs_lo_ : 0);
    if (extent > size) {
        Emitter::patch_imm(ds_lo_imm ? ds_lo_imm : rs_lo_imm, 0xFFFFFFFF);
    } else {
        if (ds_lo_imm) Emitter::patch_imm(ds_lo_imm, uint32_t(-ds_lo_));
        if (ds_hi_imm) Emitter::patch_imm(ds_hi_imm, size - uint32_t(ds_hi_));
        if (rs_lo_imm) Emitter::patch_imm(rs_lo_imm, uint32_t(-rs_lo_));
        if (rs_hi_imm) Emitter::patch_imm(rs_hi_imm, size - uint32_t(rs_hi_));
        if (apart_imm) Emitter::patch_imm(apart_imm, uint32_t(above ? ds_hi_ - rs_lo_ : ds_lo_ - rs_hi_));
    }

    auto block = std::make_unique<Block>();
    block->start = start_;
    block->end = insns_.back().next;
    block->code = entry;
    block_ = block.get();
    nc_.free = a_.here();
    nc_.by_start[start_] = block_;
    for (uint32_t page = (block_->start - c_.PRGOFF) >> kPageShift;
         page <= (block_->end - 1 - c_.PRGOFF) >> kPageShift; ++page)
        nc_.by_page[page].push_back(block_);

    // Link the block's fixed exits: to blocks that exist now, or to stubs
    // that ask for a translation when first taken.
    for (const auto& [field, target] : jumps_) {
        Emitter stub(nc_.free, nc_.mem + kCodeBytes);
        const uint32_t site = uint32_t(nc_.sites.size());
        stub.store_imm(CTX(exit_site), site);
        stub.store_imm(CTX(reason), kLink);
        stub.jmp(nc_.exit_common);
        if (!stub.ok()) {
            full = true;
            nc_.by_start.erase(start_);
            return nullptr;
        }
        nc_.sites.push_back({field, nc_.free, target});
        nc_.free = stub.here();
        auto it = nc_.by_start.find(target);
        if (it != nc_.by_start.end()) {
            Emitter::patch(field, it->second->code);
            it->second->incoming.push_back(site);
        } else {
            Emitter::patch(field, nc_.sites.back().stub);
        }
    }
    nc_.blocks.push_back(std::move(block));
    return block_;
}

// The translated code for the block at vaddr (translating it if need be), or
// nullptr when its first instruction is the interpreter's.
Block* block_at(Machine& m, uint32_t vaddr) {
    NativeCode& nc = *m.native;
    auto it = nc.by_start.find(vaddr);
    if (it != nc.by_start.end()) return it->second;
    if (vaddr - m.mem.PRGOFF >= m.mem.PRGSIZE) return nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool full = false;
        Block* b = Translator(nc, m, vaddr).translate(full);
        if (!full) return b;
        reset_cache(nc);
    }
    return nullptr;
}

void remember(NativeCode& nc, const Block* b) { nc.lookup[slot_of(b->start)] = {b->start, 0, b->code}; }

}  // namespace

bool native_available(const Machine& m) {
    const MemConf& c = m.mem;
    return m.native_enabled && c.prg && c.var && c.prg != c.var && (c.Flag & F_PRGSEP) &&
           c.VARSIZE >= 16 && c.VARSIZE < 0x7FFF0000 && c.PRGSIZE < 0x7FFF0000;
}

void native_run(Machine& m) {
    if (!m.native && !create(m)) {
        m.native_enabled = false;
        return;
    }
    NativeCode& nc = *m.native;
    const MemConf& c = m.mem;
    Context& ctx = nc.ctx;
    const uint32_t ds = m.cpu.S - c.VAROFF;
    const uint32_t rs = m.cpu.R - c.VAROFF;
    if (ds > c.VARSIZE - 4 || rs > c.VARSIZE) return;   // the interpreter's to sort out
    // Translations are made for a budget or none, and for one order of the
    // stacks; the other needs new ones.
    const bool counting = m.budget != 0, r_above = rs >= ds;
    if (nc.counting != counting || nc.r_above != r_above) {
        reset_cache(nc);
        nc.counting = counting;
        nc.r_above = r_above;
    }
    ctx.budget = m.budget;
    ctx.ds = ds;
    ctx.tos = mem_load32(c.var + ds);
    ctx.rs = rs;
    ctx.W = m.cpu.W;
    ctx.IP = m.cpu.IP;

    uint32_t pc = m.cpu.PC;
    for (Block* b = block_at(m, pc); b; ) {
        nc.enter(&ctx, b->code);
        pc = ctx.exit_pc;
        if (ctx.reason == kBail) break;
        if (ctx.reason == kLink) {
            const uint32_t site = ctx.exit_site;
            const uint32_t generation = nc.generation;
            pc = nc.sites[site].target;
            b = block_at(m, pc);
            if (b && nc.generation == generation) {   // a reset drops the old sites
                Emitter::patch(nc.sites[site].field, b->code);
                b->incoming.push_back(site);
            }
        } else {
            b = block_at(m, pc);
            if (b) remember(nc, b);
        }
    }
    m.cpu.PC = pc;
    m.cpu.S = c.VAROFF + ctx.ds;
    m.cpu.R = c.VAROFF + ctx.rs;
    m.cpu.W = ctx.W;
    m.cpu.IP = ctx.IP;
    if (nc.counting) m.budget = ctx.budget;
    if (ctx.ds <= c.VARSIZE - 4) mem_store32(c.var + ctx.ds, ctx.tos);
}

void native_program_written(Machine& m, const uint8_t* p, uint32_t n) {
    if (!m.native || n == 0) return;
    NativeCode& nc = *m.native;
    const MemConf& c = m.mem;
    const auto at = reinterpret_cast<uintptr_t>(p), base = reinterpret_cast<uintptr_t>(c.prg);
    if (at < base || at - base >= c.PRGSIZE) return;
    const uint32_t first = uint32_t(at - base);
    const uint32_t last = first + std::min(n, c.PRGSIZE - first) - 1;
    for (uint32_t page = first >> kPageShift; page <= last >> kPageShift; ++page) {
        auto it = nc.by_page.find(page);
        if (it == nc.by_page.end()) continue;
        for (Block* b : it->second) {
            if (!b->live || b->end - c.PRGOFF <= first || b->start - c.PRGOFF > last) continue;
            b->live = false;
            for (uint32_t site : b->incoming) Emitter::patch(nc.sites[site].field, nc.sites[site].stub);
            b->incoming.clear();
            nc.by_start.erase(b->start);
            LookupSlot& slot = nc.lookup[slot_of(b->start)];
            if (slot.code == b->code) slot = {0xFFFFFFFF, 0, nc.lookup_miss};
        }
        std::erase_if(it->second, [](const Block* b) { return !b->live; });
    }
}

#endif

}  // namespace norvex
