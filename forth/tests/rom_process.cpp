#include "forth/tests/rom_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace norvex::forth {

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input, const std::string& cwd) {
    std::signal(SIGPIPE, SIG_IGN);   // a program that stops reading early
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    ProcessResult r;
    size_t written = 0;
    int to_child = in[1];
    // Never blocked in a write while the program waits for its output to be read.
    fcntl(to_child, F_SETFL, O_NONBLOCK);
    if (input.empty()) {
        close(to_child);
        to_child = -1;
    }
    for (;;) {
        struct pollfd fds[2] = {{out[0], POLLIN, 0}, {to_child, POLLOUT, 0}};
        if (poll(fds, to_child >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (to_child >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t n = write(to_child, input.data() + written, input.size() - written);
            if (n > 0) written += size_t(n);
            if ((n < 0 && errno != EAGAIN) || written == input.size()) {
                close(to_child);
                to_child = -1;
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[4096];
            const ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            r.output.append(buf, size_t(n));
        }
    }
    if (to_child >= 0) close(to_child);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

TempDir::TempDir() {
    char name[] = "/tmp/norvex-forth-XXXXXX";
    if (!mkdtemp(name)) throw std::runtime_error("mkdtemp");
    path = name;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& text) const {
    const std::filesystem::path p = std::filesystem::path(path) / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream f(std::filesystem::path(path) / name, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace norvex::forth
