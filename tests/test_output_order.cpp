// Output into files and pipes is kept and written in large blocks: the real
// norvex binary must still deliver every byte, in order, at every way out
// (BYE, ESC, fault reports, signals), before it waits for input, and before
// the image reads or writes a file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "asm/assembler.h"
#include "tests/process_run.h"
#include "tests/pty_session.h"

namespace norvex {
namespace {

using assembler::Assembler;
using testing::adder;
using testing::harvard_image;
using testing::name_arg;
using testing::pop_past_memory;
using testing::TempFile;

// The bytes a program wrote to a terminal whose input was not a terminal
// (so not switched to raw mode): the terminal put a CR before every LF.
std::string as_written(const std::string& shown) {
    std::string s;
    for (size_t i = 0; i < shown.size(); ++i)
        if (!(shown[i] == '\r' && i + 1 < shown.size() && shown[i + 1] == '\n')) s += shown[i];
    return s;
}

// norvex with standard output into a pipe (or a file) and standard input
// from a pipe (or a file).
class PipedRun {
public:
    PipedRun(const std::vector<std::string>& args, const std::string& stdin_file = {},
             const std::string& stdout_file = {}) {
        int in[2], out[2];
        EXPECT_EQ(pipe(in), 0);
        EXPECT_EQ(pipe(out), 0);
        pid_ = fork();
        if (pid_ == 0) {
            const int i = stdin_file.empty() ? in[0] : open(stdin_file.c_str(), O_RDONLY);
            const int o = stdout_file.empty() ? out[1] : open(stdout_file.c_str(), O_WRONLY | O_TRUNC);
            dup2(i, 0);
            dup2(o, 1);
            dup2(o, 2);
            close(in[1]);
            close(out[0]);
            std::vector<char*> argv{const_cast<char*>(NORVEX_BINARY)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(NORVEX_BINARY, argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_fd_ = out[0];
    }
    ~PipedRun() {
        if (status_ == kRunning) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (input_ >= 0) close(input_);
        close(output_fd_);
    }

    // Reads the pipe until it holds text (true) or the time runs out.
    bool wait_for(const std::string& text, int timeout_ms = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (output_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !read_some(int(left.count()))) return false;
        }
        return true;
    }
    void send(const std::string& keys) {
        EXPECT_EQ(write(input_, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    void signal(int sig) { kill(pid_, sig); }
    // Waits until the program waits to write into a full pipe (the kernel's
    // wait channel; where it names none, until the program sleeps, which a
    // program that never waits otherwise does only there); false after 10 s.
    bool wait_until_blocked() {
        const std::string proc = "/proc/" + std::to_string(pid_);
        for (int i = 0; i < 1000; ++i) {
            std::ifstream wchan(proc + "/wchan"), stat(proc + "/stat");
            std::string channel, pid, name, state;
            wchan >> channel;
            stat >> pid >> name >> state;
            const bool named = !channel.empty() && channel != "0";
            if (named ? channel.find("pipe_write") != std::string::npos : state == "S") return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Reads the pipe to its end, then the exit status (128 + signal).
    int wait_exit() {
        while (read_some(10000)) {
        }
        int st = 0;
        waitpid(pid_, &st, 0);
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_;
    }
    const std::string& output() const { return output_; }

private:
    static constexpr int kRunning = -1;

    bool read_some(int timeout_ms) {
        struct pollfd p{output_fd_, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0) return false;
        char buf[65536];
        const ssize_t n = read(output_fd_, buf, sizeof buf);
        if (n <= 0) return false;
        output_.append(buf, size_t(n));
        return true;
    }

    pid_t pid_ = -1;
    int input_ = -1;
    int output_fd_ = -1;
    int status_ = kRunning;
    std::string output_;
};

constexpr uint32_t kName = 0x20000100, kData = 0x20000200;   // free variable memory

void emit(Assembler& a, char c) {
    a.lit(uint8_t(c));
    a.syscall(Service::EMIT);
    a.op(Op::DROP);
}

// Stores the bytes of s and a NUL at the variable address at.
void store_string(Assembler& a, uint32_t at, const std::string& s) {
    for (size_t i = 0; i <= s.size(); ++i) {
        a.lit(i < s.size() ? uint8_t(s[i]) : 0);
        a.lit(at + uint32_t(i));
        a.op(Op::CSTORE);
    }
}

std::vector<uint8_t> emits_then_illegal() {
    Assembler a = harvard_image();
    emit(a, 'i');
    a.byte(0x40);
    return a.finish();
}

// EMITs text, creates the file ready (so a test knows the text is kept),
// then loops without end.
std::vector<uint8_t> emits_then_loops(const std::string& text, const std::string& ready) {
    Assembler a = harvard_image();
    store_string(a, kName, ready);
    for (char c : text) emit(a, c);
    a.lit(kName);
    a.lit(uint32_t(ready.size()));
    a.syscall(Service::FCREATE);
    auto loop = a.label_here();
    a.branch(loop);
    return a.finish();
}

// EMITs the letters a to z over and over, without end.
std::vector<uint8_t> alphabet_forever() {
    Assembler a = harvard_image();
    auto start = a.label_here();
    auto wrap = a.label();
    a.lit('a');
    auto next = a.label_here();   // ( c )
    a.op(Op::DUP);
    a.syscall(Service::EMIT);
    a.op(Op::DROP);
    a.lit(1);
    a.op(Op::PLUS);
    a.op(Op::DUP);
    a.lit('z' + 1);
    a.op(Op::XOR);
    a.zbranch(wrap);
    a.branch(next);
    a.bind(wrap);
    a.op(Op::DROP);
    a.branch(start);
    return a.finish();
}

TEST(KeptOutput, IntoAFileTheBytesAreTheTerminalsAtEveryWayOut) {
    TempFile bye(adder()), fault(emits_then_illegal()), pop(pop_past_memory());
    TempFile keys("x\x03\x1b"), none;
    const struct {
        const char* what;
        std::vector<std::string> args;
        const TempFile& input;
        int status;
    } ways[] = {
        {"BYE, traced", {"/" + bye.path}, none, 0},
        {"ESC in single steps", {"\\" + bye.path}, keys, 0},
        {"illegal opcode, after EMIT", {name_arg(fault.path)}, none, 1},
        {"translation fault inside a trace line", {"/" + pop.path}, none, 1},
        {"missing image", {"-A"}, none, 2},
    };
    for (const auto& way : ways) {
        testing::PtySession terminal(NORVEX_BINARY, way.args, way.input.path);
        ASSERT_EQ(terminal.wait_exit(), way.status) << way.what;
        TempFile file;
        PipedRun run(way.args, way.input.path, file.path);
        EXPECT_EQ(run.wait_exit(), way.status) << way.what;
        EXPECT_FALSE(terminal.output().empty()) << way.what;
        EXPECT_EQ(file.read(), as_written(terminal.output())) << way.what;
    }
}

TEST(KeptOutput, SignalsWriteOutWhatIsKeptBeforeTheyEndTheRun) {
    TempFile file;
    const std::string ready = file.path + ".ready";
    TempFile img(emits_then_loops("kept", ready));
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        std::filesystem::remove(ready);
        PipedRun run({name_arg(img.path)}, "/dev/null", file.path);
        for (int i = 0; i < 1000 && !std::filesystem::exists(ready); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(std::filesystem::exists(ready));
        run.signal(sig);
        EXPECT_EQ(run.wait_exit(), 128 + sig);
        EXPECT_EQ(file.read(), "kept") << sig;
    }
    std::filesystem::remove(ready);
}

// The signal arrives while a flush waits for a full pipe: the flush writes
// the rest once the pipe drains, nothing twice, and then the run ends.
TEST(KeptOutput, ASignalDuringABlockedFlushLosesAndRepeatsNothing) {
    TempFile img(alphabet_forever());
    PipedRun run({name_arg(img.path)}, "/dev/null");
    ASSERT_TRUE(run.wait_until_blocked()) << "the pipe fills";
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait_exit(), 128 + SIGTERM);
    const std::string& out = run.output();
    ASSERT_GT(out.size(), 65536u);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], char('a' + i % 26)) << "at byte " << i << " of " << out.size();
}

TEST(KeptOutput, PromptsAppearBeforeTheImageWaitsOrReads) {
    // KEY: the prompt is out before the key is read.
    Assembler key = harvard_image();
    emit(key, '?');
    key.syscall(Service::KEY);
    key.op(Op::DROP);
    key.syscall(Service::EMIT);
    key.op(Op::DROP);
    key.syscall(Service::BYE);
    TempFile key_img(key.finish());
    PipedRun asking({name_arg(key_img.path)});
    ASSERT_TRUE(asking.wait_for("?", 5000)) << "the prompt waits in the buffer";
    asking.send("k");
    EXPECT_EQ(asking.wait_exit(), 0);
    EXPECT_EQ(asking.output(), "?k");

    // WAITMS: what came before the wait is out while it lasts.
    Assembler wait = harvard_image();
    emit(wait, 'w');
    wait.lit(60000);
    wait.syscall(Service::WAITMS);
    wait.syscall(Service::BYE);
    TempFile wait_img(wait.finish());
    PipedRun waiting({name_arg(wait_img.path)});
    EXPECT_TRUE(waiting.wait_for("w", 5000));
}

TEST(KeptOutput, TextAndFileWritesToStandardOutputKeepTheirOrder) {
    // EMIT A, FWRITE B through /dev/stdout, EMIT C.
    Assembler a = harvard_image();
    store_string(a, kName, "/dev/stdout");
    store_string(a, kData, "B");
    emit(a, 'A');
    a.lit(kName);
    a.lit(11);
    a.lit(0x40000000);   // write access
    a.syscall(Service::FOPEN);   // ( fileid 0 )
    a.op(Op::DROP);
    a.op(Op::TOR);
    a.lit(kData);
    a.syscall(Service::TO_X);     // ( xaddr 0 )
    a.op(Op::DROP);
    a.lit(1);
    a.op(Op::RFROM);
    a.syscall(Service::FWRITE);
    a.op(Op::DROP);
    emit(a, 'C');
    a.syscall(Service::BYE);
    TempFile img(a.finish());
    PipedRun run({name_arg(img.path)}, "/dev/null");
    EXPECT_EQ(run.wait_exit(), 0);
    EXPECT_EQ(run.output(), "ABC");
}

}  // namespace
}  // namespace norvex
