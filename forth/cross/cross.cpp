// What the cross-compiler's words work with: reading the source, words and
// their headers, data space, code generation and the finished image. The
// words themselves are listed in vocabulary.cpp.
#include "forth/cross/cross.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "forth/cross/layout.h"
#include "image/header.h"

namespace norvex::forth {

using assembler::Label;

CrossCompiler::CrossCompiler() : asm_(0) {}

std::string CrossCompiler::upper_case(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = char(upper(uint8_t(c)));
    return u;
}

// ---------------------------------------------------------------------------
// Source reading

[[noreturn]] void CrossCompiler::fail(const std::string& message) const {
    const size_t line = 1 + size_t(std::count(text_.begin(), text_.begin() + long(std::min(pos_, text_.size())), '\n'));
    throw CrossError(origin_ + ":" + std::to_string(line) + ": " + message);
}

std::string_view CrossCompiler::parse_name() {
    while (pos_ < text_.size() && uint8_t(text_[pos_]) <= ' ') ++pos_;
    const size_t start = pos_;
    while (pos_ < text_.size() && uint8_t(text_[pos_]) > ' ') ++pos_;
    const std::string_view name = text_.substr(start, pos_ - start);
    if (pos_ < text_.size()) ++pos_;   // past the delimiter, as the target's PARSE-NAME
    return name;
}

std::string_view CrossCompiler::parse(char delimiter) {
    const size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != delimiter) ++pos_;
    const std::string_view s = text_.substr(start, pos_ - start);
    if (pos_ < text_.size()) ++pos_;
    else if (delimiter != '\n') fail(std::string("missing ") + delimiter);
    return s;
}

// The first character of the next name, for CHAR and [CHAR].
uint8_t CrossCompiler::parse_char(std::string_view word) {
    const std::string_view c = parse_name();
    if (c.empty()) fail(std::string(word) + " needs a character");
    return uint8_t(c[0]);
}

void CrossCompiler::line_comment() { parse('\n'); }
void CrossCompiler::skip_comment_paren() { parse(')'); }

std::optional<uint32_t> CrossCompiler::number(std::string_view t) const {
    if (t.size() == 3 && t[0] == '\'' && t[2] == '\'') return uint8_t(t[1]);
    uint32_t base = 10;
    if (!t.empty()) {
        switch (t[0]) {
        case '#': base = 10; t.remove_prefix(1); break;
        case '$': base = 16; t.remove_prefix(1); break;
        case '%': base = 2; t.remove_prefix(1); break;
        default: break;
        }
    }
    bool negative = false;
    if (!t.empty() && t[0] == '-') {
        negative = true;
        t.remove_prefix(1);
    }
    if (t.empty()) return std::nullopt;
    uint32_t value = 0;
    for (char c : t) {
        const uint8_t u = upper(uint8_t(c));
        uint32_t digit;
        if (u >= '0' && u <= '9') digit = u - '0';
        else if (u >= 'A' && u <= 'Z') digit = u - 'A' + 10;
        else return std::nullopt;
        if (digit >= base) return std::nullopt;
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

void CrossCompiler::compile_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CrossError(path + ": cannot read");
    std::ostringstream text;
    text << in.rdbuf();
    compile_text(text.str(), path);
}

void CrossCompiler::compile_text(std::string_view text, const std::string& origin) {
    text_ = text;
    pos_ = 0;
    origin_ = origin;
    for (std::string_view t = parse_name(); !t.empty(); t = parse_name()) {
        if (compiling_) compile_token(t);
        else interpret_token(t);
    }
    if (compiling_) fail("definition of " + current_->name + " not ended");
    text_ = {};
}

// ---------------------------------------------------------------------------
// Words

CrossCompiler::Word* CrossCompiler::find(std::string_view name) {
    const auto it = index_.find(upper_case(name));
    return it == index_.end() ? nullptr : &words_[it->second];
}

const CrossCompiler::Word* CrossCompiler::find(std::string_view name) const {
    const auto it = index_.find(upper_case(name));
    return it == index_.end() ? nullptr : &words_[it->second];
}

CrossCompiler::Word& CrossCompiler::require(std::string_view name) {
    if (Word* w = find(name)) return *w;
    fail("undefined word " + std::string(name));
}

std::optional<uint32_t> CrossCompiler::xt_of(std::string_view name) const {
    const Word* w = find(name);
    return w ? std::optional<uint32_t>(w->xt) : std::nullopt;
}

// A header in data space, then the nt cell in program memory; the word's
// code starts after it.
CrossCompiler::Word& CrossCompiler::make_word(std::string_view name, Kind kind) {
    if (!data_origin_set_) fail("DATA-SPACE must come before the first definition");
    if (name.empty()) fail("name expected");
    if (name.size() > kMaxNameLength) fail("name too long");
    if (is_table_word(upper_case(name))) fail(std::string(name) + " names a table word of the cross-compiler");
    const uint32_t hash = name_hash(name);
    align();
    const uint32_t nt = here();
    comma(0);   // link: LINK-NAMES
    comma(0);   // xt: below
    c_comma(0);
    c_comma(0);
    c_comma(uint8_t(name.size()));
    c_comma(hash_tag(hash));
    for (char c : name) c_comma(uint8_t(c));
    align();

    flush();
    asm_.cell(nt);
    Word& w = words_.emplace_back();
    w.name = std::string(name);
    w.kind = kind;
    w.nt = nt;
    w.xt = asm_.here();
    store(nt + kXtOffset, w.xt);
    index_[upper_case(name)] = words_.size() - 1;
    latest_ = &w;
    return w;
}

void CrossCompiler::set_flag(Word& w, uint8_t flag) {
    const uint32_t at = w.nt + kFlagsOffset - data_origin_;
    data_[at] |= flag;
}

uint8_t CrossCompiler::flags_of(const Word& w) const { return data_[w.nt + kFlagsOffset - data_origin_]; }

// ---------------------------------------------------------------------------
// Data space

void CrossCompiler::allot(uint32_t n) { data_.resize(data_.size() + n, 0); }

void CrossCompiler::comma(uint32_t x) {
    for (int i = 0; i < 4; ++i) data_.push_back(uint8_t(x >> (8 * i)));
}

void CrossCompiler::c_comma(uint8_t c) { data_.push_back(c); }

void CrossCompiler::align() {
    while (data_.size() % 4) data_.push_back(0);
}

void CrossCompiler::store(uint32_t addr, uint32_t x) {
    const uint32_t at = addr - data_origin_;
    if (at > data_.size() || data_.size() - at < 4) fail("store outside data space");
    for (int i = 0; i < 4; ++i) data_[at + uint32_t(i)] = uint8_t(x >> (8 * i));
}

void CrossCompiler::c_store(uint32_t addr, uint8_t c) {
    const uint32_t at = addr - data_origin_;
    if (at >= data_.size()) fail("store outside data space");
    data_[at] = c;
}

// The characters at HERE, then aligned: as S" compiles them.
uint32_t CrossCompiler::string_literal(std::string_view s) {
    const uint32_t a = here();
    for (char c : s) c_comma(uint8_t(c));
    align();
    return a;
}

// A count byte and the characters, as ," and C" lay them down.
void CrossCompiler::counted_string(std::string_view s) {
    if (s.size() > 255) fail("string too long");
    c_comma(uint8_t(s.size()));
    for (char c : s) c_comma(uint8_t(c));
}

// ---------------------------------------------------------------------------
// Code generation. A call is held back until the next instruction or label:
// if the definition ends (or exits) right after it, it becomes a branch. An
// EXECUTE there becomes >R EXIT.

void CrossCompiler::flush() {
    if (pending_call_) {
        asm_.call(*pending_call_);
        pending_call_.reset();
    }
    if (pending_execute_) {
        asm_.op(Op::EXECUTE);
        pending_execute_ = false;
    }
}

void CrossCompiler::emit_op(Op o) {
    flush();
    asm_.op(o);
}

void CrossCompiler::emit_lit(uint32_t x) {
    flush();
    asm_.lit(x);
}

void CrossCompiler::emit_call(uint32_t xt) {
    flush();
    pending_call_ = xt;
}

void CrossCompiler::emit_branch_to(Op o, uint32_t address) {
    flush();
    asm_.op(o);
    asm_.cell(address - (asm_.here() + 4));
}

void CrossCompiler::emit_exit() {
    if (pending_call_) {
        const uint32_t target = *pending_call_;
        pending_call_.reset();
        emit_branch_to(Op::BRANCH, target);
    } else {
        if (pending_execute_) {
            asm_.op(Op::TOR);
            pending_execute_ = false;
        }
        asm_.op(Op::EXIT);
    }
}

void CrossCompiler::emit_word(const Word& w) {
    switch (w.kind) {
    case Kind::Prim:
        flush();
        if (w.code == std::vector<uint8_t>{uint8_t(Op::EXECUTE)}) pending_execute_ = true;
        else for (uint8_t b : w.code) asm_.byte(b);
        break;
    case Kind::Value:
        emit_lit(w.value);
        break;
    case Kind::Colon:
    case Kind::Defer:
        emit_call(w.xt);
        break;
    }
}

Label CrossCompiler::mark() {
    flush();
    return asm_.label_here();
}

void CrossCompiler::resolve(Label l) {
    flush();
    asm_.bind(l);
}

// ---------------------------------------------------------------------------
// Host stack

uint32_t CrossCompiler::pop() {
    if (stack_.empty()) fail("stack empty");
    const uint32_t x = stack_.back();
    stack_.pop_back();
    return x;
}

// ---------------------------------------------------------------------------
// The image

std::vector<uint8_t> CrossCompiler::image() {
    if (compiling_) throw CrossError("a definition is not ended");
    if (!start_) throw CrossError("no start address (START!)");
    if (linked_ != words_.size()) throw CrossError("names defined after LINK-NAMES are not linked");
    if (data_.size() % 4) throw CrossError("data space does not end aligned");
    flush();
    while (asm_.here() % 4) asm_.op(Op::NOP);

    assembler::ImageHeader& h = asm_.header();
    if (header_flags_) h.flags = *header_flags_;
    h.pv = asm_.here();
    h.start = *start_;
    for (const auto& [offset, x] : header_cells_) {
        switch (offset) {
        case H_STAMP: h.stamp = x; break;
        case H_PX: h.px = x; break;
        case H_P0: h.p0 = x; break;
        case H_VX: h.vx = x; break;
        case H_R0: h.r0 = x; break;
        case H_RSTACK: h.rstack = x; break;
        case H_S0: h.s0 = x; break;
        case H_STACK: h.stack = x; break;
        case H_CPB: h.cpb = x; break;
        case H_PB: h.pb = x; break;
        case H_CFB: h.cfb = x; break;
        case H_FB: h.fb = x; break;
        case H_CTIB: h.ctib = x; break;
        case H_TB: h.tb = x; break;
        case H_CTOB: h.ctob = x; break;
        case H_HX: h.hx = x; break;
        case H_V0: h.v0 = x; break;
        default: break;
        }
    }
    asm_.cell(uint32_t(data_.size()));
    asm_.bytes(std::string_view(reinterpret_cast<const char*>(data_.data()), data_.size()));
    return asm_.finish();
}

std::string CrossCompiler::symbol_map() const {
    std::vector<const Word*> sorted;
    for (const Word& w : words_) sorted.push_back(&w);
    std::sort(sorted.begin(), sorted.end(), [](const Word* a, const Word* b) { return a->xt < b->xt; });
    std::ostringstream out;
    out << std::hex;
    for (const Word* w : sorted) out << w->xt << ' ' << w->name << '\n';
    return out.str();
}

}  // namespace norvex::forth
