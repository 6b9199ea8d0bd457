// A small assembler for the virtual processor: builds an image (header and
// program bytes) from mnemonics, with labels and relative CALL and branch
// offsets resolved when the image is finished.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine.h"
#include "services/dispatch.h"

namespace norvex::assembler {

// The 80-byte header, field by field.
struct ImageHeader {
    char letters[3] = {'N', 'V', 'X'};
    uint8_t flags = 0;     // HF_PRGSEP 0x80, HF_HARVARD 0x40, HF_ALIGN 0x10
    uint32_t stamp = 0;
    uint32_t pv = 0;
    uint32_t start = 0;
    uint32_t px = 0, p0 = 0;
    uint32_t vx = 0;
    uint32_t r0 = 0, rstack = 0;
    uint32_t s0 = 0, stack = 0;
    uint32_t cpb = 0, pb = 0;
    uint32_t cfb = 0, fb = 0;
    uint32_t ctib = 0, tb = 0;
    uint32_t ctob = 0, hx = 0;
    uint32_t v0 = 0;

    std::vector<uint8_t> bytes() const;
};

struct Label {
    uint32_t id;
};

// The opcode of a mnemonic as the trace line spells it ("0BRANCH", "UM/MOD"),
// case-insensitive.
std::optional<Op> opcode_named(std::string_view mnemonic);

class Assembler {
public:
    // origin: the program address of the image's first byte (PRGOFF).
    explicit Assembler(uint32_t origin = 0, ImageHeader header = {});

    ImageHeader& header() { return header_; }
    // Program address of the next byte (the header occupies the first 80).
    uint32_t here() const { return origin_ + 80 + uint32_t(code_.size()); }

    Label label();
    Label label_here();
    void bind(Label l);
    uint32_t address(Label l) const;   // once bound

    // One instruction without operand.
    void op(Op o);
    void op(std::string_view mnemonic);   // throws std::invalid_argument for an unknown name
    // A sequence of operand-free mnemonics separated by blanks: "DUP + SWAP".
    void ops(std::string_view mnemonics);
    // A program as text: numbers (decimal, 0x hex, negative) and 'c' become
    // LIT, service names ("XALLOC") a LIT of their code and SYSCALL, anything
    // else an opcode mnemonic. "100 0 XALLOC DROP 0 C@X".
    void words(std::string_view text);

    void lit(uint32_t value);
    void call(Label target);
    void call(uint32_t address);
    void branch(Label target);
    void zbranch(Label target);
    void nbranch(Label target);
    void syscall(uint32_t service_code);   // LIT code, SYSCALL
    void syscall(Service s) { syscall(uint32_t(s)); }

    // Raw data in the program bytes.
    void byte(uint8_t b);
    void cell(uint32_t x);
    void cell(Label address);   // the label's absolute program address
    void lit(Label address);    // LIT with the label's absolute program address
    void bytes(std::string_view s);

    // Header and program bytes with every label resolved; throws
    // std::logic_error for a label used but never bound.
    std::vector<uint8_t> finish();

private:
    void relative(Op o, Label target);

    uint32_t origin_;
    ImageHeader header_;
    std::vector<uint8_t> code_;              // program bytes after the header
    std::vector<std::optional<uint32_t>> labels_;
    struct Fixup {
        uint32_t at;   // index of the operand in code_
        Label target;
        bool relative;   // offset from the byte after the operand, or absolute
    };
    std::vector<Fixup> fixups_;
};

// Writes bytes to a file; throws std::runtime_error on failure.
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace norvex::assembler
