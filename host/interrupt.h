// User interrupts: Ctrl-C typed while the image runs, or SIGINT. The
// console raises one from its signal handler; the engine delivers it to the
// image's interrupt handler (Machine::interrupt_handler, set with DEBUG mode
// 0x0200) at the next instruction boundary, as if a CALL to the handler had
// executed there. One per process: there is one terminal.
#pragma once

#include <csignal>

namespace norvex {

// Async-signal-safe.
void raise_interrupt();
bool interrupt_pending();
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
