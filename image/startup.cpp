#include "image/startup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "image/header.h"
#include "image/options.h"
#include "services/dispatch.h"

namespace norvex {

namespace {

[[noreturn]] void missing_file() { throw StartupFailure{"Missing zvK Image File Name", true}; }

// A start-up failure the machine cannot begin from: one line, no key wait.
[[noreturn]] void startup_failure(const std::string& line) { throw StartupFailure{line, false}; }

std::string hex8(uint32_t v) {
    char text[9];
    for (int i = 7; i >= 0; --i, v >>= 4) text[i] = "0123456789ABCDEF"[v & 0xF];
    return std::string(text, 8);
}

// Keeps the argument string in the machine and in its host space, so that
// GETPAR can hand its address to the image.
void keep_arguments(Machine& m, const std::string& args) {
    m.command_line = args;
    m.command_line.push_back('\0');
    const uint32_t base = m.space.add(reinterpret_cast<uint8_t*>(m.command_line.data()),
                                      uint32_t(m.command_line.size()));
    m.ARGSTR = base;
}

// An erased memory block of `size` addressable bytes plus the engine's
// padding; nullptr when the host has no memory for it. Erased bytes are zero
// host bytes (memory is stored complemented), so the block comes zero-filled
// from the host and its pages are touched only when the image writes them.
MemoryBlock allocate_erased(uint64_t size) {
    static_assert(kStoredErased == 0);
    return MemoryBlock(static_cast<uint8_t*>(std::calloc(size + kPadBytes, 1)));
}

// Header copy, resolution, allocation and placement; `load` then fills
// program memory with up to PRGSIZE image bytes.
template <typename Load>
void build_machine(Machine& m, StartupShow show, Load load) {
    m.run_service = dispatch_syscall;
    m.header_addr = m.space.add(m.header, kHeaderBytes);
    if (show) show(m, 0);
    MemConf& c = m.mem;
    resolve_config(m.header, c, m.cpu.PC, [&](int step) {
        if (show) show(m, step);
    });

    // Variable memory with its guard: the configured bytes erased to 0xFF,
    // the guard zero.
    const uint64_t var_bytes = uint64_t(c.VARSIZE) + kGuardBytes;
    if (c.VARSIZE == 0 || var_bytes > 0xFFFFFFFFu)
        startup_failure("Cannot allocate variable memory: $" + hex8(c.VAROFF) + " - $" +
                               hex8(c.VARSIZE) + " is not a usable range");
    m.var_block = allocate_erased(var_bytes);
    if (!m.var_block)
        startup_failure("Cannot allocate variable memory: the host has no $" +
                               hex8(uint32_t(var_bytes)) + " bytes");
    c.var = m.var_block.get();
    const uint8_t zero_guard[kGuardBytes] = {};
    mem_write(c.var + c.VARSIZE, zero_guard, kGuardBytes);
    c.VARPTR = m.space.add(c.var, uint32_t(var_bytes), false, true);
    if (!c.VARPTR) startup_failure("Cannot allocate variable memory: address space full");
    c.Flag |= F_VARALLOC;

    if (c.Flag & F_PRGSEP) {
        if (c.PRGSIZE == 0)
            startup_failure("Cannot allocate program memory: $" + hex8(c.PRGOFF) + " - $" +
                                   hex8(c.PRGSIZE) + " is not a usable range");
        m.prg_block = allocate_erased(c.PRGSIZE);
        if (!m.prg_block)
            startup_failure("Cannot allocate program memory: the host has no $" +
                                   hex8(c.PRGSIZE) + " bytes");
        c.prg = m.prg_block.get();
        c.PRGPTR = m.space.add(c.prg, c.PRGSIZE, false, true);
        if (!c.PRGPTR) startup_failure("Cannot allocate program memory: address space full");
        c.Flag |= F_PRGALLOC;
    } else if (!(c.Flag & F_HARVARD)) {
        c.prg = c.var;
        c.PRGPTR = c.VARPTR;
        c.PRGOFF = c.VAROFF;
        c.PRGSIZE = c.VARSIZE;
    } else {
        c.PRGSIZE = 0;   // Harvard without program memory: nothing is loaded
    }
    if (c.PRGSIZE) load(c.prg, c.PRGSIZE);

    CpuState& r = m.cpu;
    r.R = c.VAROFF + c.VARSIZE;
    r.S = r.R - 256;
    r.IP = 0;
    r.W = 0;
    c.VARSIZE += kGuardBytes;
}

}  // namespace

void STARTUP(Machine& m, const std::string& args, StartupShow show) {
    m.mem = MemConf{};
    keep_arguments(m, args);
    const CommandLine cl = read_command_line(args);
    if (!cl.ok) missing_file();
    struct stat st;
    if (::stat(cl.name.c_str(), &st) != 0) missing_file();

    const int fd = ::open(cl.name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        startup_failure("Cannot open zvK Image File " + cl.name + ": " + std::strerror(errno));
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    // Reads up to n bytes at offset; false on a read error.
    auto read_at = [&](uint8_t* dst, uint64_t n, off_t offset) {
        uint64_t done = 0;
        while (done < n) {
            const size_t chunk = size_t(std::min<uint64_t>(n - done, 1u << 30));
            const ssize_t got = ::pread(fd, dst + done, chunk, offset + off_t(done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return false;
            if (got == 0) break;
            done += uint64_t(got);
        }
        return true;
    };
    if (!read_at(m.header, kHeaderBytes, 0))
        startup_failure("Cannot read zvK Image File " + cl.name + ": " + std::strerror(errno));

    MemConf& c = m.mem;
    c.Flag = cl.flags;
    c.PRGOFF = cl.prg_off;
    c.PRGSIZE = cl.prg_size;
    c.VAROFF = cl.var_off;
    c.VARSIZE = cl.var_size;
    m.cpu.PC = cl.start;
    m.DBGMODE = cl.dbgmode;
    build_machine(m, show, [&](uint8_t* prg, uint32_t size) {
        // Read in chunks and store them complemented.
        std::vector<uint8_t> chunk(std::min<uint32_t>(size, 1u << 16));
        for (uint32_t done = 0; done < size;) {
            const uint32_t want = std::min<uint32_t>(size - done, uint32_t(chunk.size()));
            ssize_t got;
            do got = ::pread(fd, chunk.data(), want, off_t(done));
            while (got < 0 && errno == EINTR);
            if (got < 0)
                startup_failure("Cannot read zvK Image File " + cl.name + ": " + std::strerror(errno));
            if (got == 0) break;
            mem_write(prg + done, chunk.data(), size_t(got));
            done += uint32_t(got);
        }
    });
    m.ARGSTR += uint32_t(cl.rest);
}

void STARTUP(Machine& m, const std::string& args, const uint8_t* image, uint32_t size,
             StartupShow show) {
    m.mem = MemConf{};
    keep_arguments(m, args);
    std::memcpy(m.header, image, std::min<uint32_t>(size, kHeaderBytes));
    build_machine(m, show, [&](uint8_t* prg, uint32_t prg_size) {
        mem_write(prg, image, std::min(size, prg_size));
    });
}

void SHUTDOWN(Machine& m) {
    MemConf& c = m.mem;
    if (c.Flag & F_PRGALLOC) {
        m.space.remove(c.PRGPTR);
        m.prg_block.reset();
    }
    if (c.Flag & F_VARALLOC) {
        m.space.remove(c.VARPTR);
        m.var_block.reset();
    }
}

}  // namespace norvex
