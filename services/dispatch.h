// SYSCALL: decodes the service code on the data stack and runs the service.
#pragma once

#include <cstdint>

#include "core/burst.h"

namespace norvex {

enum class ServiceEnd {
    Continue,   // back to the burst loop
    LeaveBurst, // BYE: leave the burst without storing the registers
};

using ServiceFn = ServiceEnd (*)(Burst&);

struct ServiceEntry {
    const char* name;
    ServiceFn run;   // nullptr: a named slot without a service (ILLEGALSYS)
};

struct ServiceGroup {
    const ServiceEntry* entries;
    uint32_t count;
};

// The five service groups, function 0 first; also the trace line's names.
extern const ServiceGroup kServiceGroups[5];

// The entry for a service code, or nullptr for a code outside the tables.
const ServiceEntry* service_entry(uint32_t code);

// Runs the SYSCALL at b.pc - 1. Enters ILLEGALSYS (a report; never returns)
// for a code without a service.
ServiceEnd SYSCALL_DISPATCH(Burst& b);

}  // namespace norvex
