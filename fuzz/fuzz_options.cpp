// Fuzz target: the command line of norvex (options, trace prefix, image name,
// the rest of the line) and the memory configuration resolved from it and a
// header.
//
// Input: the 80 header bytes (zeros past the input's end), then the argument
// string.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/harness.h"

using namespace norvex;

namespace {

constexpr uint32_t kOptionFlags =
    F_ALIGN | F_ALIGNSET | F_HARVARD | F_HARVSET | F_PRGSEP | F_PRGSET | F_VARSET | F_STARTSET;

void check(bool holds) {
    if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t header[kHeaderBytes];
    fuzz::header_of(data, size, header);
    const std::string_view args =
        size > kHeaderBytes ? std::string_view(reinterpret_cast<const char*>(data) + kHeaderBytes,
                                               size - kHeaderBytes)
                            : std::string_view();

    const CommandLine cl = read_command_line(args);
    check((cl.flags & ~kOptionFlags) == 0);
    check(cl.dbgmode == 0 || cl.dbgmode == DM_TRACE || cl.dbgmode == (DM_TRACE | DM_STEP));
    check(cl.rest <= args.size());
    if (cl.ok) {
        // The name is a piece of the line before the rest; quoted it holds
        // no quote, unquoted no blank.
        check(!cl.name.empty());
        const size_t at = args.substr(0, cl.rest).rfind(cl.name);
        check(at != args.npos);
        check(cl.name.find('"') == cl.name.npos || cl.name.find(' ') == cl.name.npos);
    } else {
        check(cl.name.empty());
    }

    // PARSEHEX stops at the first character that is no hexadecimal digit.
    for (size_t from = 0; from < args.size(); from += 7) {
        size_t pos = from;
        PARSEHEX(args, pos);
        check(pos >= from && pos <= args.size());
        check(pos == args.size() || !std::isxdigit(uint8_t(args[pos])));
    }

    // Resolution takes each setting from the command line when it was given
    // there, else from the header, and reports its five steps in order.
    MemConf c;
    c.Flag = cl.flags;
    c.PRGOFF = cl.prg_off;
    c.PRGSIZE = cl.prg_size;
    c.VAROFF = cl.var_off;
    c.VARSIZE = cl.var_size;
    uint32_t pc = cl.start;
    int steps = 0;
    resolve_config(header, c, pc, [&](int step) { check(step == ++steps); });
    check(steps == 5);
    if (cl.flags & F_VARSET) check(c.VAROFF == cl.var_off && c.VARSIZE == cl.var_size);
    if (cl.flags & F_PRGSET) check(c.PRGOFF == cl.prg_off && c.PRGSIZE == cl.prg_size);
    if (cl.flags & F_STARTSET) check(pc == cl.start);
    if (cl.flags & F_ALIGNSET) check(bool(c.Flag & F_ALIGN) == bool(cl.flags & F_ALIGN));
    if (cl.flags & F_HARVSET) check(bool(c.Flag & F_HARVARD) == bool(cl.flags & F_HARVARD));
    return 0;
}
