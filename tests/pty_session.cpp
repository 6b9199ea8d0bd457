#include "tests/pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <stdexcept>

namespace norvex::testing {

namespace {

// Programs run slower under an emulator (a cross build's tests): every
// time-out is this many times longer there.
#ifndef NORVEX_TEST_TIME_SCALE
#define NORVEX_TEST_TIME_SCALE 1
#endif
constexpr int64_t kTimeScale = NORVEX_TEST_TIME_SCALE;

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

PtySession::PtySession(const std::string& program, const std::vector<std::string>& args,
                       const std::string& stdin_file, unsigned short cols) {
    int slave = -1;
    struct winsize size{24, cols, 0, 0};
    if (openpty(&master_, &slave, nullptr, nullptr, &size) != 0) throw std::runtime_error("openpty");
    tcgetattr(slave, &initial_);
    pid_ = fork();
    if (pid_ == 0) {
        setsid();
        ioctl(slave, TIOCSCTTY, 0);
        int in = slave;
        if (!stdin_file.empty()) in = open(stdin_file.c_str(), O_RDONLY);
        dup2(in, 0);
        dup2(slave, 1);
        dup2(slave, 2);
        close(master_);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(slave);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtySession::~PtySession() {
    if (status_ < 0 && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
}

void PtySession::drain(int timeout_ms) {
    struct pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return;
    char buf[4096];
    for (;;) {
        const ssize_t got = read(master_, buf, sizeof buf);
        if (got <= 0) break;
        output_.append(buf, size_t(got));
    }
}

bool PtySession::wait_for(const std::string& text, int timeout_ms) {
    const int64_t end = now_ms() + timeout_ms * kTimeScale;
    while (output_.find(text) == std::string::npos) {
        const int64_t left = end - now_ms();
        if (left <= 0) return false;
        drain(int(std::min<int64_t>(left, 50)));
    }
    return true;
}

void PtySession::send(const std::string& keys) {
    // Give the program time to reach its key read, so that a flush of pending
    // input (the key wait of a report) cannot swallow these keys.
    usleep(100 * 1000);
    if (write(master_, keys.data(), keys.size()) != ssize_t(keys.size()))
        throw std::runtime_error("write to pty");
}

int PtySession::wait_exit(int timeout_ms) {
    const int64_t end = now_ms() + timeout_ms * kTimeScale;
    while (status_ < 0) {
        int raw = 0;
        const pid_t done = waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (now_ms() > end) return -1;
        drain(20);
    }
    drain(0);
    return status_;
}

void PtySession::signal(int sig) { kill(pid_, sig); }

pid_t PtySession::foreground_group() const { return tcgetpgrp(master_); }

struct termios PtySession::modes() const {
    struct termios t{};
    tcgetattr(master_, &t);
    return t;
}

bool same_modes(const struct termios& a, const struct termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
           a.c_cflag == b.c_cflag && a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

}  // namespace norvex::testing
