#include "services/dispatch.h"

#include <array>
#include <iterator>

#include "services/clock_terminal.h"
#include "services/control_memory.h"
#include "services/files_serial.h"

namespace norvex {

namespace {

constexpr ServiceFn none = nullptr;

constexpr ServiceEntry kTable[] = {
#define SERVICE(code, Name, name, handler) {code, name, handler},
#include "services/services.def"
#undef SERVICE
};

constexpr uint32_t kGroups = 5;

// Each group's functions run from 0 without a gap, groups in order: the
// index of a code in the table is its group's first index plus its function.
constexpr bool table_is_dense() {
    for (size_t i = 1; i < std::size(kTable); ++i) {
        const uint32_t prev = kTable[i - 1].code, code = kTable[i].code;
        const bool next_function = code == prev + 1;
        const bool next_group = (code & 0xFF) == 0 && (code >> 8) == (prev >> 8) + 1;
        if (!next_function && !next_group) return false;
    }
    return kTable[0].code == 0 && (kTable[std::size(kTable) - 1].code >> 8) == kGroups - 1;
}
static_assert(table_is_dense(), "services.def: each group runs from function 0 without a gap");

struct GroupSpan {
    uint32_t first;
    uint32_t count;
};

constexpr std::array<GroupSpan, kGroups> group_spans() {
    std::array<GroupSpan, kGroups> spans{};
    for (uint32_t i = 0; i < std::size(kTable); ++i) {
        GroupSpan& g = spans[kTable[i].code >> 8];
        if (g.count++ == 0) g.first = i;
    }
    return spans;
}
constexpr std::array<GroupSpan, kGroups> kGroupSpans = group_spans();

}  // namespace

const std::span<const ServiceEntry> kServices{kTable};

const ServiceEntry* service_entry(uint32_t code) {
    const uint32_t group = code >> 8;
    const uint32_t function = code & 0xFF;
    if (group >= kGroups) return nullptr;
    const GroupSpan& g = kGroupSpans[group];
    return function < g.count ? &kTable[g.first + function] : nullptr;
}

const ServiceEntry* service_named(std::string_view name) {
    for (const ServiceEntry& e : kTable)
        if (name == e.name) return &e;
    return nullptr;
}

ServiceEnd dispatch_syscall(Burst& b) {
    // The code is looked at before it is popped: the illegal-opcode stop
    // reports the stack with the code still on it.
    const uint32_t code = b.peek(0);
    const ServiceEntry* e = service_entry(code);
    if (!e || !e->run) {
        const uint8_t* opcode = b.pc - 1;
        b.store_registers(opcode);
        fault_stop(FaultKind::IllegalOpcode, b.sp, opcode);
    }
    b.pop();
    const Ior ior = e->run(b);
    if (ior.leaves_burst()) return ServiceEnd::LeaveBurst;
    b.push(ior.value());
    return ServiceEnd::Continue;
}

}  // namespace norvex
