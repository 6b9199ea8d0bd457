// Start-up and shutdown: from a command line and an image to a ready machine.
#pragma once

#include <cstdint>
#include <string>

#include "core/machine.h"

namespace norvex {

// norvex: reads the options, the image file and the rest of the line.
void STARTUP(Machine& m, const std::string& args);
// norvex-rom: the built-in image; the whole argument string goes to the image.
void STARTUP_BUILTIN(Machine& m, const std::string& args, const uint8_t* image, uint32_t size);
// Frees the memories. The caller ends the process.
void SHUTDOWN(Machine& m);

}  // namespace norvex
