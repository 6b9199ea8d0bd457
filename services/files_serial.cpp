// Files with POSIX calls; serial ports through the terminal layer.
//
// The sharing rules are kept with advisory locks: FCREATE and every opener
// that writes hold an exclusive lock, read-only openers a shared one, so
// while a file is created or open for writing nobody else may open it, and
// while it is open for reading others may only read it. A lock held
// elsewhere is a sharing violation.
#include "services/files_serial.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "core/native/native.h"
#include "host/console.h"
#include "host/serial_line.h"
#include "services/error_numbers.h"

namespace norvex {

namespace {

// The name at a translated location: the bytes up to its NUL, which must lie
// inside the same memory (else 998), within the host's limit on a path, NUL
// included (else 206, and no byte past the limit is looked at, so a name
// costs the same in any size of memory). 0 once the name is read. Memory
// holds its bytes complemented, so the NUL is stored as 0xFF.
uint32_t name_at(const Machine& m, const uint8_t* p, std::string& name) {
    const size_t room = size_t(area_of(m.mem, p).hi - p);
    const size_t scan = std::min<size_t>(room, PATH_MAX);
    const void* nul = std::memchr(p, 0xFF, scan);
    if (!nul) return scan == room ? ERR_NOACCESS : ERR_FILENAME_TOO_LONG;
    name.resize(size_t(static_cast<const uint8_t*>(nul) - p));
    mem_read(reinterpret_cast<uint8_t*>(name.data()), p, name.size());
    return 0;
}

// The ( name u ) pair of FCREATE, FDELETE and FOPEN, popped: u is not used,
// the name is read as name_at reads it.
uint32_t name_argument(Burst& b, std::string& name) {
    b.pop();
    const uint8_t* at = GETVARPTR(b.m, b.pop(), 1, b.here());
    return name_at(b.m, at, name);
}

// Opens name with open(2) flags, retrying on a signal.
int open_retrying(const std::string& name, int flags, mode_t mode = 0666) {
    int fd;
    do fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Takes the opener's lock; false (errno set) when another opener holds one
// that excludes it. Files whose system has no locks are used unlocked.
bool lock(int fd, bool exclusive) {
    int r;
    do r = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    while (r != 0 && errno == EINTR);
    return r == 0 || errno != EWOULDBLOCK;
}

// Closes fd keeping the errno of the failure being reported.
void close_quietly(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

// Writes all n bytes; false (errno set) when the host refuses some.
bool write_all(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t done = ::write(fd, p, n);
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) return false;
        if (done == 0) {
            errno = EIO;
            return false;
        }
        p += done;
        n -= size_t(done);
    }
    return true;
}

// Reads up to n bytes; a plain file is read until n or its end, anything
// else returns what one read gives (a serial port: what has arrived).
// -1 (errno set) when the first read fails.
ssize_t read_some(const OpenFile& f, uint8_t* p, size_t n) {
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(f.fd, p + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return got ? ssize_t(got) : -1;
        got += size_t(r);
        if (r == 0 || !f.regular) break;
    }
    return ssize_t(got);
}

// The result code of a failed read or write on an open file: a descriptor
// that refuses the transfer was opened without that access.
uint32_t transfer_ior(int err) { return err == EBADF ? ERR_ACCESS_DENIED : ior_of_errno(err); }

// An open file for the id on top of the stack, popped; null (ior pushed by
// the caller) for an id the simulator did not hand out.
const OpenFile* file_of(Burst& b) { return b.m.services.files.find(b.pop()); }

bool is_regular(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Copies from to to. fail_if_exists: the target is created only when it
// does not exist, decided atomically with its creation. Only a plain file is
// copied: a device or a pipe could give bytes without end, or none, ever.
// 0 or an ior.
uint32_t copy_file(const std::string& from, const std::string& to, bool fail_if_exists) {
    const int in = open_retrying(from, O_RDONLY | O_NONBLOCK);
    if (in < 0) return ior_of_name_errno(from.c_str(), errno);
    struct FdCloser {
        int fd;
        ~FdCloser() { if (fd >= 0) ::close(fd); }
    } in_closer{in};
    struct stat st;
    if (::fstat(in, &st) != 0) return ior_of_errno(errno);
    if (!S_ISREG(st.st_mode)) return ERR_ACCESS_DENIED;
    if (!lock(in, false)) return ERR_SHARING_VIOLATION;
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);

    const int out = open_retrying(to, O_WRONLY | O_CREAT | (fail_if_exists ? O_EXCL : 0),
                                  st.st_mode & 0777);
    if (out < 0) {
        if (errno == EEXIST) return ERR_FILE_EXISTS;
        return ior_of_name_errno(to.c_str(), errno);
    }
    FdCloser out_closer{out};
    // With fail_if_exists the target is new and ours: a failure removes it.
    auto fail = [&](uint32_t ior) {
        if (fail_if_exists) ::unlink(to.c_str());
        return ior;
    };
    if (!lock(out, true)) return fail(ERR_SHARING_VIOLATION);   // the source itself, or in use
    if (!fail_if_exists && is_regular(out) && ::ftruncate(out, 0) != 0) return ior_of_errno(errno);

    uint8_t buffer[1 << 16];
    const OpenFile source{in, true};
    for (;;) {
        const ssize_t got = read_some(source, buffer, sizeof buffer);
        if (got < 0) return fail(ior_of_errno(errno));
        if (got == 0) break;
        if (!write_all(out, buffer, size_t(got))) return fail(ior_of_errno(errno));
    }
    return 0;
}

// The flag word's flow-control and modem-line fields as line settings:
// CTS flow or an RTS handshake is hardware flow control (one switch on this
// host); DTR handshake has no counterpart and keeps DTR raised; RTS toggle
// leaves RTS alone.
LineSettings line_settings(uint32_t flags, uint32_t baud) {
    LineSettings s;
    s.baud = baud;
    const uint32_t dtr = (flags >> kDtrControlShift) & 3;
    const uint32_t rts = (flags >> kRtsControlShift) & 3;
    s.rts_cts = (flags & SF_OUTX_CTS_FLOW) || rts == LC_HANDSHAKE;
    s.xon_xoff_output = flags & SF_OUTX;
    s.xon_xoff_input = flags & SF_INX;
    s.dtr = dtr == LC_DISABLE ? Line::Low : Line::High;
    s.rts = rts == LC_DISABLE ? Line::Low : rts == LC_ENABLE ? Line::High : Line::Unknown;
    return s;
}

// And back: the flag word a port's settings stand for.
uint32_t flag_word(const LineSettings& s) {
    uint32_t flags = SF_BINARY;
    if (s.rts_cts)
        flags |= SF_OUTX_CTS_FLOW | (LC_HANDSHAKE << kRtsControlShift);
    else if (s.rts == Line::High)
        flags |= LC_ENABLE << kRtsControlShift;
    if (s.dtr == Line::High) flags |= LC_ENABLE << kDtrControlShift;
    if (s.xon_xoff_output) flags |= SF_OUTX;
    if (s.xon_xoff_input) flags |= SF_INX;
    return flags;
}

}  // namespace

// ( name u -- fileid 0 ): creates the file or empties an existing one, open
// for reading and writing, not shared.
Ior svc_FCREATE(Burst& b) {
    b.require(2);
    std::string name;
    if (const uint32_t ior = name_argument(b, name)) return ior;
    OpenFiles& files = b.m.services.files;
    if (files.full()) return ERR_TOO_MANY_OPEN_FILES;
    const int fd = open_retrying(name, O_RDWR | O_CREAT);
    if (fd < 0) return ior_of_name_errno(name.c_str(), errno);
    if (!lock(fd, true)) {
        ::close(fd);
        return ERR_SHARING_VIOLATION;
    }
    const bool regular = is_regular(fd);
    if (regular && ::ftruncate(fd, 0) != 0) {
        close_quietly(fd);
        return ior_of_errno(errno);
    }
    b.push(files.add({fd, regular}));
    return 0;
}

// ( name u -- 0 ). A file another opener holds is not deleted.
Ior svc_FDELETE(Burst& b) {
    b.require(2);
    std::string name;
    if (const uint32_t ior = name_argument(b, name)) return ior;
    struct stat st;
    if (::lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        const int probe = open_retrying(name, O_RDONLY | O_NONBLOCK);
        if (probe >= 0) {
            const bool held = !lock(probe, true);
            ::close(probe);
            if (held) return ERR_SHARING_VIOLATION;
        }
    }
    if (::unlink(name.c_str()) != 0) return ior_of_name_errno(name.c_str(), errno);
    return 0;
}

// ( name u fam -- fileid 0 ): opens an existing file or device; others may
// then only read it.
Ior svc_FOPEN(Burst& b) {
    b.require(3);
    const uint32_t fam = b.pop();
    std::string name;
    if (const uint32_t ior = name_argument(b, name)) return ior;
    OpenFiles& files = b.m.services.files;
    if (files.full()) return ERR_TOO_MANY_OPEN_FILES;
    const bool writes = fam & kAccessWrite;
    const int access = !writes ? O_RDONLY : (fam & kAccessRead) ? O_RDWR : O_WRONLY;
    // Opened without waiting (a serial port need not see its carrier),
    // then used with blocking transfers.
    const int fd = open_retrying(name, access | O_NONBLOCK);
    if (fd < 0) return ior_of_name_errno(name.c_str(), errno);
    struct stat st;
    uint32_t ior = 0;
    if (::fstat(fd, &st) != 0)
        ior = ior_of_errno(errno);
    else if (S_ISDIR(st.st_mode))
        ior = ERR_ACCESS_DENIED;
    else if (!lock(fd, writes))
        ior = ERR_SHARING_VIOLATION;
    if (ior) {
        ::close(fd);
        return ior;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    b.push(files.add({fd, S_ISREG(st.st_mode)}));
    return 0;
}

// ( fileid -- 0 )
Ior svc_FCLOSE(Burst& b) {
    const uint32_t id = b.pop();
    OpenFiles& files = b.m.services.files;
    const auto it = files.by_id.find(id);
    if (it == files.by_id.end()) return ERR_INVALID_HANDLE;
    const int fd = it->second.fd;
    files.by_id.erase(it);
    // The descriptor is gone even when close reports an error.
    if (::close(fd) != 0 && errno != EINTR) return ior_of_errno(errno);
    return 0;
}

// ( fileid -- ud 0 ): the whole 64-bit size.
Ior svc_FSIZEFETCH(Burst& b) {
    const OpenFile* f = file_of(b);
    if (!f) return ERR_INVALID_HANDLE;
    struct stat st;
    if (::fstat(f->fd, &st) != 0) return ior_of_errno(errno);
    const uint64_t size = uint64_t(st.st_size);
    b.push(uint32_t(size));
    b.push(uint32_t(size >> 32));
    return 0;
}

// ( fileid -- ud 0 ): the whole 64-bit position.
Ior svc_FPOSFETCH(Burst& b) {
    const OpenFile* f = file_of(b);
    if (!f) return ERR_INVALID_HANDLE;
    const off_t pos = ::lseek(f->fd, 0, SEEK_CUR);
    if (pos < 0) return ior_of_errno(errno);
    b.push(uint32_t(uint64_t(pos)));
    b.push(uint32_t(uint64_t(pos) >> 32));
    return 0;
}

// ( ud method fileid -- 0 ): the low cell of ud is a signed distance; its
// high cell is not read.
Ior svc_FPOSSTORE(Burst& b) {
    b.require(4);
    const OpenFile* f = file_of(b);
    const uint32_t method = b.pop();
    b.pop();
    const int32_t distance = int32_t(b.pop());
    if (!f) return ERR_INVALID_HANDLE;
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (method > MOVE_END) return ERR_INVALID_PARAMETER;
    if (::lseek(f->fd, distance, kWhence[method]) < 0)
        return errno == EINVAL ? ERR_NEGATIVE_SEEK : ior_of_errno(errno);
    return 0;
}

namespace {

// The arguments of FREAD and FWRITE, ( xaddr u fileid -- ), popped; the file
// is null for an id the simulator did not hand out.
struct Transfer {
    const OpenFile* file;
    uint32_t count;
    uint32_t xaddr;
};

Transfer transfer_arguments(Burst& b) {
    b.require(4);
    const OpenFile* f = file_of(b);
    const uint32_t count = b.pop();
    b.pop();   // the high cell of xaddr
    return {f, count, b.pop()};
}

}  // namespace

// ( xaddr u1 fileid -- u2 0 ): u2 less than u1 at the end of the file.
Ior svc_FREAD(Burst& b) {
    b.m.console->flush();   // what was written comes before what is read
    const auto [f, count, xaddr] = transfer_arguments(b);
    if (!f) return ERR_INVALID_HANDLE;
    if (count == 0) {
        b.push(0);
        return 0;
    }
    const HostBlock* block = b.m.space.find(xaddr, count);
    if (!block) return ERR_NOACCESS;
    uint8_t* p = block->data + (xaddr - block->base);
    const ssize_t got = read_some(*f, p, count);
    if (got < 0) return transfer_ior(errno);
    if (block->complemented) mem_write(p, p, size_t(got));
    native_program_written(b.m, p, uint32_t(got));   // a read into program memory
    b.push(uint32_t(got));
    return 0;
}

// ( xaddr u fileid -- 0 ): every byte is written, or the call fails.
Ior svc_FWRITE(Burst& b) {
    b.m.console->flush();   // the console's text first, should the file be standard output
    const auto [f, count, xaddr] = transfer_arguments(b);
    if (!f) return ERR_INVALID_HANDLE;
    if (count == 0) return 0;
    const HostBlock* block = b.m.space.find(xaddr, count);
    if (!block) return ERR_NOACCESS;
    const uint8_t* p = block->data + (xaddr - block->base);
    bool written = true;
    if (!block->complemented) {
        written = write_all(f->fd, p, count);
    } else {
        uint8_t plain[1 << 16];
        for (uint64_t done = 0; done < count && written; done += sizeof plain) {
            const size_t n = std::min<size_t>(count - done, sizeof plain);
            mem_read(plain, p + done, n);
            written = write_all(f->fd, plain, n);
        }
    }
    if (!written) return transfer_ior(errno);
    return 0;
}

// ( name1 name2 flag -- 0 ): copies name1 to name2; flag non-zero: fail when
// name2 exists. name2 is translated first.
Ior svc_FCOPY(Burst& b) {
    b.m.console->flush();   // as for FWRITE
    b.require(3);
    const bool fail_if_exists = b.pop() != 0;
    const uint8_t* to_at = GETVARPTR(b.m, b.pop(), 1, b.here());
    const uint8_t* from_at = GETVARPTR(b.m, b.pop(), 1, b.here());
    std::string from, to;
    if (const uint32_t ior = name_at(b.m, from_at, from)) return ior;
    if (const uint32_t ior = name_at(b.m, to_at, to)) return ior;
    return copy_file(from, to, fail_if_exists);
}

// ( fileid -- flags baud 0 ): read from the port; for anything that is not a
// serial port the values last read or set.
Ior svc_FPARFETCH(Burst& b) {
    const OpenFile* f = file_of(b);
    if (!f) return ERR_INVALID_HANDLE;
    ServiceState& s = b.m.services;
    LineSettings line;
    if (read_line_settings(f->fd, line)) {
        s.serial_flags = flag_word(line);
        s.serial_baud = line.baud;
    }
    b.push(s.serial_flags);
    b.push(s.serial_baud);
    return 0;
}

// ( flags baud fileid -- 0 ): 8 data bits, no parity, one stop bit; reads
// return at once with what has arrived. Nothing changes on anything that is
// not a serial port.
Ior svc_FPARSTORE(Burst& b) {
    b.require(3);
    const OpenFile* f = file_of(b);
    const uint32_t baud = b.pop();
    const uint32_t flags = b.pop();
    if (!f) return ERR_INVALID_HANDLE;
    b.m.services.serial_flags = flags;
    b.m.services.serial_baud = baud;
    write_line_settings(f->fd, line_settings(flags, baud));
    return 0;
}

}  // namespace norvex
