// Trace benchmark: `norvex /IMAGE > FILE`, the whole run traced into a file.
// The image counts a loop down and stops; every instruction is one trace
// line (its stack line and instruction line). Reports trace lines per
// second and the bytes written, as the median of the runs, and checks that
// the file holds one trace line per instruction plus the start-up display.
//
// Usage: trace_bench NORVEX [runs] [iterations]
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "asm/assembler.h"

namespace {

using norvex::Op;
using norvex::assembler::Assembler;

// LIT n; loop: LIT 1, -, DUP, 0BRANCH done, BRANCH loop; done: BYE.
std::vector<uint8_t> countdown(uint32_t iterations, uint64_t& instructions) {
    norvex::assembler::ImageHeader h;
    h.flags = 0xC0;
    h.px = 0x10000;
    h.v0 = 0x20000000;
    h.vx = 0x20001000;
    h.start = 80;
    Assembler a(0, h);
    auto loop = a.label();
    auto done = a.label();
    a.lit(iterations);
    a.bind(loop);
    a.lit(1);
    a.op(Op::MINUS);
    a.op(Op::DUP);
    a.zbranch(done);
    a.branch(loop);
    a.bind(done);
    a.syscall(norvex::Service::BYE);
    // LIT; 5 per iteration but the last, which leaves at 0BRANCH; LIT and
    // SYSCALL of BYE; the last trace line shows BYE once more.
    instructions = 1 + uint64_t(iterations) * 5 - 1 + 2 + 1;
    return a.finish();
}

struct Result {
    double seconds = 0;
    long bytes = 0;
    long lines = 0;
};

Result traced_run(const std::string& norvex, const std::string& image, const std::string& out) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int to = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(to, 1);
        const std::string arg = "/" + image;
        execl(norvex.c_str(), norvex.c_str(), arg.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Result r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "trace_bench: norvex failed (status %d)\n", status);
        std::exit(1);
    }
    std::FILE* f = std::fopen(out.c_str(), "rb");
    char buf[1 << 16];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) {
        r.bytes += long(n);
        r.lines += std::count(buf, buf + n, 'W');   // "IP=... W=..." once per trace line
    }
    std::fclose(f);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: trace_bench NORVEX [runs] [iterations]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const uint32_t iterations = argc > 3 ? uint32_t(std::atol(argv[3])) : 200000;
    char dir[] = "/tmp/norvex-trace-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string image = std::string(dir) + "/countdown.zvk";
    const std::string out = std::string(dir) + "/trace.txt";
    uint64_t instructions = 0;
    norvex::assembler::write_file(image, countdown(iterations, instructions));

    std::vector<double> seconds;
    Result r;
    for (int i = 0; i < runs; ++i) {
        r = traced_run(argv[1], image, out);
        if (uint64_t(r.lines) != instructions) {
            std::fprintf(stderr, "trace_bench: %ld trace lines, expected %llu\n", r.lines,
                         static_cast<unsigned long long>(instructions));
            return 1;
        }
        seconds.push_back(r.seconds);
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    std::printf("trace into a file: %ld trace lines (%ld bytes) in %.3f s (median of %d): "
                "%.0f trace lines/s, %.1f MB/s\n",
                r.lines, r.bytes, median, runs, double(r.lines) / median, double(r.bytes) / median / 1e6);
    std::remove(image.c_str());
    std::remove(out.c_str());
    rmdir(dir);
    return 0;
}
