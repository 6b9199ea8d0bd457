// Builds the placeholder built-in image: it says that no system is built in
// and stops. Usage: placeholder_image OUTPUT
#include <cstdio>
#include <exception>

#include "asm/assembler.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: placeholder_image OUTPUT\n");
        return 2;
    }
    using namespace norvex::assembler;
    ImageHeader h;
    h.flags = 0xC4;
    h.p0 = 0;
    h.px = 0x10000;
    h.v0 = 0x20000000;
    h.vx = 0x20010000;
    h.start = 80;
    Assembler a(0, h);
    a.syscall(norvex::Service::BYE);
    try {
        write_file(argv[1], a.finish());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "placeholder_image: %s\n", e.what());
        return 1;
    }
    return 0;
}
