// Service group 4: host files and serial ports.
#pragma once

#include "services/dispatch.h"

namespace norvex {

// FOPEN's access mask.
constexpr uint32_t kAccessRead = 0x80000000;
constexpr uint32_t kAccessWrite = 0x40000000;

// The serial flag word (the bit fields of the DCB flag word) as far as a
// terminal device carries them out.
enum SerialFlag : uint32_t {
    SF_BINARY = 1u << 0,             // always: there is no other mode
    SF_OUTX_CTS_FLOW = 1u << 2,      // output waits for CTS
    SF_OUTX_DSR_FLOW = 1u << 3,      // no counterpart
    SF_OUTX = 1u << 8,               // output stops on XOFF
    SF_INX = 1u << 9,                // XOFF sent when input fills
};
constexpr uint32_t kDtrControlShift = 4;    // 2 bits: disable, enable, handshake
constexpr uint32_t kRtsControlShift = 12;   // 2 bits: disable, enable, handshake, toggle
enum LineControl : uint32_t { LC_DISABLE = 0, LC_ENABLE = 1, LC_HANDSHAKE = 2, LC_TOGGLE = 3 };

// FPOS!'s move methods.
enum MoveMethod : uint32_t { MOVE_BEGIN = 0, MOVE_CURRENT = 1, MOVE_END = 2 };

Ior svc_FCREATE(Burst& b);
Ior svc_FDELETE(Burst& b);
Ior svc_FOPEN(Burst& b);
Ior svc_FCLOSE(Burst& b);
Ior svc_FSIZEFETCH(Burst& b);   // FSIZE@
Ior svc_FPOSFETCH(Burst& b);    // FPOS@
Ior svc_FPOSSTORE(Burst& b);    // FPOS!
Ior svc_FREAD(Burst& b);
Ior svc_FWRITE(Burst& b);
Ior svc_FCOPY(Burst& b);
Ior svc_FPARFETCH(Burst& b);   // FPAR@
Ior svc_FPARSTORE(Burst& b);   // FPAR!

}  // namespace norvex
