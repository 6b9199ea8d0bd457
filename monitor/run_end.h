// How a run ends. Reports and stops throw RunEnd after they have printed
// their text; the main loop catches it, waits for a key where the stop asks
// for one, shuts the machine down and returns the status. Nothing inside the
// simulator calls exit, so tests and fuzzers can run many machines.
#pragma once

namespace norvex {

enum ExitStatus : int {
    kExitOk = 0,       // BYE, ESC
    kExitFault = 1,    // a fault report
    kExitStartup = 2,  // missing image file, unreadable file, memory not available
};

struct RunEnd {
    int status;
    bool wait_key;
};

}  // namespace norvex
