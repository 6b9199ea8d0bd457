// The machine state: registers, memory configuration, run mode, and the
// process-wide values the services and the monitor share. One plain struct;
// every routine of the simulator takes it by reference.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "core/host_space.h"
#include "core/service_state.h"

static_assert(std::endian::native == std::endian::little,
              "cells are little-endian and are read with plain loads");

namespace norvex {

class Console;
struct Burst;
enum class ServiceEnd;
struct NativeCode;
struct NativeCodeDeleter {
    void operator()(NativeCode* n) const;
};

// Registers. Between bursts PC, S and R are virtual addresses.
struct CpuState {
    uint32_t PC = 0;
    uint32_t S = 0;
    uint32_t R = 0;
    uint32_t IP = 0;
    uint32_t W = 0;
};

// MEMCONF flag bits.
enum : uint32_t {
    F_VARALLOC = 0x001,
    F_PRGALLOC = 0x002,
    F_PRGSEP = 0x004,
    F_HARVARD = 0x008,
    F_ALIGN = 0x010,
    F_VARSET = 0x020,
    F_PRGSET = 0x040,
    F_HARVSET = 0x080,
    F_ALIGNSET = 0x100,
    F_STARTSET = 0x200,
};

// DBGMODE bits; every test uses these bits or kDbgMask.
enum : uint8_t {
    DM_STOP = 0x01,
    DM_TRACE = 0x02,
    DM_STEP = 0x04,
    DM_BRKPC = 0x08,
    DM_BRKIP = 0x10,
};
constexpr uint8_t kDbgMask = 0x1F;

// Bytes of variable memory above the configured range that start-up adds.
constexpr uint32_t kGuardBytes = 12;
// Bytes the simulator allocates past the end of each memory block. The
// image can never address them; they read as erased bytes (0xFF, an illegal
// opcode), so a fetch running off the end of a memory lands on an opcode the
// engine traps.
constexpr uint32_t kPadBytes = 16;

// The memory configuration. PRGPTR and VARPTR are addresses in the 32-bit
// host space; prg and var are where those blocks really live.
struct MemConf {
    uint32_t Flag = 0;
    uint32_t PRGPTR = 0;
    uint32_t PRGOFF = 0;
    uint32_t PRGSIZE = 0;
    uint32_t VARPTR = 0;
    uint32_t VAROFF = 0;
    uint32_t VARSIZE = 0;
    uint8_t* prg = nullptr;
    uint8_t* var = nullptr;

    bool harvard() const { return Flag & F_HARVARD; }
    bool shared() const { return prg != nullptr && prg == var; }
};

struct Machine {
    CpuState cpu;
    MemConf mem;
    uint8_t DBGMODE = 0;
    uint32_t BREAKADR = 0;
    uint8_t header[80] = {};      // the header copy
    uint32_t header_addr = 0;     // its 32-bit host address (dump lines)
    uint32_t ARGSTR = 0;          // host address of the argument string, 0 once taken
    std::string command_line;     // storage behind ARGSTR
    HostSpace space;
    Console* console = nullptr;
    ServiceState services;
    // What SYSCALL runs: the service dispatcher (services/dispatch.h), which
    // start-up installs; without one SYSCALL is the illegal-opcode stop, so
    // the engine runs without the services linked in.
    ServiceEnd (*run_service)(Burst&) = nullptr;

    // Memory blocks owned by the machine (start-up allocates, shutdown frees).
    MemoryBlock var_block;
    MemoryBlock prg_block;

    // Translated code for free run (core/native); tests switch it off to
    // compare with the interpreter alone.
    bool native_enabled = true;
    // A bound on the run for tests and fuzzers: units left before the machine
    // stops as DM_STOP stops it; 0, as in the programs, is no bound. A unit is
    // one interpreted instruction or one block entered in translated code, so
    // with a budget free run is run as one-instruction bursts of the
    // interpreter between stretches of translated code.
    uint32_t budget = 0;
    std::unique_ptr<NativeCode, NativeCodeDeleter> native;
    // Bytes of the code area that holds translated code; 0 is the default.
    // Tests and fuzzers make it small, so that it fills and empties often.
    size_t native_code_bytes = 0;
    // The code area in two views (written in one, run in the other), as on
    // hosts that refuse memory both writable and executable; tests set it.
    bool native_two_views = false;

    // The program address of the image's interrupt handler (DEBUG mode
    // 0x0200), 0 for none: a user interrupt is then delivered as a CALL to it.
    uint32_t interrupt_handler = 0;
};

// Little-endian access to plain host bytes at any alignment.
inline uint32_t load32(const uint8_t* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
inline uint16_t load16(const uint8_t* p) { uint16_t v; std::memcpy(&v, p, 2); return v; }
inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

// Program and variable memory are stored complemented: an erased byte (0xFF)
// is a zero host byte, so the pages of a large memory that the image never
// writes are never touched and cost no host memory. Everything that reads or
// writes these two memories goes through the accessors below; the other
// blocks of the host space (XALLOC blocks, the header copy, the argument
// string) hold plain bytes.
constexpr uint8_t kStoredErased = 0x00;
inline uint32_t mem_load32(const uint8_t* p) { return ~load32(p); }
inline uint16_t mem_load16(const uint8_t* p) { return uint16_t(~load16(p)); }
inline uint8_t mem_load8(const uint8_t* p) { return uint8_t(~*p); }
inline void mem_store32(uint8_t* p, uint32_t v) { store32(p, ~v); }
inline void mem_store16(uint8_t* p, uint16_t v) { store16(p, uint16_t(~v)); }
inline void mem_store8(uint8_t* p, uint8_t v) { *p = uint8_t(~v); }
// Plain bytes into memory, and memory out as plain bytes.
inline void mem_write(uint8_t* dst, const uint8_t* plain, size_t n) {
    for (size_t i = 0; i < n; ++i) dst[i] = uint8_t(~plain[i]);
}
inline void mem_read(uint8_t* plain, const uint8_t* src, size_t n) {
    for (size_t i = 0; i < n; ++i) plain[i] = uint8_t(~src[i]);
}

}  // namespace norvex
