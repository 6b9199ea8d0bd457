// SYSCALL: decodes the service code on the data stack and runs the service.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/burst.h"

namespace norvex {

// The service codes by name (services/services.def).
enum class Service : uint32_t {
#define SERVICE(code, Name, name, handler) Name = code,
#include "services/services.def"
#undef SERVICE
};

// What a service hands back to the dispatcher: the ior, which the dispatcher
// pushes, or the end of the burst with nothing pushed (BYE, DEBUG's exit
// request).
class Ior {
public:
    constexpr Ior(uint32_t value) : value_(value) {}
    static constexpr Ior leave_burst() { return Ior(0, true); }
    constexpr uint32_t value() const { return value_; }
    constexpr bool leaves_burst() const { return leaves_; }

private:
    constexpr Ior(uint32_t value, bool leaves) : value_(value), leaves_(leaves) {}
    uint32_t value_;
    bool leaves_ = false;
};

using ServiceFn = Ior (*)(Burst&);

struct ServiceEntry {
    uint32_t code;
    const char* name;
    ServiceFn run;   // nullptr: a named slot without a service (illegal-opcode stop)
};

// Every service slot, in code order; also the trace line's names.
extern const std::span<const ServiceEntry> kServices;

// The entry for a service code, or nullptr for a code outside the table.
const ServiceEntry* service_entry(uint32_t code);
// The entry of the service with this name, or nullptr.
const ServiceEntry* service_named(std::string_view name);

// Runs the SYSCALL at b.pc - 1: pops the code, runs the service and pushes
// its ior. A code without a service is the illegal-opcode stop.
ServiceEnd dispatch_syscall(Burst& b);

}  // namespace norvex
