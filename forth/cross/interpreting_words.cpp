// The words the cross-compiler runs at the top level: defining words, the
// flags of the latest header, the directives that place the image, data
// space, and the host stack. vocabulary.cpp lists them by word set.
#include <sstream>
#include <vector>

#include "forth/cross/cross.h"
#include "forth/cross/layout.h"
#include "image/header.h"

namespace norvex::forth {

namespace {

uint8_t lower_bits(uint32_t x) { return uint8_t(x & 0xFF); }

// The stack picture of a comment "( a b -- c )": items before and after "--".
bool stack_picture(std::string_view effect, int& in, int& out) {
    std::istringstream words{std::string(effect)};
    std::string w;
    in = out = 0;
    bool after = false;
    while (words >> w) {
        if (w == "--") after = true;
        else (after ? out : in) += 1;
    }
    return after;
}

}  // namespace

// ---------------------------------------------------------------------------
// Defining words

void CrossCompiler::define_colon() {
    Word& w = make_word(parse_name(), Kind::Colon);
    current_ = &w;
    compiling_ = true;
    control_.clear();
}

void CrossCompiler::define_prim() {
    Word& w = make_word(parse_name(), Kind::Prim);
    std::vector<uint8_t> code;
    for (;;) {
        const std::string_view t = parse_name();
        if (t.empty()) fail("PRIM: " + w.name + " not ended");
        if (t == ";") break;
        if (t == "(") {
            const std::string_view comment = parse(')');
            if (w.effect.empty()) w.effect = std::string(comment);
            continue;
        }
        if (t == "\\") {
            parse('\n');
            continue;
        }
        if (const auto o = assembler::opcode_named(t)) {
            if (has_operand(uint8_t(*o))) fail(std::string(t) + " takes an operand");
            code.push_back(uint8_t(*o));
            continue;
        }
        std::optional<uint32_t> literal = number(t);
        if (!literal) {
            if (const ServiceEntry* service = service_named(t)) literal = service->code;
        }
        if (!literal) {
            const Word* v = find(t);
            if (!v || v->kind != Kind::Value) fail("not an opcode, number, service or constant: " + std::string(t));
            literal = v->value;
        }
        code.push_back(uint8_t(Op::LIT));
        for (int i = 0; i < 4; ++i) code.push_back(uint8_t(*literal >> (8 * i)));
    }
    if (code.size() > 255) fail("PRIM: " + w.name + " is too long to inline");
    w.code = code;
    for (uint8_t b : code) asm_.byte(b);
    asm_.op(Op::EXIT);
    set_flag(w, kInline);
    c_store(w.nt + kInlineOffset, uint8_t(code.size()));
}

// CONSTANT, VARIABLE and CREATE: code that pushes one literal, compiled
// inline as that literal, with room for DOES> to turn its EXIT into a branch
// (its first byte says what made the word: a NOP, or kMadeByVariable).
void CrossCompiler::finish_value(Word& w, uint32_t value, uint8_t made_by) {
    w.value = value;
    asm_.lit(value);
    asm_.op(Op::EXIT);
    asm_.byte(made_by);
    for (int i = 0; i < 3; ++i) asm_.op(Op::NOP);
    set_flag(w, kInline);
    c_store(w.nt + kInlineOffset, 5);
}


void CrossCompiler::define_constant() {
    const uint32_t x = pop();
    finish_value(make_word(parse_name(), Kind::Value), x);
}

void CrossCompiler::define_variable() {
    Word& w = make_word(parse_name(), Kind::Value);
    finish_value(w, here(), kMadeByVariable);
    comma(0);
}

void CrossCompiler::define_create() {
    Word& w = make_word(parse_name(), Kind::Value);
    finish_value(w, here());
}

// A cell in data space holds the xt; IS sets it.
void CrossCompiler::define_defer() {
    Word& w = make_word(parse_name(), Kind::Defer);
    w.value = here();
    comma(0);
    asm_.lit(w.value);
    asm_.ops("@ EXECUTE EXIT");
}

void CrossCompiler::set_deferred() {
    Word& w = require(parse_name());
    if (w.kind != Kind::Defer) fail(w.name + " is not a DEFER word");
    store(w.value, pop());
}

// ---------------------------------------------------------------------------
// Flags of the latest header

void CrossCompiler::mark_immediate() {
    if (!latest_) fail("IMMEDIATE without a definition");
    set_flag(*latest_, kImmediate);
}

void CrossCompiler::mark_compile_only() {
    if (!latest_) fail("COMPILE-ONLY without a definition");
    set_flag(*latest_, kCompileOnly);
}

// The fold arity comes from the primitive's stack comment.
void CrossCompiler::mark_foldable() {
    int in = 0, out = 0;
    if (!latest_ || latest_->kind != Kind::Prim || !stack_picture(latest_->effect, in, out) || in < 1 ||
        in > 2 || out != 1)
        fail("FOLDABLE needs a PRIM: with ( x -- x' ) or ( x1 x2 -- x3 )");
    set_flag(*latest_, uint8_t(in));
}

// ---------------------------------------------------------------------------
// Directives that place the image

void CrossCompiler::set_data_space() {
    if (data_origin_set_) fail("DATA-SPACE given twice");
    data_origin_ = pop();
    data_origin_set_ = true;
}

// ( x offset -- ): the flags byte, or a header cell the image does not compute.
void CrossCompiler::set_header_cell() {
    const uint32_t offset = pop(), x = pop();
    if (offset == H_FLAGS) header_flags_ = lower_bits(x);
    else if (offset < kHeaderBytes && offset % 4 == 0 && offset != H_PV && offset != H_START)
        header_cells_[offset] = x;
    else fail("HEADER! offset " + std::to_string(offset) + " is not a header cell the source sets");
}

void CrossCompiler::set_start() { start_ = pop(); }

// ( wid -- ): every word made so far goes into the threads of that word list,
// each thread newest first.
void CrossCompiler::link_names() {
    const uint32_t wid = pop();
    std::vector<uint32_t> heads(kThreads, 0);
    for (const Word& w : words_) {
        const uint32_t t = hash_thread(name_hash(w.name));
        store(w.nt + kLinkOffset, heads[t]);
        heads[t] = w.nt;
    }
    for (uint32_t t = 0; t < kThreads; ++t) store(wid + kWordlistThreads + 4 * t, heads[t]);
    linked_ = words_.size();
}

void CrossCompiler::push_code_here() {
    flush();
    push(asm_.here());
}

// ( x -- ): a cell of program memory that no word's code holds.
void CrossCompiler::code_comma() {
    flush();
    asm_.cell(pop());
}

// ---------------------------------------------------------------------------
// Data space

void CrossCompiler::push_here() { push(here()); }
void CrossCompiler::data_comma() { comma(pop()); }
void CrossCompiler::data_c_comma() { c_comma(lower_bits(pop())); }
void CrossCompiler::data_allot() { allot(pop()); }
void CrossCompiler::data_align() { align(); }

void CrossCompiler::data_store() {
    const uint32_t a = pop();
    store(a, pop());
}

void CrossCompiler::data_c_store() {
    const uint32_t a = pop();
    c_store(a, lower_bits(pop()));
}

void CrossCompiler::data_counted_string() { counted_string(parse('"')); }

// ---------------------------------------------------------------------------
// The host stack

void CrossCompiler::push_xt() { push(require(parse_name()).xt); }

void CrossCompiler::push_char() { push(parse_char("CHAR")); }

void CrossCompiler::host_dup() {
    const uint32_t x = pop();
    push(x);
    push(x);
}

void CrossCompiler::host_drop() { pop(); }

void CrossCompiler::host_swap() {
    const uint32_t b = pop(), a = pop();
    push(b);
    push(a);
}

void CrossCompiler::host_over() {
    const uint32_t b = pop(), a = pop();
    push(a);
    push(b);
    push(a);
}

}  // namespace norvex::forth
