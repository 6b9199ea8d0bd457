// Fuzz target: an image and a command line, through start-up and a run of
// bounded length, with keys from the input; as norvex (the image is the file
// "i" in the scratch directory) or as norvex-rom (the image built in).
//
// Input: a mode byte, the argument string up to a NUL, the keys up to a NUL,
// then the image's bytes. Mode bits: 1 the interpreter alone, 2 norvex-rom's
// start-up, 4 a terminal of 80 x 24 as the console.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/harness.h"
#include "image/startup.h"
#include "host/console.h"
#include "testing/script_console.h"
#include "monitor/run_control.h"
#include "monitor/startup_display.h"
#include "monitor/run_end.h"

using namespace norvex;

namespace {

bool exists_and_is_not_a_directory(const std::string& name) {
    struct stat st;
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::enter_sandbox(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return -1;
    const uint8_t mode = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string args(fuzz::field(rest));
    const std::string keys(fuzz::field(rest));
    const uint8_t* image = fuzz::image_bytes(rest);
    const uint32_t image_size = uint32_t(rest.size());
    const bool builtin = mode & 2;

    uint8_t header[kHeaderBytes];
    fuzz::header_of(image, image_size, header);
    if (builtin) {
        if (!fuzz::memory_fits(header, nullptr)) return -1;
    } else {
        // Only the image file may be loaded: any other file would bring a
        // header the input does not choose. It is written first, so that
        // another name for it ("./i") is refused too.
        std::ofstream("i", std::ios::binary).write(reinterpret_cast<const char*>(image), image_size);
        const CommandLine cl = read_command_line(args);
        if (cl.ok && cl.name == "i" && !fuzz::memory_fits(header, &cl)) return -1;
        if (cl.ok && cl.name != "i" && exists_and_is_not_a_directory(cl.name)) return -1;
    }

    ScriptConsole console(keys);
    if (mode & 4) console.set_screen(80, 24);
    Machine m;
    m.console = &console;
    m.native_enabled = !(mode & 1);
    fuzz::bound(m);
    const int status = MAINLOOP(m, [&](Machine& mm) {
        if (builtin) STARTUP(mm, args, image, image_size, show_startup);
        else STARTUP(mm, args, show_startup);
    });
    // A report or stop ends with its status; DEBUG's exit request with any byte.
    if (status < 0 || status > 255) __builtin_trap();
    fuzz::clear_scratch();
    return 0;
}
