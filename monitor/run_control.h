// The main loop: start-up, then bursts of the engine alternating with the
// monitor (break check, trace line, stop, single-step keys).
#pragma once

#include <functional>

#include "core/machine.h"

namespace norvex {

// Runs the machine from start-up to its end and returns the exit status.
// `startup` builds the machine (STARTUP, from an image file or the built-in image).
int MAINLOOP(Machine& m, const std::function<void(Machine&)>& startup);

// Monitor keys.
enum MonitorKey : int {
    KEY_ESC = 0x1B,
    KEY_CR = 0x0D,
    KEY_STEP_OVER = 's',
    KEY_RUN_TO_RETURN = 'u',
};

}  // namespace norvex
