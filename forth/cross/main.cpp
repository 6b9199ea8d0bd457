// forth-cross: compiles the kernel's Forth source into a kernel image.
// Usage: forth-cross -o IMAGE [--map MAP] SOURCE...
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "forth/cross/cross.h"

int main(int argc, char** argv) {
    std::string output, map;
    std::vector<std::string> sources;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-o" && i + 1 < argc) output = argv[++i];
        else if (a == "--map" && i + 1 < argc) map = argv[++i];
        else sources.push_back(a);
    }
    if (output.empty() || sources.empty()) {
        std::fprintf(stderr, "usage: forth-cross -o IMAGE [--map MAP] SOURCE...\n");
        return 2;
    }
    try {
        norvex::forth::CrossCompiler cross;
        for (const std::string& s : sources) cross.compile_file(s);
        norvex::assembler::write_file(output, cross.image());
        if (!map.empty()) {
            std::ofstream out(map);
            out << cross.symbol_map();
            if (!out) throw norvex::forth::CrossError("cannot write " + map);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "forth-cross: %s\n", e.what());
        std::remove(output.c_str());
        return 1;
    }
    return 0;
}
