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
    Assembler a(0, image_header(0xC4, 0x10000, 0x20000000, 0x20010000));
    a.syscall(norvex::Service::BYE);
    try {
        write_file(argv[1], a.finish());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "placeholder_image: %s\n", e.what());
        return 1;
    }
    return 0;
}
