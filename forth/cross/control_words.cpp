// The words the cross-compiler runs inside a definition: the control
// structures, interpreting between [ and ], literals, strings and POSTPONE,
// in the shapes the kernel's own compiler gives them. vocabulary.cpp lists
// them by word set.
#include "forth/cross/cross.h"

#include <algorithm>

#include "forth/cross/layout.h"

namespace norvex::forth {

using assembler::Label;

// ---------------------------------------------------------------------------
// Control structures

CrossCompiler::Control CrossCompiler::pop_control(Control::Kind kind) {
    if (control_.empty() || control_.back().kind != kind) fail("unbalanced control structure");
    const Control c = control_.back();
    control_.pop_back();
    return c;
}

void CrossCompiler::end_definition() {
    if (!control_.empty()) fail("unbalanced control structure in " + current_->name);
    emit_exit();
    compiling_ = false;
    current_ = nullptr;
}

void CrossCompiler::compile_exit() { emit_exit(); }
void CrossCompiler::compile_recurse() { emit_call(current_->xt); }

void CrossCompiler::compile_if() {
    const Label l = asm_.label();
    flush();
    asm_.zbranch(l);
    control_.push_back({Control::Orig, l});
}

void CrossCompiler::compile_else() {
    const Control c = pop_control(Control::Orig);
    const Label l = asm_.label();
    flush();
    asm_.branch(l);
    resolve(c.label);
    control_.push_back({Control::Orig, l});
}

void CrossCompiler::compile_then() { resolve(pop_control(Control::Orig).label); }
void CrossCompiler::compile_begin() { control_.push_back({Control::Dest, mark()}); }

void CrossCompiler::compile_until() {
    flush();
    asm_.zbranch(pop_control(Control::Dest).label);
}

void CrossCompiler::compile_again() {
    flush();
    asm_.branch(pop_control(Control::Dest).label);
}

void CrossCompiler::compile_while() {
    const Control dest = pop_control(Control::Dest);
    const Label l = asm_.label();
    flush();
    asm_.zbranch(l);
    control_.push_back({Control::Orig, l});
    control_.push_back(dest);
}

void CrossCompiler::compile_repeat() {
    const Control dest = pop_control(Control::Dest);
    flush();
    asm_.branch(dest.label);
    resolve(pop_control(Control::Orig).label);
}

// ( limit index -- ) R: ( -- limit-1 limit-1-index ); ?DO first goes around
// the loop when index and limit are equal.
void CrossCompiler::start_do(bool question) {
    Control c{Control::Do, {}, asm_.label(), asm_.label(), question};
    flush();
    if (question) {
        asm_.ops("OVER OVER -");
        asm_.zbranch(c.skip);
    }
    asm_.ops("SWAP");
    asm_.lit(0xFFFFFFFFu);
    asm_.ops("+ DUP >R SWAP - >R");
    c.label = mark();
    control_.push_back(c);
}

void CrossCompiler::end_do(const Control& c) {
    if (c.question) {
        flush();
        asm_.branch(c.exit);
        resolve(c.skip);
        asm_.ops("DROP DROP");
    }
    resolve(c.exit);
}

void CrossCompiler::compile_do() { start_do(false); }
void CrossCompiler::compile_question_do() { start_do(true); }

void CrossCompiler::compile_loop() {
    const Control c = pop_control(Control::Do);
    flush();
    asm_.nbranch(c.label);
    asm_.op(Op::RDROP);
    end_do(c);
}

void CrossCompiler::compile_plus_loop() {
    const Control c = pop_control(Control::Do);
    flush();
    asm_.op(Op::DUP);
    asm_.lit(31);
    asm_.ops("RSHIFT SWAP R> SWAP - >R FW@ XOR");
    asm_.zbranch(c.label);
    asm_.ops("RDROP RDROP");
    end_do(c);
}

void CrossCompiler::compile_leave() {
    const auto it = std::find_if(control_.rbegin(), control_.rend(),
                                 [](const Control& c) { return c.kind == Control::Do; });
    if (it == control_.rend()) fail("LEAVE outside a loop");
    flush();
    asm_.ops("RDROP RDROP");
    asm_.branch(it->exit);
}

// ---------------------------------------------------------------------------
// Compile-time words

void CrossCompiler::interpret_bracketed() {
    compiling_ = false;
    for (std::string_view t = parse_name(); t != "]"; t = parse_name()) {
        if (t.empty()) fail("missing ]");
        interpret_token(t);
    }
    compiling_ = true;
}

void CrossCompiler::compile_literal() { emit_lit(pop()); }
void CrossCompiler::compile_bracket_tick() { emit_lit(require(parse_name()).xt); }

void CrossCompiler::compile_bracket_char() { emit_lit(parse_char("[CHAR]")); }

// ( -- c-addr u ): the characters go to data space, the code pushes them.
void CrossCompiler::compile_string() {
    const std::string_view s = parse('"');
    const uint32_t a = string_literal(s);
    emit_lit(a);
    emit_lit(uint32_t(s.size()));
}

void CrossCompiler::compile_s_quote() { compile_string(); }

void CrossCompiler::compile_dot_quote() {
    compile_string();
    emit_call(require("type").xt);
}

void CrossCompiler::compile_abort_quote() {
    compile_string();
    emit_call(require("(abort\")").xt);
}

void CrossCompiler::compile_c_quote() {
    const uint32_t a = here();
    counted_string(parse('"'));
    align();
    emit_lit(a);
}

// An immediate word is compiled; for any other, code that compiles it: its
// xt and a call of COMPILE,.
void CrossCompiler::compile_postpone() {
    const Word& w = require(parse_name());
    if (flags_of(w) & kImmediate) {
        emit_word(w);
    } else {
        emit_lit(w.xt);
        emit_call(require("compile,").xt);
    }
}

}  // namespace norvex::forth
