// Fuzz target: sequences of service calls with fuzzed arguments, made as the
// SYSCALL opcode makes them, on one machine per input. Arguments are drawn
// from literals, names placed in memory, results of earlier calls (file ids,
// extended addresses), buffers and access masks; files live in the scratch
// directory. The input format is in fuzz/service_calls.h.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "core/burst.h"
#include "core/engine.h"
#include "fuzz/harness.h"
#include "fuzz/service_calls.h"
#include "image/startup.h"
#include "host/console.h"
#include "testing/script_console.h"
#include "monitor/fault_report.h"
#include "services/dispatch.h"
#include "services/files_serial.h"

using namespace norvex;
using namespace norvex::fuzz;

namespace {

// The input from front to back; zeros past its end.
struct Reader {
    const uint8_t* p;
    size_t left;

    bool empty() const { return left == 0; }
    uint32_t take(size_t n) {
        uint32_t v = 0;
        for (size_t i = 0; i < n; ++i) {
            if (left) {
                v |= uint32_t(*p++) << (8 * i);
                --left;
            }
        }
        return v;
    }
    uint8_t byte() { return uint8_t(take(1)); }
};

std::vector<uint8_t> machine_image() {
    std::vector<uint8_t> image(81, 0);
    image[H_FLAGS] = HF_PRGSEP;
    store32(&image[H_START], 80);
    store32(&image[H_PX], kPrgEnd);
    store32(&image[H_V0], kVar);
    store32(&image[H_VX], kVarEnd);
    image[80] = uint8_t(Op::SYSCALL);
    return image;
}

struct Session {
    Machine& m;
    Reader& in;
    uint32_t s0;
    uint32_t recent[8] = {};
    size_t next_recent = 0;

    uint32_t argument() {
        const uint8_t kind = in.byte() % kKinds;
        const uint32_t v = in.take(value_bytes(kind));
        switch (kind) {
        case kLiteral: return v;
        case kName: return kNames + 0x200 * (v % uint32_t(name_list().size()));
        case kRecent: return recent[v % std::size(recent)];
        case kSmall: return v;
        case kBufferAddress: return kBuffer + v % kBufferBytes;
        case kBufferHost: return m.mem.VARPTR + (kBuffer - kVar) + v % kBufferBytes;
        case kAccessMask: {
            static const uint32_t fam[] = {0, kAccessRead, kAccessWrite, kAccessRead | kAccessWrite};
            return fam[v % 4];
        }
        default: return v % (kPrgEnd + 0x100);
        }
    }

    // One call as SYSCALL makes it: arguments, then the code, on the data
    // stack, which starts empty each time.
    void call(uint32_t code) {
        std::vector<uint32_t> args(in.byte() % 5);
        for (uint32_t& a : args) a = argument();
        uint8_t* pc = GETPRGPTR(m, 81);
        uint8_t* sp = GETVARPTR(m, s0);
        uint8_t* rp = GETVARPTR(m, m.cpu.R);
        Burst b{m, pc, sp, rp, area_of(m.mem, pc), area_of(m.mem, sp), area_of(m.mem, rp)};
        for (uint32_t a : args) b.push(a);
        b.push(code);
        dispatch_syscall(b);
        // Results (ids, addresses) become arguments of later calls.
        const ptrdiff_t depth = sp - b.sp;
        for (ptrdiff_t i = 0; i < 3 && 4 * (i + 1) <= depth; ++i)
            recent[next_recent++ % std::size(recent)] = mem_load32(b.sp + 4 * i);
        check_bounds();
    }

    void check_bounds() const {
        const ServiceState& s = m.services;
        if (s.files.by_id.size() > s.files.max_open || s.xalloc_bytes > s.xalloc_max_bytes ||
            s.xblocks.size() > s.xalloc_max_blocks)
            __builtin_trap();
        for (const auto& [base, block] : s.xblocks) {
            const HostBlock* h = m.space.block_at(base);
            if (!h || !h->xalloc || h->data != block.get()) __builtin_trap();
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    enter_sandbox(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> image = machine_image();
    Reader in{data, size};
    const bool terminal = in.byte() & 1;
    std::string keys(in.byte() % 9, '\0');
    for (char& k : keys) k = char(in.byte());
    ScriptConsole console(keys);
    if (terminal) console.set_screen(80, 24);
    std::ofstream("c", std::ios::binary) << "a file that was there before";

    {
        Machine m;
        m.console = &console;
        bound(m);
        try {
            STARTUP(m, "argument string", image.data(), uint32_t(image.size()));
            const std::vector<std::string>& names = name_list();
            for (size_t i = 0; i < names.size(); ++i) {
                const uint32_t n = uint32_t(names[i].size() + 1);
                mem_write(GETVARPTR(m, kNames + 0x200 * uint32_t(i), n),
                          reinterpret_cast<const uint8_t*>(names[i].c_str()), n);
            }
            Session session{m, in, m.cpu.S};
            while (!in.empty()) {
                const uint8_t selector = in.byte();
                const std::vector<uint32_t>& codes = service_codes();
                session.call(selector < kAnyCode ? codes[selector % codes.size()] : in.take(4));
            }
        } catch (const Fault& f) {
            // A fault (a translation fault, a code without a service) is
            // reported and ends the machine as it ends the program.
            report_fault(m, f);
        }
        SHUTDOWN(m);
    }
    clear_scratch();
    return 0;
}
