#include "monitor/startup_display.h"

#include "monitor/text_output.h"

namespace norvex {

namespace {

void show_header(Machine& m) {
    PRINTSTR(m, "\r\nNorvex by Tamrel");
    PRINTSTR(m, "\r\n============================");
    PRINTSTR(m, "\r\nHeader of zvk-File: ");
    PRINTSTR(m, "\r\n");
    for (uint32_t line = 0; line < 5; ++line) {
        DUMPLINE(m, m.header_addr + 16 * line);
        PRINTSTR(m, "\r\n");
    }
}

// One memory of the configuration: the label, then "offset - $size" in hex.
void show_range(Machine& m, const char* label, uint32_t offset, uint32_t size) {
    PRINTSTR(m, label);
    PRINTHEX(m, offset, 8);
    PRINTSTR(m, " - $");
    PRINTHEX(m, size, 8);
}

}  // namespace

void show_startup(Machine& m, int step) {
    if (!(m.DBGMODE & kDbgMask)) return;
    TextBatch display(m);
    const MemConf& c = m.mem;
    switch (step) {
    case 0:
        show_header(m);
        break;
    case 1:
        show_range(m, "\r\nFlash   : $", c.PRGOFF, c.PRGSIZE);
        break;
    case 2:
        show_range(m, "\r\nRAM     : $", c.VAROFF, c.VARSIZE);
        break;
    case 3:
        PRINTSTR(m, "\r\nHarvard : ");
        PRINTHEX(m, c.Flag & F_HARVARD, 8);
        break;
    case 4:
        PRINTSTR(m, "\r\nAlign   : ");
        PRINTHEX(m, c.Flag & F_ALIGN, 8);
        break;
    case 5:
        PRINTSTR(m, "\r\nStart   : $");
        PRINTHEX(m, m.cpu.PC, 8);
        PRINTSTR(m, "\r\n");
        break;
    }
}

}  // namespace norvex
