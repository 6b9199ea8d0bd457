// Runs the norvex program on an image file, as a user would: standard input
// from a string, standard output collected, in a given working directory.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "asm/assembler.h"

namespace norvex::testing {

struct ProgramRun {
    std::string output;
    int status = -1;   // exit code, or -1 when it did not exit normally
};

inline ProgramRun run_norvex(const std::string& image_file, const std::string& input,
                             const std::string& cwd) {
    ProgramRun run;
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::close(in[0]);
        ::close(in[1]);
        ::close(out[0]);
        ::close(out[1]);
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        ::execl(NORVEX_BINARY, "norvex", image_file.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    // The input is small: it fits the pipe, so writing it first cannot block.
    if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0) run.output = "(no input)";
    ::close(in[1]);
    char chunk[4096];
    for (ssize_t got; (got = ::read(out[0], chunk, sizeof chunk)) != 0;) {
        if (got < 0) break;
        run.output.append(chunk, size_t(got));
    }
    ::close(out[0]);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
    return run;
}

}  // namespace norvex::testing
