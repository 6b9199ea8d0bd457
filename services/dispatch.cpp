#include "services/dispatch.h"

#include <iterator>

#include "monitor/fault_report.h"
#include "services/clock_terminal.h"
#include "services/control_memory.h"
#include "services/files_serial.h"

namespace norvex {

namespace {

// One list per group, function 0 first: the name the trace line shows and
// the routine, or nullptr for a named slot without a service.
const ServiceEntry kGroup0[] = {
    {"BYE", svc_BYE},   {"DEBUG", svc_DEBUG}, {"GETPAR", svc_GETPAR}, {"IRQOFF", nullptr},
    {"IRQON", nullptr}, {"IRQSET", nullptr},  {"V", nullptr},
};
const ServiceEntry kGroup1[] = {
    {"XINIT", svc_INIT},         {"XALLOC", svc_XALLOC},     {"XRELOC", nullptr},
    {"XFREE", svc_XFREE},        {">X", svc_TOX},            {"P>X", svc_PTOX},
    {"S>X", svc_TOX},            {"R>X", svc_TOX},           {"FLASH-SE", svc_FLASH_SE},
    {"FLASH-SW", svc_FLASH_SW},  {"FLASH-E", svc_FLASH_E},   {"FLASH-W", svc_FLASH_W},
};
const ServiceEntry kGroup2[] = {
    {"CINIT", svc_INIT},        {"SYSTICK", svc_SYSTICK}, {"TIME@", svc_TIMEFETCH},
    {"TIME!", nullptr},         {"DATE@", svc_DATEFETCH}, {"DATE!", nullptr},
    {"WAITMS", svc_WAITMS},
};
const ServiceEntry kGroup3[] = {
    {"TINIT", svc_INIT},        {"KEY", svc_KEY},           {"EMIT", svc_EMIT},
    {"KEY?", svc_KEYQ},         {"EMIT?", svc_EMITQ},       {"ACCEPT", nullptr},
    {"PAGE", svc_PAGE},         {"ATMAX", svc_ATMAX},       {"ATXY?", svc_ATXYQ},
    {"ATXY", svc_ATXY},         {"COLOR@", svc_COLORFETCH}, {"COLOR!", svc_COLORSTORE},
    {"AT@", nullptr},           {"AT!", nullptr},
};
const ServiceEntry kGroup4[] = {
    {"FINIT", svc_INIT},          {"FCREATE", svc_FCREATE},   {"FRENAME", nullptr},
    {"FDELETE", svc_FDELETE},     {"FOPEN", svc_FOPEN},       {"FCLOSE", svc_FCLOSE},
    {"FSIZE@", svc_FSIZEFETCH},   {"FSIZE!", nullptr},        {"FPOS@", svc_FPOSFETCH},
    {"FPOS!", svc_FPOSSTORE},     {"FREAD", svc_FREAD},       {"FWRITE", svc_FWRITE},
    {"FFIRST", nullptr},          {"FNEXT", nullptr},         {"FDIR@", nullptr},
    {"FDIR!", nullptr},           {"FDRV@", nullptr},         {"FDRV!", nullptr},
    {"FFREE", nullptr},           {"FPAR@", svc_FPARFETCH},   {"FPAR!", svc_FPARSTORE},
    {"FCOPY", svc_FCOPY},
};

}  // namespace

const ServiceGroup kServiceGroups[5] = {
    {kGroup0, std::size(kGroup0)}, {kGroup1, std::size(kGroup1)}, {kGroup2, std::size(kGroup2)},
    {kGroup3, std::size(kGroup3)}, {kGroup4, std::size(kGroup4)},
};

const ServiceEntry* service_entry(uint32_t code) {
    const int32_t group = int32_t(code) >> 8;
    const uint32_t function = code & 0xFF;
    if (group < 0 || group > 4) return nullptr;
    const ServiceGroup& g = kServiceGroups[group];
    return function < g.count ? &g.entries[function] : nullptr;
}

ServiceEnd SYSCALL_DISPATCH(Burst& b) {
    // The code is looked at before it is popped: ILLEGALSYS would push it
    // back, so leaving it in place gives the same machine.
    const uint32_t code = b.peek(0);
    const ServiceEntry* e = service_entry(code);
    if (!e || !e->run) {
        Machine& m = b.m;
        const uint8_t* opcode = b.pc - 1;
        m.cpu.R = GETVARADR(m.mem, b.rp);
        m.cpu.S = GETVARADR(m.mem, b.sp);
        m.cpu.PC = b.code.voff + uint32_t(opcode - b.code.lo);
        illegal_opcode_report(m, b.sp, opcode);
    }
    b.pop();
    return e->run(b);
}

}  // namespace norvex
