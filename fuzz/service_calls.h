// The input format of fuzz_services, shared with the seed generator.
//
//   terminal flag (1 byte), key count (1 byte, at most 8), the keys,
//   then calls: selector (1 byte), argument count (1 byte, modulo 5), and per
//   argument its kind (1 byte, modulo kKinds) and value: 4 bytes little-endian
//   for a literal, 2 for addresses, 1 for the rest.
//
// A selector below kAnyCode picks a service with a routine (modulo their
// number); from kAnyCode on, a literal service code follows. Past the end of
// the input every byte reads as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "services/dispatch.h"

namespace norvex::fuzz {

enum ArgKind : uint8_t {
    kLiteral,          // the value itself
    kName,             // the address of name number value (kNameList)
    kRecent,           // one of the last 8 result cells (file ids, addresses)
    kSmall,            // a byte
    kBufferAddress,    // an address in the transfer buffer
    kBufferHost,       // the transfer buffer's host address, for FREAD and FWRITE
    kAccessMask,       // FOPEN's access: none, read, write, both
    kProgramAddress,   // an address in (or just past) program memory
    kKinds,
};

constexpr uint8_t kAnyCode = 240;

// Program memory 0-0x2000 holding one SYSCALL at 80; variable memory of
// 64 KiB at 0x20000000 (split layout: each reachable from the other's
// addresses). Names lie 0x200 apart from kNames, the buffer at kBuffer.
constexpr uint32_t kPrgEnd = 0x2000, kVar = 0x20000000, kVarEnd = 0x20010000;
constexpr uint32_t kNames = kVar + 0x1000;
constexpr uint32_t kBuffer = kVar + 0x4000, kBufferBytes = 0x4000;

inline const std::vector<std::string>& name_list() {
    static const std::vector<std::string> names = {
        "a", "b", "c", "", ".", "..", "/dev/null", "/dev/full", "/dev/zero", "missing/a", "a/b",
        std::string(300, 'n'),
    };
    return names;
}

// The codes of the services that have a routine, in table order.
inline const std::vector<uint32_t>& service_codes() {
    static const std::vector<uint32_t> codes = [] {
        std::vector<uint32_t> c;
        for (const ServiceEntry& e : kServices)
            if (e.run) c.push_back(e.code);
        return c;
    }();
    return codes;
}

// Bytes of a value of this kind.
inline size_t value_bytes(uint8_t kind) {
    switch (kind % kKinds) {
    case kLiteral: return 4;
    case kBufferAddress:
    case kBufferHost:
    case kProgramAddress: return 2;
    default: return 1;
    }
}

}  // namespace norvex::fuzz
