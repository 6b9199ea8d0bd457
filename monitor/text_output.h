// The simulator's text output: fragments written in order to the console,
// which may keep them until a flush (see Console).
#pragma once

#include <cstdint>
#include <string_view>

#include "core/machine.h"

namespace norvex {

// Writes the bytes of s (up to, not including, a NUL) to standard output.
void PRINTSTR(Machine& m, std::string_view s);
// Writes the low 4 * digits bits of value as upper-case hexadecimal.
void PRINTHEX(Machine& m, uint32_t value, int digits);
// Writes the 32-bit host address and the 16 bytes found there.
void DUMPLINE(Machine& m, uint32_t host_address);
// Discards pending input, then waits for one key (or the end of input).
void WAITKEY(Machine& m);

// The text written while a TextBatch lives goes to a terminal in one
// piece, when the batch ends: also when a fault report ends the run in
// the middle of it, so the partial text stays before the report.
class TextBatch {
public:
    explicit TextBatch(Machine& m);
    ~TextBatch();
    TextBatch(const TextBatch&) = delete;
    TextBatch& operator=(const TextBatch&) = delete;

private:
    Machine& m_;
};

}  // namespace norvex
