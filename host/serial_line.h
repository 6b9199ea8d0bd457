// The line settings of a serial port: a terminal device the image opened
// as a file. Set through the same terminal layer as the console
// (host/posix_console.cpp), the one place that speaks termios.
#pragma once

#include <cstdint>

namespace norvex {

enum class Line : int8_t { Unknown = -1, Low = 0, High = 1 };

struct LineSettings {
    uint32_t baud = 0;             // bits per second; 0: no standard rate
    bool rts_cts = false;          // hardware flow control
    bool xon_xoff_output = false;  // output stops on XOFF from the other end
    bool xon_xoff_input = false;   // XOFF is sent when input fills up
    Line dtr = Line::Unknown;      // to set: Unknown leaves the line alone
    Line rts = Line::Unknown;
};

// Reads the settings of a terminal device; false for anything else.
bool read_line_settings(int fd, LineSettings& s);

// Makes a terminal device a raw 8-bit line (8 data bits, no parity, one stop
// bit, no echo, no translation) with the given rate, flow control and
// modem lines; reads return at once with what has arrived and writes have
// no time-out. A rate without a standard setting leaves the rate alone.
// False for anything but a terminal device.
bool write_line_settings(int fd, const LineSettings& s);

}  // namespace norvex
