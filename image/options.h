// The command line of norvex: options, trace prefix, image name, and the
// rest of the line for the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace norvex {

struct CommandLine {
    bool ok = false;          // false: the missing-file stop
    uint32_t flags = 0;       // F_ bits the options set
    uint32_t prg_off = 0, prg_size = 0;
    uint32_t var_off = 0, var_size = 0;
    uint32_t start = 0;
    uint8_t dbgmode = 0;      // from a trace prefix
    std::string name;
    size_t rest = 0;          // offset of the rest of the line in the argument string
};

// Reads a hexadecimal number at pos; leaves pos on the first non-digit.
uint32_t PARSEHEX(std::string_view s, size_t& pos);

CommandLine read_command_line(std::string_view args);

}  // namespace norvex
