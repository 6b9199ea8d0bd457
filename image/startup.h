// Start-up and shutdown: from a command line and an image to a ready machine.
#pragma once

#include <cstdint>
#include <string>

#include "core/machine.h"

namespace norvex {

// A machine that cannot start: the line to show (without its CR LF) and
// whether the run waits for a key before it ends. Start-up prints nothing
// itself; the main loop shows the line.
struct StartupFailure {
    std::string line;
    bool wait_key;
};

// Called once the header is read (step 0) and after each of the five steps
// that resolve the memory configuration (1 to 5), with the machine as far as
// it is built; the monitor shows them in its debug modes.
using StartupShow = void (*)(Machine& m, int step);

// norvex: reads the options, the image file and the rest of the line.
void STARTUP(Machine& m, const std::string& args, StartupShow show = nullptr);
// norvex-rom: STARTUP from the built-in image; the whole argument string goes
// to the image.
void STARTUP(Machine& m, const std::string& args, const uint8_t* image, uint32_t size,
             StartupShow show = nullptr);
// Frees the memories. The caller ends the process.
void SHUTDOWN(Machine& m);

}  // namespace norvex
