// Service groups 0 and 1: control (stop, run modes, argument string), host
// memory blocks, extended addresses and flash.
#pragma once

#include "services/dispatch.h"

namespace norvex {

// The one result of the simulator's own: XALLOC without memory.
constexpr uint32_t kNoHostMemory = 0x7F07;

// Flash geometry: erase sectors and write units, aligned to their size.
constexpr uint32_t kEraseSector = 256;
constexpr uint32_t kWriteUnit = 16;

// XINIT, CINIT, TINIT, FINIT: ( x -- 0 ).
ServiceEnd svc_INIT(Burst& b);

// DEBUG's request to end the run as BYE does, the process exiting with
// status x & 0xFF.
constexpr uint32_t kDebugExitRequest = 0x0100;

ServiceEnd svc_BYE(Burst& b);
ServiceEnd svc_DEBUG(Burst& b);
ServiceEnd svc_GETPAR(Burst& b);

ServiceEnd svc_XALLOC(Burst& b);
ServiceEnd svc_XFREE(Burst& b);
ServiceEnd svc_TOX(Burst& b);     // >X, S>X, R>X
ServiceEnd svc_PTOX(Burst& b);    // P>X
ServiceEnd svc_FLASH_SE(Burst& b);
ServiceEnd svc_FLASH_SW(Burst& b);
ServiceEnd svc_FLASH_E(Burst& b);
ServiceEnd svc_FLASH_W(Burst& b);

// Program memory changes here and nowhere else while the image runs: n
// bytes at dst (a translated program location) become 0xFF when src is
// null, else a copy of src made one byte at a time, lowest address first.
// A cache of decoded code forgets [dst, dst + n) here.
void write_program(Machine& m, uint8_t* dst, const uint8_t* src, uint32_t n);

}  // namespace norvex
