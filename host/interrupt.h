// User interrupts: Ctrl-C typed while the image runs, or SIGINT. The
// console raises one from its signal handler; the engine delivers it to the
// image's interrupt handler (Machine::interrupt_handler, set with DEBUG mode
// 0x0200) at the next instruction boundary, as if a CALL to the handler had
// executed there. One per process: there is one terminal.
#pragma once

#include <atomic>
#include <csignal>

namespace norvex {

// Set by raise_interrupt; the interpreter reads it at every control
// transfer, so the test is inline (a relaxed load, a plain move on x86).
inline std::atomic<bool> g_interrupt_pending{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Async-signal-safe.
void raise_interrupt();
inline bool interrupt_pending() { return g_interrupt_pending.load(std::memory_order_relaxed); }
void clear_interrupt();

// While translated code runs it is registered here (nullptr: none), and
// raise_interrupt also sets the word it polls on loop edges and points the
// table through which it looks up dynamic exits at one where every lookup
// misses, so that it stops at the next of either.
struct InterruptWatch {
    volatile sig_atomic_t* flag = nullptr;
    const void* volatile* table = nullptr;
    const void* missing_table = nullptr;
};
void watch_interrupt(const InterruptWatch* watch);

}  // namespace norvex
