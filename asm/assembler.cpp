#include "asm/assembler.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "image/header.h"
#include "services/dispatch.h"

namespace norvex::assembler {

std::vector<uint8_t> ImageHeader::bytes() const {
    std::vector<uint8_t> h(kHeaderBytes, 0);
    h[0] = uint8_t(letters[0]);
    h[1] = uint8_t(letters[1]);
    h[2] = uint8_t(letters[2]);
    h[H_FLAGS] = flags;
    const std::pair<HeaderCell, uint32_t> cells[] = {
        {H_STAMP, stamp}, {H_PV, pv},   {H_START, start}, {H_PX, px},     {H_P0, p0},
        {H_VX, vx},       {H_R0, r0},   {H_RSTACK, rstack}, {H_S0, s0},   {H_STACK, stack},
        {H_CPB, cpb},     {H_PB, pb},   {H_CFB, cfb},     {H_FB, fb},     {H_CTIB, ctib},
        {H_TB, tb},       {H_CTOB, ctob}, {H_HX, hx},     {H_V0, v0},
    };
    for (const auto& [offset, value] : cells) store32(&h[offset], value);
    return h;
}

std::optional<Op> opcode_named(std::string_view mnemonic) {
    for (uint32_t code = 0; code < 64; ++code) {
        const std::string_view name = kOpInfo[code].mnemonic;
        if (name.size() != mnemonic.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = std::toupper(uint8_t(mnemonic[i])) == uint8_t(name[i]);
        if (same) return Op(code);
    }
    return std::nullopt;
}

Assembler::Assembler(uint32_t origin, ImageHeader header) : origin_(origin), header_(header) {}

Label Assembler::label() {
    labels_.emplace_back();
    return Label{uint32_t(labels_.size() - 1)};
}

Label Assembler::label_here() {
    Label l = label();
    bind(l);
    return l;
}

void Assembler::bind(Label l) {
    if (labels_.at(l.id)) throw std::logic_error("label bound twice");
    labels_[l.id] = here();
}

uint32_t Assembler::address(Label l) const {
    if (!labels_.at(l.id)) throw std::logic_error("label not bound");
    return *labels_[l.id];
}

void Assembler::op(Op o) { code_.push_back(uint8_t(o)); }

void Assembler::op(std::string_view mnemonic) {
    const auto o = opcode_named(mnemonic);
    if (!o) throw std::invalid_argument("unknown mnemonic: " + std::string(mnemonic));
    if (kOpInfo[uint8_t(*o)].operand_bytes)
        throw std::invalid_argument(std::string(mnemonic) + " takes an operand");
    op(*o);
}

void Assembler::ops(std::string_view mnemonics) {
    size_t pos = 0;
    while (pos < mnemonics.size()) {
        while (pos < mnemonics.size() && mnemonics[pos] == ' ') ++pos;
        const size_t end = std::min(mnemonics.find(' ', pos), mnemonics.size());
        if (end > pos) op(mnemonics.substr(pos, end - pos));
        pos = end;
    }
}

void Assembler::words(std::string_view text) {
    std::istringstream in{std::string(text)};
    for (std::string w; in >> w;) {
        if (w.size() == 3 && w[0] == '\'' && w[2] == '\'') {
            lit(uint8_t(w[1]));
        } else if (std::isdigit(uint8_t(w[0])) || (w[0] == '-' && w.size() > 1)) {
            lit(uint32_t(std::stoll(w, nullptr, 0)));
        } else if (const ServiceEntry* service = service_named(w)) {
            syscall(service->code);
        } else {
            op(w);
        }
    }
}

void Assembler::cell(uint32_t x) {
    for (int i = 0; i < 4; ++i) code_.push_back(uint8_t(x >> (8 * i)));
}

void Assembler::byte(uint8_t b) { code_.push_back(b); }

void Assembler::bytes(std::string_view s) { code_.insert(code_.end(), s.begin(), s.end()); }

void Assembler::lit(uint32_t value) {
    op(Op::LIT);
    cell(value);
}

void Assembler::relative(Op o, Label target) {
    op(o);
    fixups_.push_back({uint32_t(code_.size()), target, true});
    cell(0);
}

void Assembler::cell(Label address) {
    fixups_.push_back({uint32_t(code_.size()), address, false});
    cell(0);
}

void Assembler::lit(Label address) {
    op(Op::LIT);
    cell(address);
}

void Assembler::call(Label target) { relative(Op::CALL, target); }
void Assembler::branch(Label target) { relative(Op::BRANCH, target); }
void Assembler::zbranch(Label target) { relative(Op::ZBRANCH, target); }
void Assembler::nbranch(Label target) { relative(Op::NBRANCH, target); }

void Assembler::call(uint32_t address) {
    op(Op::CALL);
    cell(address - (here() + 4));
}

void Assembler::syscall(uint32_t service_code) {
    lit(service_code);
    op(Op::SYSCALL);
}

std::vector<uint8_t> Assembler::finish() {
    for (const Fixup& f : fixups_) {
        const uint32_t target = address(f.target);
        const uint32_t after = origin_ + kHeaderBytes + f.at + 4;
        store32(&code_[f.at], f.relative ? target - after : target);
    }
    std::vector<uint8_t> image = header_.bytes();
    image.insert(image.end(), code_.begin(), code_.end());
    return image;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace norvex::assembler
