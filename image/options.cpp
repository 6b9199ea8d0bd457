#include "image/options.h"

#include "core/machine.h"

namespace norvex {

namespace {

char upper(char ch) { return ch >= 'a' && ch <= 'z' ? char(ch - 'a' + 'A') : ch; }

}  // namespace

uint32_t PARSEHEX(std::string_view s, size_t& pos) {
    uint32_t value = 0;
    for (; pos < s.size(); ++pos) {
        const char ch = upper(s[pos]);
        uint32_t digit;
        if (ch >= '0' && ch <= '9') digit = uint32_t(ch - '0');
        else if (ch >= 'A' && ch <= 'F') digit = uint32_t(ch - 'A' + 10);
        else break;
        value = (value << 4) | digit;
    }
    return value;
}

CommandLine read_command_line(std::string_view s) {
    CommandLine cl;
    size_t pos = 0;
    // "start.size" of +P and +V; false when the "." is missing.
    auto range = [&](uint32_t& start, uint32_t& size) {
        start = PARSEHEX(s, pos);
        if (pos >= s.size() || s[pos] != '.') return false;
        ++pos;
        size = PARSEHEX(s, pos);
        return true;
    };

    // Options, up to the first character of the name part.
    for (;;) {
        if (pos >= s.size()) return cl;
        const char ch = s[pos];
        if (ch == ' ') {
            ++pos;
            continue;
        }
        if (ch != '+' && ch != '-') break;
        if (pos + 1 >= s.size()) return cl;
        const char letter = upper(s[pos + 1]);
        if (ch == '+') {
            if (letter == 'A') cl.flags |= F_ALIGN | F_ALIGNSET;
            else if (letter == 'H') cl.flags |= F_HARVARD | F_HARVSET;
            else if (letter == 'P' || letter == 'V') {
                pos += 2;
                const bool prg = letter == 'P';
                if (!range(prg ? cl.prg_off : cl.var_off, prg ? cl.prg_size : cl.var_size)) return cl;
                cl.flags |= prg ? (F_PRGSEP | F_PRGSET) : F_VARSET;
                continue;
            } else if (letter == 'S') {
                pos += 2;
                cl.start = PARSEHEX(s, pos);
                cl.flags |= F_STARTSET;
                continue;
            } else {
                ++pos;  // the letter starts the name part, as written
                break;
            }
        } else {
            if (letter == 'A') cl.flags = (cl.flags & ~F_ALIGN) | F_ALIGNSET;
            else if (letter == 'H') cl.flags = (cl.flags & ~F_HARVARD) | F_HARVSET;
            else if (letter == 'P') cl.flags = (cl.flags & ~F_PRGSEP) | F_PRGSET;
            else {
                pos += 2;  // any other letter is dropped
                break;
            }
        }
        pos += 2;
    }

    // Name part.
    while (pos < s.size() && s[pos] == ' ') ++pos;
    if (pos >= s.size()) return cl;
    if (s[pos] == '\\' || s[pos] == '/') {
        cl.dbgmode = s[pos] == '\\' ? (DM_TRACE | DM_STEP) : DM_TRACE;
        ++pos;
    }
    char terminator = ' ';
    if (pos < s.size() && s[pos] == '"') {
        terminator = '"';
        ++pos;
    }
    const size_t end = s.find(terminator, pos);
    if (end == std::string_view::npos) {
        cl.name = std::string(s.substr(pos));
        cl.rest = s.size();
    } else {
        cl.name = std::string(s.substr(pos, end - pos));
        cl.rest = end + 1;
    }
    cl.ok = !cl.name.empty();
    return cl;
}

}  // namespace norvex
