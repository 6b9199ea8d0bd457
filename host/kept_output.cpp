#include "host/kept_output.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace norvex::kept_output {

namespace {

uint8_t g_kept[kCapacity];
volatile sig_atomic_t g_length = 0;           // bytes of g_kept not yet written
volatile sig_atomic_t g_flushing = 0;         // a write of g_kept is under way
volatile sig_atomic_t g_pending_signal = 0;   // a fatal signal left to that write

static_assert(kCapacity <= size_t(SIG_ATOMIC_MAX));

// Writes all n bytes unless the output is gone (then the rest is dropped);
// the number written. Async-signal-safe.
size_t write_all(const uint8_t* data, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(STDOUT_FILENO, data + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += size_t(w);
    }
    return done;
}

// Writes g_kept out and empties it, marked as under way so that a signal
// handler does not write the same bytes again.
void write_kept() {
    g_flushing = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    write_all(g_kept, size_t(g_length));
    g_length = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_flushing = 0;
}

}  // namespace

void append(const uint8_t* data, size_t n) {
    size_t length = size_t(g_length);
    if (length + n > kCapacity) {
        flush();
        length = 0;
    }
    if (n > kCapacity) {
        write_all(data, n);
        return;
    }
    std::memcpy(g_kept + length, data, n);
    std::atomic_signal_fence(std::memory_order_release);   // the bytes before the length
    g_length = sig_atomic_t(length + n);
}

void flush() {
    if (g_length == 0) return;
    write_kept();
    if (const int sig = g_pending_signal) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
}

size_t write_through(const uint8_t* data, size_t n) {
    flush();
    return write_all(data, n);
}

bool write_out_from_signal(int sig) {
    if (g_flushing) {
        g_pending_signal = sig;
        return false;
    }
    if (g_length != 0) write_kept();
    return true;
}

}  // namespace norvex::kept_output
