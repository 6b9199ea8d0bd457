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
        PRINTSTR(m, "\r\nFlash   : $");
        PRINTHEX(m, c.PRGOFF, 8);
        PRINTSTR(m, " - $");
        PRINTHEX(m, c.PRGSIZE, 8);
        break;
    case 2:
        PRINTSTR(m, "\r\nRAM     : $");
        PRINTHEX(m, c.VAROFF, 8);
        PRINTSTR(m, " - $");
        PRINTHEX(m, c.VARSIZE, 8);
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
