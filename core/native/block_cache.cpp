// The block cache: translated blocks by program address, the links between
// them, the lookup table of dynamic exits, invalidation when program memory
// changes, and the loop that runs translated code.
//
// A block's fixed exits jump to a stub of their own that asks for the
// target's translation; once it exists the exit is patched to jump there
// straight. When the code area is full, every block and link is dropped and
// translation starts again in an empty area.
#include "core/native/native.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

#include "host/interrupt.h"

#if defined(__x86_64__) && defined(__linux__)
#include "core/native/context.h"
#include "core/native/guards.h"
#include "core/native/translator.h"
#define NORVEX_HAS_NATIVE 1
#endif

namespace norvex {

#ifndef NORVEX_HAS_NATIVE

struct NativeCode {};
void NativeCodeDeleter::operator()(NativeCode* n) const { delete n; }
bool native_available(const Machine&) { return false; }
void native_run(Machine&) {}
void native_program_written(Machine&, const uint8_t*, uint32_t) {}
void native_forget(Machine&) {}
uint32_t native_resets(const Machine&) { return 0; }

#else

using namespace native;
using namespace x64;

const LookupSlot* native::missing_table() {
    static const auto table = [] {
        static LookupSlot slots[kLookupSlots];
        for (LookupSlot& s : slots) s = {kNoKey, nullptr};
        return slots;
    }();
    return table;
}

namespace {

constexpr size_t kMinCodeBytes = 4096;
constexpr size_t kMaxCodeBytes = size_t(1) << 30;   // rel32 jumps reach across it
constexpr size_t kBlockRoom = 32 * 1024;            // the room a block starts with
constexpr uint32_t kMaxInstructions = 256;
constexpr uint32_t kPageShift = 8;                  // invalidation granularity: 256 bytes

struct Block {
    uint32_t start = 0, end = 0;   // program addresses [start, end)
    uint8_t* code = nullptr;
    std::vector<ProgramRange> reads;   // folded fetches (TranslatedBlock::reads)
    std::vector<uint32_t> incoming;    // sites linked to this block
    bool live = true;

    // Whether a write to program offsets [first, last] changes what the
    // block was made from.
    bool made_from(uint32_t first, uint32_t last, uint32_t prg_off) const {
        auto meets = [&](const ProgramRange& r) { return r.end > first && r.first <= last; };
        return meets({start - prg_off, end - prg_off}) || std::any_of(reads.begin(), reads.end(), meets);
    }
};

// A fixed exit: its rel32 field points at its own stub until the target is
// translated, then straight at the target.
struct Site {
    uint8_t* field;
    uint8_t* stub;
    uint32_t target;
};

}  // namespace

struct NativeCode {
    NativeCode(size_t bytes, CodeViews views) : area(std::clamp(bytes, kMinCodeBytes, kMaxCodeBytes), views) {}
    ~NativeCode() { watch_interrupt(nullptr); }

    CodeArea area;
    Trampolines tramp;
    Context ctx{};
    LookupSlot lookup[kLookupSlots];
    InterruptWatch watch;
    std::unordered_map<uint32_t, Block*> by_start;
    std::vector<std::unique_ptr<Block>> blocks;
    std::vector<Site> sites;
    std::unordered_map<uint32_t, std::vector<Block*>> by_page;
    uint32_t generation = 0;   // counts resets
    uint32_t resets = 0;       // resets because the area was full
    bool counting = false;     // blocks count their entries against a budget
    bool r_above = true;       // blocks expect the return stack above the data stack
};

void NativeCodeDeleter::operator()(NativeCode* n) const { delete n; }

namespace {

void clear_lookup(NativeCode& nc) {
    for (LookupSlot& s : nc.lookup) s = {kNoKey, nullptr};
}

// Translated code stops at its next loop edge or dynamic exit once an
// interrupt waits.
void prepare_watch(NativeCode& nc) { nc.watch = {&nc.ctx.interrupt, &nc.ctx.lookup, missing_table()}; }

// The entry and exit trampolines at the start of the code area.
bool emit_trampolines(NativeCode& nc) {
    const Room room = nc.area.reserve(256);
    Emitter a(room);
    nc.tramp.enter = reinterpret_cast<void (*)(Context*, const uint8_t*)>(a.here());
    for (Reg r : {RBX, RBP, R12, R13, R14, R15}) a.push(r);
    a.mov64(R14, RDI);
    a.load64(R15, CTX(var));
    a.load(RBX, CTX(ds));
    a.load(R12, CTX(tos));
    a.load(R13, CTX(rs));
    a.load(RBP, CTX(W));
    a.jmp(RSI);

    nc.tramp.exit_common = a.here();
    a.store(CTX(ds), RBX);
    a.store(CTX(tos), R12);
    a.store(CTX(rs), R13);
    a.store(CTX(W), RBP);
    for (Reg r : {R15, R14, R13, R12, RBP, RBX}) a.pop(r);
    a.ret();

    nc.tramp.lookup_miss = a.here();   // eax holds the target
    a.store(CTX(exit_pc), RAX);
    a.store_imm(CTX(reason), kLookup);
    a.jmp(nc.tramp.exit_common);

    if (!room.start || !a.ok()) return false;
    nc.area.commit(a.here());
    nc.area.keep();
    return true;
}

void reset_cache(NativeCode& nc) {
    ++nc.generation;
    nc.by_start.clear();
    nc.blocks.clear();
    nc.sites.clear();
    nc.by_page.clear();
    nc.area.reset();
    clear_lookup(nc);
}

bool create(Machine& m) {
    auto nc = std::unique_ptr<NativeCode, NativeCodeDeleter>(
        new NativeCode(m.native_code_bytes ? m.native_code_bytes : kDefaultCodeBytes,
                       m.native_two_views ? CodeViews::Two : CodeViews::OneIfAllowed));
    if (!nc->area.ok() || !emit_trampolines(*nc)) return false;
    clear_lookup(*nc);
    prepare_watch(*nc);
    nc->ctx.var = m.mem.var;
    nc->ctx.prg = m.mem.prg;
    m.native = std::move(nc);
    return true;
}

// Jumps to a stub that asks for the target's translation, one per exit,
// after the block's code; false when they do not fit in the room.
bool emit_link_stubs(NativeCode& nc, const TranslatedBlock& tb, Room room, uint8_t*& end,
                     std::vector<Site>& sites) {
    Emitter stub({tb.code_end, room.limit, room.write_offset});
    for (const FixedExit& e : tb.exits) {
        uint8_t* at = stub.here();
        stub.store_imm(CTX(exit_site), uint32_t(nc.sites.size() + sites.size()));
        stub.store_imm(CTX(reason), kLink);
        stub.jmp(nc.tramp.exit_common);
        sites.push_back({e.field, at, e.target});
    }
    end = stub.here();
    return stub.ok();
}

void link(NativeCode& nc, uint32_t site, Block* b) {
    if (nc.area.patch_jump(nc.sites[site].field, b->code)) b->incoming.push_back(site);
}

Block* add_block(NativeCode& nc, const MemConf& c, const TranslatedBlock& tb, std::vector<Site>& sites) {
    auto owned = std::make_unique<Block>();
    Block* b = owned.get();
    b->start = tb.start;
    b->end = tb.end;
    b->code = tb.code;
    b->reads = tb.reads;
    nc.blocks.push_back(std::move(owned));
    nc.by_start[b->start] = b;
    auto watch = [&](uint32_t first, uint32_t end) {
        for (uint32_t page = first >> kPageShift; page <= (end - 1) >> kPageShift; ++page) {
            std::vector<Block*>& on_page = nc.by_page[page];
            if (on_page.empty() || on_page.back() != b) on_page.push_back(b);
        }
    };
    watch(b->start - c.PRGOFF, b->end - c.PRGOFF);
    for (const ProgramRange& r : b->reads) watch(r.first, r.end);
    // Each exit to its stub, or straight to a block that exists now.
    for (const Site& s : sites) {
        const uint32_t site = uint32_t(nc.sites.size());
        nc.sites.push_back(s);
        nc.area.patch_jump(s.field, s.stub);
        auto it = nc.by_start.find(s.target);
        if (it != nc.by_start.end()) link(nc, site, it->second);
    }
    return b;
}

// The block at vaddr, translated if need be; nullptr when its first
// instruction is the interpreter's. A block too large for its room is
// translated again with half as many instructions.
Block* block_at(Machine& m, uint32_t vaddr) {
    NativeCode& nc = *m.native;
    const MemConf& c = m.mem;
    auto found = nc.by_start.find(vaddr);
    if (found != nc.by_start.end()) return found->second;
    if (vaddr - c.PRGOFF >= c.PRGSIZE) return nullptr;
    const size_t room_bytes = std::min(kBlockRoom, nc.area.size() / 2);
    for (uint32_t max = kMaxInstructions; max >= 1; max /= 2) {
        Room room = nc.area.reserve(room_bytes);
        if (!room.start) {
            reset_cache(nc);
            ++nc.resets;
            room = nc.area.reserve(room_bytes);
            if (!room.start) return nullptr;
        }
        const TranslationSetting setting{&c, &nc.tramp, nc.counting, nc.r_above, max};
        TranslatedBlock tb;
        const Translation t = translate_block(setting, vaddr, room, tb);
        std::vector<Site> sites;
        uint8_t* end = room.start;
        if (t == Translation::Done && emit_link_stubs(nc, tb, room, end, sites)) {
            nc.area.commit(end);
            return add_block(nc, c, tb, sites);
        }
        nc.area.commit(room.start);
        if (t == Translation::Interpreted) return nullptr;
    }
    return nullptr;
}

void remember(NativeCode& nc, const Block* b) { nc.lookup[slot_of(b->start)] = {b->start, b->code}; }

void drop_block(NativeCode& nc, Block* b) {
    b->live = false;
    for (uint32_t site : b->incoming) nc.area.patch_jump(nc.sites[site].field, nc.sites[site].stub);
    b->incoming.clear();
    nc.by_start.erase(b->start);
    LookupSlot& slot = nc.lookup[slot_of(b->start)];
    if (slot.code == b->code) slot = {kNoKey, nullptr};
}

}  // namespace

bool native_available(const Machine& m) {
    const MemConf& c = m.mem;
    return m.native_enabled && c.prg && c.var && c.prg != c.var && (c.Flag & F_PRGSEP) &&
           (c.harvard() || c.VAROFF + c.VARSIZE - c.PRGOFF >= c.PRGSIZE);   // past the end: no block
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
    // Both stacks in variable memory, the data stack's top cell inside it.
    if (!inside(c.VARSIZE, ds, 4) || rs > c.VARSIZE) return;
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

    ctx.interrupt = 0;
    ctx.lookup = nc.lookup;
    watch_interrupt(&nc.watch);
    uint32_t pc = m.cpu.PC;
    for (Block* b = block_at(m, pc); b && !ctx.interrupt;) {
        nc.tramp.enter(&ctx, b->code);
        pc = ctx.exit_pc;
        if (ctx.reason == kStop) break;
        if (ctx.reason == kLink) {
            const uint32_t site = ctx.exit_site;
            const uint32_t generation = nc.generation;
            pc = nc.sites[site].target;
            b = block_at(m, pc);
            if (b && nc.generation == generation) link(nc, site, b);   // a reset drops the old sites
        } else {
            b = block_at(m, pc);
            if (b) remember(nc, b);
        }
    }
    watch_interrupt(nullptr);
    m.cpu.PC = pc;
    m.cpu.S = c.VAROFF + ctx.ds;
    m.cpu.R = c.VAROFF + ctx.rs;
    m.cpu.W = ctx.W;
    m.cpu.IP = ctx.IP;
    if (nc.counting) m.budget = ctx.budget;
    mem_store32(c.var + ctx.ds, ctx.tos);
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
        for (Block* b : it->second)
            if (b->live && b->made_from(first, last, c.PRGOFF)) drop_block(nc, b);
        std::erase_if(it->second, [](const Block* b) { return !b->live; });
        if (it->second.empty()) nc.by_page.erase(it);
    }
}

void native_forget(Machine& m) {
    if (m.native) reset_cache(*m.native);
}

uint32_t native_resets(const Machine& m) { return m.native ? m.native->resets : 0; }

#endif

}  // namespace norvex
