// Small images and scratch files for the tests that run the norvex program
// as a process.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "asm/assembler.h"

namespace norvex::testing {

// A file with the given bytes, removed at the end: in /tmp, or with a
// relative name in the working directory.
struct TempFile {
    std::string path;
    explicit TempFile(const std::string& content = {}, bool relative = false) {
        char name[] = "/tmp/norvex-e2e-XXXXXX";
        const int fd = mkstemp(relative ? name + 5 : name);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, content.data(), content.size()), ssize_t(content.size()));
        close(fd);
        path = relative ? name + 5 : name;
    }
    explicit TempFile(const std::vector<uint8_t>& bytes, bool relative = false)
        : TempFile(std::string(bytes.begin(), bytes.end()), relative) {}
    ~TempFile() { std::remove(path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    std::string read() const {
        std::string s;
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            char buf[65536];
            for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
            std::fclose(f);
        }
        return s;
    }
};

// An absolute path as the name part: quoted, or its slash would be the trace
// prefix.
inline std::string name_arg(const std::string& path) { return "\"" + path + "\""; }

// Harvard, 64 KiB of program memory at 0, 4 KiB of variable memory at
// 0x20000000, starting right after the header.
inline assembler::Assembler small_image() {
    assembler::ImageHeader h;
    h.flags = 0xC0;
    h.px = 0x10000;
    h.v0 = 0x20000000;
    h.vx = 0x20001000;
    h.start = 80;
    return assembler::Assembler(0, h);
}

// LIT 5, DUP, +, BYE
inline std::vector<uint8_t> adder() {
    assembler::Assembler a = small_image();
    a.lit(5);
    a.ops("DUP +");
    a.syscall(Service::BYE);
    return a.finish();
}

// Pops past the end of variable memory: the translation-fault report.
inline std::vector<uint8_t> pop_past_memory() {
    assembler::Assembler a = small_image();
    a.lit(0x20001000);
    a.ops("SP! DROP DROP DROP DROP");
    return a.finish();
}

}  // namespace norvex::testing
