// Test rigs for the services: a fresh machine running a small program on a
// scripted console, the norvex program run on pipes, and real temporary
// directories. (tests/pty_session.h runs it on a pseudo-terminal.)
//
// Programs are text, as Assembler::words reads it: "100 0 XALLOC DROP 0 C@X".
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "asm/assembler.h"
#include "core/engine.h"
#include "image/startup.h"
#include "host/console.h"
#include "monitor/fault_report.h"
#include "monitor/run_end.h"
#include "services/dispatch.h"

namespace norvex::testing {

using Cells = std::vector<uint32_t>;

// Program memory 0-0x10000 (separate), variable memory 0x20000000-0x20010000
// with 12 guard bytes above; not Harvard.
constexpr uint32_t kPrgEnd = 0x10000, kVar = 0x20000000, kVarEnd = 0x20010000 + 12;
constexpr uint32_t kOutside = 0x90000000;   // in no memory

inline assembler::ImageHeader header(bool shared = false) {
    assembler::ImageHeader h;
    h.flags = shared ? 0 : 0x80;
    h.px = kPrgEnd;
    h.v0 = kVar;
    h.vx = kVarEnd - 12;
    h.start = shared ? kVar + 80 : 80;
    return h;
}

inline std::vector<uint8_t> image(const std::string& program, bool shared = false) {
    assembler::Assembler a(shared ? kVar : 0, header(shared));
    a.words(program);
    return a.finish();
}

// The program runs to a stop through DEBUG (mode DM_STOP), which stores the
// registers, so the stack it leaves can be read.
struct Rig {
    ScriptConsole console;
    Machine m;
    std::vector<uint8_t> bytes;
    uint32_t s0 = 0;

    explicit Rig(const std::string& program, std::string keys = {}, bool shared = false)
        : console(std::move(keys)), bytes(image(program + " 0 1 DEBUG", shared)) {
        m.console = &console;
        STARTUP_BUILTIN(m, "", bytes.data(), uint32_t(bytes.size()));
        s0 = m.cpu.S;
    }

    // Runs and returns the cells left, top first. A fault throws Fault.
    Cells results() {
        do RUNBURST(m);
        while (!(m.DBGMODE & DM_STOP));
        Cells cells;
        for (uint32_t a = m.cpu.S + 4; a != s0; a += 4) cells.push_back(mem_load32(var(a, 4)));
        return cells;
    }
    // Runs a program expected to fault; the report.
    std::string fault() {
        try {
            results();
        } catch (const Fault& f) {
            if (report_fault(m, f).status == kExitFault) return console.output();
        }
        return "(no fault)";
    }

    // Variable and program memory as the image sees it.
    uint8_t* var(uint32_t addr, uint32_t width = 1) { return find_var(m.mem, addr, width); }
    uint8_t* prg(uint32_t addr, uint32_t width = 1) { return find_prg(m.mem, addr, width); }
    static std::string read(const uint8_t* at, uint32_t n) {
        std::string s(n, '\0');
        mem_read(reinterpret_cast<uint8_t*>(s.data()), at, n);
        return s;
    }
    static void write(uint8_t* at, const std::string& s) {
        mem_write(at, reinterpret_cast<const uint8_t*>(s.data()), s.size());
    }
    std::string bytes_at(uint32_t addr, uint32_t n) { return read(var(addr, n), n); }
    std::string prg_at(uint32_t addr, uint32_t n) { return read(prg(addr, n), n); }
    void put(uint32_t addr, const std::string& s) { write(var(addr, uint32_t(s.size())), s); }
    void put_prg(uint32_t addr, const std::string& s) { write(prg(addr, uint32_t(s.size())), s); }
    void put_name(uint32_t addr, const std::string& name) { put(addr, name + '\0'); }
};

struct TempDir {
    std::string path = [] {
        std::string p = std::filesystem::temp_directory_path().string() + "/norvex-XXXXXX";
        return ::mkdtemp(p.data()) ? p : std::string("/nonexistent");
    }();
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
inline void spit(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

struct ProgramRun {
    std::string output;
    int status = -1;   // the exit code, -1 when it did not exit
};

// Writes a program ending in BYE as dir/t.zvk; the argument that names it.
inline std::string image_file(const TempDir& dir, const std::string& program) {
    assembler::write_file(dir / "t.zvk", image(program + " BYE"));
    std::string quoted = "\"";   // quoted: a leading '/' would be the trace prefix
    quoted += dir / "t.zvk";
    quoted += '"';
    return quoted;
}

// Runs the norvex program on a program, standard input and output pipes,
// `input` typed.
inline ProgramRun run_norvex(const TempDir& dir, const std::string& program,
                             const std::string& input = {}) {
    const std::string arg = image_file(dir, program);
    ProgramRun run;
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
        if (::chdir(dir.path.c_str()) == 0) ::execl(NORVEX_BINARY, "norvex", arg.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (::write(in[1], input.data(), input.size()) < 0) run.output = "(no input) ";
    ::close(in[1]);   // small enough for the pipe
    char chunk[4096];
    for (ssize_t got; (got = ::read(out[0], chunk, sizeof chunk)) > 0;)
        run.output.append(chunk, size_t(got));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

}  // namespace norvex::testing
