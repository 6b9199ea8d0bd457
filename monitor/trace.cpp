#include "monitor/trace.h"

#include "core/burst.h"
#include "core/engine.h"
#include "monitor/text_output.h"
#include "services/dispatch.h"

namespace norvex {

namespace {

std::string padded(const char* name) {
    std::string s(name);
    s.resize(8, ' ');
    return s;
}

// The three cells at a stack pointer, read from the block it lies in; a cell
// outside that block is shown as dashes.
void show_cells(Machine& m, uint32_t address) {
    const uint8_t* p = GETVARPTR(m, address);
    const Area area = area_of(m.mem, p);
    for (int i = 0; i < 3; ++i) {
        if (i) PRINTSTR(m, "|");
        const uint8_t* cell = p + 4 * i;
        if (area.hi - cell >= 4) PRINTHEX(m, mem_load32(cell), 8);
        else PRINTSTR(m, "--------");
    }
}

// The four operand bytes after the opcode at program address pc, as the
// engine would read them; a byte in no memory shows as an erased byte.
uint32_t operand_after(const Machine& m, uint32_t pc) {
    uint32_t x = 0;
    for (uint32_t i = 0; i < 4; ++i) {
        const uint8_t* b = find_prg(m.mem, pc + 1 + i, 1);
        x |= uint32_t(b ? mem_load8(b) : 0xFF) << (8 * i);
    }
    return x;
}

}  // namespace

std::string mnemonic_column(uint8_t opcode, uint32_t tos) {
    if (opcode >= 64) return "????????";
    if (opcode != uint8_t(Op::SYSCALL)) return padded(kOpInfo[opcode].mnemonic);
    const ServiceEntry* e = service_entry(tos);
    return e ? padded(e->name) : "????????";
}

void TRACELINE(Machine& m) {
    TextBatch line(m);
    const CpuState& r = m.cpu;
    PRINTSTR(m, "\r\n");
    PRINTSTR(m, "\r\nS=");
    PRINTHEX(m, r.S, 8);
    PRINTSTR(m, ":");
    show_cells(m, r.S);
    PRINTSTR(m, "  R=");
    PRINTHEX(m, r.R, 8);
    PRINTSTR(m, ":");
    show_cells(m, r.R);
    PRINTSTR(m, " ");
    PRINTSTR(m, "\r\n");
    PRINTSTR(m, "IP=");
    PRINTHEX(m, r.IP, 8);
    PRINTSTR(m, " W=");
    PRINTHEX(m, r.W, 8);
    PRINTSTR(m, " PC=");
    PRINTHEX(m, r.PC, 8);
    PRINTSTR(m, " ");
    const uint8_t opcode = mem_load8(GETPRGPTR(m, r.PC));
    PRINTHEX(m, opcode, 2);
    PRINTSTR(m, " ");
    if (has_operand(opcode)) {
        PRINTHEX(m, operand_after(m, r.PC), 8);
        PRINTSTR(m, " ");
    } else {
        PRINTSTR(m, "         ");
    }
    std::string column;
    if (opcode == uint8_t(Op::SYSCALL)) {
        // The service code is the top cell; none is readable outside the block.
        const uint8_t* top = GETVARPTR(m, r.S);
        column = area_of(m.mem, top).hi - top >= 4 ? mnemonic_column(opcode, mem_load32(top)) : "????????";
    } else {
        column = mnemonic_column(opcode, 0);
    }
    PRINTSTR(m, column);
    PRINTSTR(m, " ");
}

}  // namespace norvex
