// Writes the fuzz targets' seed corpora: small programs that between them use
// every opcode, every service, each memory layout, the monitor's keys and the
// fault reports, in each target's input format.
//
// Usage: make_seeds DIR   (writes DIR/image, DIR/engines, DIR/options, DIR/services)
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "asm/assembler.h"
#include "fuzz/service_calls.h"

using namespace norvex;
using assembler::Assembler;
using Bytes = std::vector<uint8_t>;

namespace {

// Program memory 0-0x10000 of its own, 64 KiB of variable memory at
// 0x20000000; flags choose Harvard (0x40) and alignment checks (0x10). With
// flags 0 the layout is shared: program memory is the variable memory.
Assembler program(uint8_t flags = 0x80) {
    assembler::ImageHeader h;
    h.flags = flags;
    h.px = 0x10000;
    h.v0 = 0x20000000;
    h.vx = 0x20010000;
    h.start = flags & 0x80 ? 80 : 0x20000000 + 80;
    return Assembler(flags & 0x80 ? 0 : 0x20000000, h);
}

Bytes text(const std::string& words, uint8_t flags = 0x80) {
    Assembler a = program(flags);
    a.words(words);
    return a.finish();
}

// The text that stores a NUL-terminated name at addr.
std::string name_at(uint32_t addr, const std::string& name) {
    std::string t;
    for (size_t i = 0; i <= name.size(); ++i)
        t += std::to_string(i < name.size() ? uint8_t(name[i]) : 0) + " " + std::to_string(addr + i) + " C! ";
    return t;
}

const std::string kStop = " 0 1 DEBUG";

std::vector<std::pair<std::string, Bytes>> images() {
    std::vector<std::pair<std::string, Bytes>> v;
    v.push_back({"arithmetic", text("5 DUP + 3 - 7 XOR 2 LSHIFT 1 RSHIFT -8 2 ASHIFT 0x10000 0x10000 UM* "
                                    "100 0 7 UM/MOD 1 2 < 1 2 U< -1 0< AND OR OVER SWAP DROP" + kStop)});
    v.push_back({"memory", text("0x1234 0x20000100 ! 0x20000100 @ 7 0x20000104 C! 0x20000104 C@ "
                                "0x55AA 0x20000106 W! 0x20000106 W@ 80 C@P 80 W@P 80 @P SP@ RP@ "
                                "0x20000800 SP! 0x20000900 RP! 9 >R R@ R> 8 >R RDROP 0x200 FIP! "
                                "FIP@ 5 FW! FW@ NOP" + kStop)});
    v.push_back({"host memory", text("100 0 XALLOC DROP DROP 0x20000010 ! 'z' 0x20000010 @ 0 C!X "
                                     "0x20000010 @ 0 C@X 0x1234 0x20000010 @ 2 + 0 W!X 0x20000010 @ 2 + 0 W@X "
                                     "0x12345678 0x20000010 @ 4 + 0 !X 0x20000010 @ 4 + 0 @X "
                                     "0x20000010 @ 0 XFREE 0x20000010 >X 80 P>X 0x20000100 S>X "
                                     "0x20000200 R>X 0x100 0x20 FLASH-SE 0x101 3 FLASH-SW 0x1000 0x100 "
                                     "FLASH-E 0x20000000 0x1000 0x10 FLASH-W GETPAR" + kStop)});
    v.push_back({"files", text(name_at(0x20001000, "f") + name_at(0x20001100, "g") +
                               "0x20001000 0 FCREATE DROP 0x20001400 ! 0x20000000 >X DROP 64 "
                               "0x20001400 @ FWRITE 0x20001400 @ FSIZE@ 0x20001400 @ FPOS@ 0 0 0 "
                               "0x20001400 @ FPOS! 0x20002000 >X DROP 64 0x20001400 @ FREAD "
                               "0x20001400 @ FPAR@ 0 9600 0x20001400 @ FPAR! 0x20001400 @ FCLOSE "
                               "0x20001000 0 0x80000000 FOPEN 0x20001000 0x20001100 1 FCOPY "
                               "0x20001100 0 FDELETE 7 FCLOSE FINIT" + kStop)});
    v.push_back({"console", text("PAGE 3 4 ATXY ATXY? ATMAX 0x1E COLOR! COLOR@ 'h' EMIT 'i' EMIT EMIT? "
                                 "KEY? KEY KEY SYSTICK TIME@ DATE@ 5 WAITMS 0 CINIT 0 TINIT 0 XINIT" +
                                 kStop)});
    v.push_back({"shared layout", text("1 2 + 0x20000100 ! 0x20000100 @ 0x20000050 C@P" + kStop, 0x00)});
    v.push_back({"harvard aligned", text("0x20000101 @", 0xD0)});
    v.push_back({"illegal", text("1 2 C!P")});
    v.push_back({"no service", text("1 V")});
    v.push_back({"underflow", text("RDROP RDROP RDROP RDROP")});
    v.push_back({"bad xaddr", text("0x12345678 0 C@X")});
    v.push_back({"bye", text("1 BYE")});
    {
        // A counted loop of calls, EXECUTE, NEST through a threaded list.
        Assembler a = program();
        auto sub = a.label(), go = a.label(), loop = a.label(), list = a.label(), field = a.label(),
             nested = a.label(), back = a.label(), skip = a.label();
        a.branch(go);
        a.bind(sub);
        a.words("DUP + EXIT");
        a.bind(field);    // a code field: where NEST goes
        a.cell(nested);
        a.bind(list);     // a threaded list of one entry
        a.cell(field);
        a.bind(nested);
        a.words("'n' EMIT DROP");
        a.branch(back);
        a.bind(go);
        a.words("1 9 >R");
        a.bind(loop);
        a.call(sub);
        a.nbranch(loop);
        a.lit(sub);
        a.op(Op::EXECUTE);
        a.lit(list);
        a.op(Op::FIPSTORE);
        a.op(Op::NEST);
        a.bind(back);
        a.lit(0);
        a.zbranch(skip);
        a.words("'y' EMIT");
        a.bind(skip);
        a.words(kStop);
        v.push_back({"control", a.finish()});
    }
    {
        Assembler a = program();
        auto self = a.label_here();
        a.branch(self);
        v.push_back({"endless", a.finish()});
    }
    return v;
}

// Seeds for fuzz_engines alone, with the mode byte that shapes the run
// (see fuzz_engines.cpp): small code areas, tiny memories, stacks anywhere.
struct EngineSeed {
    std::string name;
    uint8_t mode;
    Bytes image;
};

std::vector<EngineSeed> engine_seeds() {
    std::vector<EngineSeed> v;
    {
        // A routine rewritten with FLASH-W before each call, in a 4 KiB code area.
        Assembler a = program();
        auto go = a.label(), routine = a.label(), again = a.label();
        a.branch(go);
        a.bind(routine);
        a.words("0 DUP + 1 + EXIT");
        a.bind(go);
        a.words("0 200 >R");
        a.bind(again);
        a.words("R@ 8 LSHIFT 4 OR 0x20000200 ! R@ 24 RSHIFT 0x20000204 C! 0x20000200");
        a.lit(routine);
        a.words("5 FLASH-W DROP");
        a.call(routine);
        a.op(Op::PLUS);
        a.nbranch(again);
        a.words(kStop);
        v.push_back({"code rewritten in a small area", 1 | 2, a.finish()});
    }
    {
        // The data stack, then the return stack, moved onto code that has run.
        Assembler a = program();
        auto go = a.label(), five = a.label();
        a.branch(go);
        a.bind(five);
        a.words("5 EXIT");
        a.bind(go);
        a.call(five);
        a.words("SP@ 0x20000200 !");
        a.lit(five);
        a.words("4 + SP! 0x704 0x20000200 @ SP! RP@ 0x20000204 !");
        a.call(five);
        a.lit(five);
        a.words("4 + RP! 0x704 >R 0x20000204 @ RP!");
        a.call(five);
        a.words(kStop);
        v.push_back({"stacks in program memory", 1, a.finish()});
    }
    {
        // Program memory of 1 to 64 bytes: the header's first bytes are its
        // code (start at #p0).
        assembler::ImageHeader h;
        h.letters[0] = char(Op::FETCHP);
        h.letters[1] = char(Op::NEST);
        h.letters[2] = char(Op::EXIT);
        h.flags = 0x80;
        h.p0 = 0;
        h.px = 2;
        h.v0 = 0x20000000;
        h.vx = 0x20000100;
        h.start = 0;
        v.push_back({"tiny program memory", 1 | 8, Assembler(0, h).finish()});
        h.vx = 0x2000000F;
        v.push_back({"tiny memories", 1 | 8 | 16, Assembler(0, h).finish()});
    }
    {
        // Stacks placed by the header's #s0 and #r0: in program memory.
        Assembler a = program();
        a.header().s0 = 0x8000;
        a.header().r0 = 0x9000;
        a.words("1 2 + >R 3 4 R> 0x20000000 ! SP@ RP@" + kStop);
        v.push_back({"stacks placed in program memory", 1 | 32, a.finish()});
    }
    return v;
}

void write(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
}

Bytes join(std::initializer_list<std::string> parts, const Bytes& tail) {
    Bytes b;
    for (const std::string& p : parts) b.insert(b.end(), p.begin(), p.end());
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

// A mode byte (0 too) as the first part of an input.
std::string mode(uint8_t bits) { return std::string(1, char(bits)); }

std::string slug(const std::string& name) {
    std::string s = name;
    for (char& c : s)
        if (c == ' ') c = '-';
    return s;
}

// fuzz_services: calls with their arguments. A kRecent argument names one of
// the last results: after FCREATE slot 1 holds the file id (slot 0 its ior).
struct Calls {
    Bytes bytes{0, 0};   // no terminal, no keys
    void call(const char* service, std::initializer_list<std::pair<fuzz::ArgKind, uint32_t>> args) {
        const std::vector<uint32_t>& codes = fuzz::service_codes();
        const uint32_t code = service_named(service)->code;
        size_t index = 0;
        while (codes[index] != code) ++index;
        bytes.push_back(uint8_t(index));
        bytes.push_back(uint8_t(args.size()));
        for (const auto& [kind, value] : args) {
            bytes.push_back(kind);
            for (size_t i = 0; i < fuzz::value_bytes(kind); ++i) bytes.push_back(uint8_t(value >> (8 * i)));
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path dir = argv[1];
    for (const char* target : {"image", "engines", "options", "services"}) fs::create_directories(dir / target);

    const auto all = images();
    for (const auto& [name, bytes] : all) {
        const std::string z(1, '\0');
        // norvex on the image file "i"; the interpreter alone; and norvex-rom.
        write(dir / "image" / slug(name), join({mode(0), "i rest of the line", z, "k", z}, bytes));
        write(dir / "image" / (slug(name) + "-interpreted"), join({mode(1), "i", z, z}, bytes));
        write(dir / "image" / (slug(name) + "-rom-terminal"), join({mode(6), "text", z, "ab", z}, bytes));
        write(dir / "engines" / slug(name), join({mode(1), "key", z}, bytes));
    }
    for (const EngineSeed& e : engine_seeds())
        write(dir / "engines" / slug(e.name), join({mode(e.mode), "key", std::string(1, '\0')}, e.image));
    const std::string z(1, '\0');
    const Bytes& adder = all.front().second;
    write(dir / "image" / "step-keys", join({mode(0), "\\i", z, "x s u\r", z}, adder));
    write(dir / "image" / "trace", join({mode(0), "/i", z, z}, adder));
    write(dir / "image" / "options", join({mode(0), "+A -H +P0.10000 +V20000000.10000 +S50 \"i\" a  b", z, z}, adder));
    write(dir / "image" / "missing", join({mode(0), "-A", z, "k", z}, adder));
    write(dir / "image" / "no-memory", join({mode(0), "+V0.0 i", z, z}, adder));

    const Bytes header(adder.begin(), adder.begin() + 80);
    int n = 0;
    for (const std::string line : {"i", "+a -a +h -h -p +p0.100 +v1000.1000 +s50 \"my image\" rest",
                                   "\\x", "/x y", "+Z", "-Q n", "+P1", "+V", "", "  \"unterminated",
                                   "+A+H+S10-Pimg"})
    {
        Bytes seed = header;   // the header, then the line
        seed.insert(seed.end(), line.begin(), line.end());
        write(dir / "options" / ("line-" + std::to_string(n++)), seed);
    }

    Calls files;
    using fuzz::kName, fuzz::kRecent, fuzz::kSmall, fuzz::kBufferHost, fuzz::kAccessMask, fuzz::kLiteral;
    files.call("FCREATE", {{kName, 0}, {kSmall, 0}});
    files.call("FWRITE", {{kBufferHost, 0}, {kSmall, 0}, {kSmall, 100}, {kRecent, 1}});
    files.call("FSIZE@", {{kRecent, 1}});
    files.call("FPOS!", {{kSmall, 10}, {kSmall, 0}, {kSmall, 0}, {kRecent, 1}});
    files.call("FREAD", {{kBufferHost, 0x100}, {kSmall, 0}, {kSmall, 50}, {kRecent, 1}});
    files.call("FCLOSE", {{kRecent, 1}});
    files.call("FOPEN", {{kName, 0}, {kSmall, 0}, {kAccessMask, 3}});
    files.call("FCOPY", {{kName, 2}, {kName, 1}, {kSmall, 1}});
    files.call("FDELETE", {{kName, 1}, {kSmall, 0}});
    files.call("FOPEN", {{kName, 7}, {kSmall, 0}, {kAccessMask, 2}});
    write(dir / "services" / "files", files.bytes);

    Calls memory;
    memory.call("XALLOC", {{kSmall, 64}, {kSmall, 0}});
    memory.call("XFREE", {{kRecent, 2}, {kSmall, 0}});   // the address XALLOC left under 0 0
    memory.call("FLASH-E", {{fuzz::kProgramAddress, 0x100}, {kSmall, 64}});
    memory.call("FLASH-W", {{fuzz::kBufferAddress, 0}, {fuzz::kProgramAddress, 0x200}, {kSmall, 16}});
    memory.call(">X", {{fuzz::kBufferAddress, 4}});
    memory.call("GETPAR", {});
    memory.call("ATXY", {{kSmall, 3}, {kSmall, 4}});
    memory.call("COLOR!", {{kLiteral, 0x4E}});
    memory.call("KEY", {});
    write(dir / "services" / "memory-console", memory.bytes);
    return 0;
}
