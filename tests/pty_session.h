// Runs a real program on a pseudo-terminal: scripted keys in, exact output
// bytes out, exit status, and the terminal's modes as the program left them.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <string>
#include <vector>

namespace norvex::testing {

class PtySession {
public:
    // Starts program with args; its standard input, output and error are the
    // terminal, unless stdin_file is given (then standard input is that file).
    // The window has cols columns and 24 rows.
    PtySession(const std::string& program, const std::vector<std::string>& args,
               const std::string& stdin_file = {}, unsigned short cols = 80);
    ~PtySession();
    PtySession(const PtySession&) = delete;
    PtySession& operator=(const PtySession&) = delete;

    // Collects output until it contains text (true) or the time runs out.
    bool wait_for(const std::string& text, int timeout_ms = 10000);
    void send(const std::string& keys);
    // Waits for the end: the exit status, 128 + signal for a signal, or -1
    // when the program is still running after the timeout (it is then killed).
    int wait_exit(int timeout_ms = 10000);
    void signal(int sig);
    // The terminal's foreground process group (a job a shell started).
    pid_t foreground_group() const;

    const std::string& output() const { return output_; }
    // The terminal's modes now (as the program left them, after it ended).
    struct termios modes() const;
    // The modes the terminal had before the program started.
    const struct termios& initial_modes() const { return initial_; }

private:
    void drain(int timeout_ms);

    int master_ = -1;
    pid_t pid_ = -1;
    int status_ = -1;
    std::string output_;
    struct termios initial_{};
};

// True when two sets of terminal modes agree on everything a program changes.
bool same_modes(const struct termios& a, const struct termios& b);

}  // namespace norvex::testing
