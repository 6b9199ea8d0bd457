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
Ior svc_INIT(Burst& b);

// DEBUG's requests (bits 8 to 15 of its mode), each done alone: end the
// run as BYE does, the process exiting with status x & 0xFF; set the
// interrupt handler to x (0: none).
constexpr uint32_t kDebugExitRequest = 0x0100;
constexpr uint32_t kDebugInterruptHandler = 0x0200;

Ior svc_BYE(Burst& b);
Ior svc_DEBUG(Burst& b);
void set_interrupt_handler(Machine& m, uint32_t x);
Ior svc_GETPAR(Burst& b);

Ior svc_XALLOC(Burst& b);
Ior svc_XFREE(Burst& b);
Ior svc_TOX(Burst& b);     // >X, S>X, R>X
Ior svc_PTOX(Burst& b);    // P>X
Ior svc_FLASH_SE(Burst& b);
Ior svc_FLASH_SW(Burst& b);
Ior svc_FLASH_E(Burst& b);
Ior svc_FLASH_W(Burst& b);

// The flash services change program memory here: n bytes at dst (a
// translated program location) become 0xFF when src is null, else a copy of
// src made one byte at a time, lowest address first. Translations of
// [dst, dst + n) are dropped (as for every write into program memory).
void write_program(Machine& m, uint8_t* dst, const uint8_t* src, uint32_t n);

}  // namespace norvex
