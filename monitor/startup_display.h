// The start-up display of the debug modes: the header's bytes, then the
// memory configuration line by line as start-up resolves it.
#pragma once

#include "core/machine.h"

namespace norvex {

// A StartupShow (image/startup.h): prints step 0..5 when a debug mode is on.
void show_startup(Machine& m, int step);

}  // namespace norvex
