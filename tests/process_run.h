// Scratch files and directories, and the norvex program run as a process
// on pipes. (tests/pty_session.h runs it on a pseudo-terminal.)
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "asm/assembler.h"
#include "tests/images.h"

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

// A fresh directory, removed with all it holds at the end.
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

// Writes a program text ending in BYE as dir/t.zvk (split layout); the
// argument that names it.
inline std::string image_file(const TempDir& dir, const std::string& program) {
    assembler::write_file(dir / "t.zvk", text_image(program + " BYE"));
    return name_arg(dir / "t.zvk");
}

// Runs the norvex program on a program text, standard input and output
// pipes, `input` typed.
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
