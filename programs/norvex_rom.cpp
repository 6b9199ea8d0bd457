// norvex-rom: runs the built-in image; the whole argument string goes to it.
#include <cstdint>
#include <string>

#include "image/startup.h"
#include "host/posix_console.h"
#include "monitor/run_control.h"
#include "monitor/startup_display.h"
#include "programs/arguments.h"

namespace norvex {
extern const uint32_t BUILTIN_IMAGE_SIZE;
extern const uint8_t BUILTIN_IMAGE[];
}  // namespace norvex

int main(int argc, char** argv) {
    const std::string args = norvex::joined_arguments(argc, argv);
    norvex::PosixConsole console;
    norvex::Machine m;
    m.console = &console;
    return norvex::MAINLOOP(m, [&](norvex::Machine& mm) {
        norvex::STARTUP(mm, args, norvex::BUILTIN_IMAGE, norvex::BUILTIN_IMAGE_SIZE,
                                 norvex::show_startup);
    });
}
