#include "host/interrupt.h"

#include <atomic>

namespace norvex {

namespace {

std::atomic<const InterruptWatch*> g_watch{nullptr};
static_assert(std::atomic<const InterruptWatch*>::is_always_lock_free);

void stop_watched(const InterruptWatch& w) {
    *w.flag = 1;
    *w.table = w.missing_table;
}

}  // namespace

void raise_interrupt() {
    g_interrupt_pending.store(true);
    if (const InterruptWatch* w = g_watch.load()) stop_watched(*w);
}

void clear_interrupt() { g_interrupt_pending.store(false); }

void watch_interrupt(const InterruptWatch* watch) {
    g_watch.store(watch);
    // An interrupt raised before the watch was registered is seen too; after
    // it, the signal handler stops the translated code itself.
    if (watch && g_interrupt_pending.load()) stop_watched(*watch);
}

}  // namespace norvex
