// Standard output kept in one fixed buffer and written out in large blocks.
//
// The buffer, its length and the state of a flush are plain globals, so the
// handler of a fatal signal can write out what is kept before the process
// ends (async-signal-safe: only write(2) on the globals). Appends store the
// bytes before the new length, so the handler never sees a half-copied
// fragment; a signal that arrives while a flush is under way is left to that
// flush, which alone knows how far it got.
#pragma once

#include <cstddef>
#include <cstdint>

namespace norvex::kept_output {

constexpr size_t kCapacity = 1 << 16;

// Keeps n bytes; writes out what is kept first when they do not fit, and
// writes a fragment larger than the whole buffer at once.
void append(const uint8_t* data, size_t n);

// Writes out everything kept, in order. A fatal signal that arrived during
// the flush ends the process when the flush is done.
void flush();

// Writes n bytes to standard output at once, after what is kept; the
// number of bytes that got out.
size_t write_through(const uint8_t* data, size_t n);

// For the handler of a fatal signal: writes out what is kept and returns
// true, or returns false when a flush is under way (the flush then ends the
// process with sig once it is done).
bool write_out_from_signal(int sig);

}  // namespace norvex::kept_output
