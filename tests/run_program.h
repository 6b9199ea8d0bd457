// Runs the norvex program on an image file, as a user would: standard input
// from a string, standard output collected, in a given working directory.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

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

// Runs norvex on a pseudo-terminal of cols x rows, as a terminal would:
// `answer` is called with everything output so far after every read and
// returns bytes to type (a reply to a cursor report request, say).
inline ProgramRun run_norvex_on_pty(const std::string& image_file, const std::string& cwd,
                                    uint16_t cols, uint16_t rows,
                                    const std::function<std::string(const std::string&)>& answer) {
    ProgramRun run;
    struct winsize ws{};
    ws.ws_col = cols;
    ws.ws_row = rows;
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, &ws);
    if (pid < 0) return run;
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        ::execl(NORVEX_BINARY, "norvex", image_file.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    char chunk[4096];
    for (;;) {
        struct pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) break;   // a generous bound against a hang
        const ssize_t got = ::read(master, chunk, sizeof chunk);
        if (got <= 0) break;   // EIO once the program has ended
        run.output.append(chunk, size_t(got));
        const std::string reply = answer(run.output);
        if (!reply.empty() && ::write(master, reply.data(), reply.size()) < 0) break;
    }
    ::close(master);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
    return run;
}

}  // namespace norvex::testing
