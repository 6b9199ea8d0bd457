// norvex IMAGE: runs an image file, with memory options and trace prefixes.
#include <string>

#include "image/startup.h"
#include "host/posix_console.h"
#include "monitor/run_control.h"
#include "monitor/startup_display.h"
#include "programs/arguments.h"

int main(int argc, char** argv) {
    const std::string args = norvex::joined_arguments(argc, argv);
    norvex::PosixConsole console;
    norvex::Machine m;
    m.console = &console;
    return norvex::MAINLOOP(m, [&](norvex::Machine& mm) { norvex::STARTUP(mm, args, norvex::show_startup); });
}
