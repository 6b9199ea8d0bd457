// The control words of a definition as the cross-compiler compiles them:
// the structures, literals, strings and POSTPONE, in the shapes the
// kernel's own compiler gives them.
#include "forth/cross/cross.h"

#include <algorithm>

#include "forth/cross/layout.h"

namespace norvex::forth {

using assembler::Label;

// Control words of a definition; false if the token is not one.
bool CrossCompiler::compile_control(const std::string& u) {
    auto pop_control = [&](Control::Kind kind) {
        if (control_.empty() || control_.back().kind != kind) fail("unbalanced control structure");
        const Control c = control_.back();
        control_.pop_back();
        return c;
    };
    auto loop_end = [&](const Control& c) {
        if (c.question) {
            flush();
            asm_.branch(c.exit);
            resolve(c.skip);
            asm_.ops("DROP DROP");
        }
        resolve(c.exit);
    };
    auto do_setup = [&](bool question) {
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
    };

    if (u == ";") {
        if (!control_.empty()) fail("unbalanced control structure in " + current_->name);
        emit_exit();
        compiling_ = false;
        current_ = nullptr;
    } else if (u == "EXIT") emit_exit();
    else if (u == "RECURSE") emit_call(current_->xt);
    else if (u == "IF") {
        const Label l = asm_.label();
        flush();
        asm_.zbranch(l);
        control_.push_back({Control::Orig, l});
    } else if (u == "ELSE") {
        const Control c = pop_control(Control::Orig);
        const Label l = asm_.label();
        flush();
        asm_.branch(l);
        resolve(c.label);
        control_.push_back({Control::Orig, l});
    } else if (u == "THEN") resolve(pop_control(Control::Orig).label);
    else if (u == "BEGIN") control_.push_back({Control::Dest, mark()});
    else if (u == "UNTIL") {
        flush();
        asm_.zbranch(pop_control(Control::Dest).label);
    } else if (u == "AGAIN") {
        flush();
        asm_.branch(pop_control(Control::Dest).label);
    } else if (u == "WHILE") {
        const Control dest = pop_control(Control::Dest);
        const Label l = asm_.label();
        flush();
        asm_.zbranch(l);
        control_.push_back({Control::Orig, l});
        control_.push_back(dest);
    } else if (u == "REPEAT") {
        const Control dest = pop_control(Control::Dest);
        flush();
        asm_.branch(dest.label);
        resolve(pop_control(Control::Orig).label);
    } else if (u == "DO") do_setup(false);
    else if (u == "?DO") do_setup(true);
    else if (u == "LOOP") {
        const Control c = pop_control(Control::Do);
        flush();
        asm_.nbranch(c.label);
        asm_.op(Op::RDROP);
        loop_end(c);
    } else if (u == "+LOOP") {
        const Control c = pop_control(Control::Do);
        flush();
        asm_.op(Op::DUP);
        asm_.lit(31);
        asm_.ops("RSHIFT SWAP R> SWAP - >R FW@ XOR");
        asm_.zbranch(c.label);
        asm_.ops("RDROP RDROP");
        loop_end(c);
    } else if (u == "LEAVE") {
        const auto it = std::find_if(control_.rbegin(), control_.rend(),
                                     [](const Control& c) { return c.kind == Control::Do; });
        if (it == control_.rend()) fail("LEAVE outside a loop");
        flush();
        asm_.ops("RDROP RDROP");
        asm_.branch(it->exit);
    } else if (u == "[") {
        compiling_ = false;
        for (std::string_view t = parse_name(); t != "]"; t = parse_name()) {
            if (t.empty()) fail("missing ]");
            interpret_token(t);
        }
        compiling_ = true;
    } else if (u == "LITERAL") emit_lit(pop());
    else if (u == "[']") emit_lit(require(parse_name()).xt);
    else if (u == "[CHAR]") {
        const std::string_view c = parse_name();
        if (c.empty()) fail("[CHAR] needs a character");
        emit_lit(uint8_t(c[0]));
    } else if (u == "S\"" || u == ".\"" || u == "ABORT\"") {
        const std::string_view s = parse('"');
        const uint32_t a = string_literal(s);
        emit_lit(a);
        emit_lit(uint32_t(s.size()));
        if (u == ".\"") emit_call(require("type").xt);
        if (u == "ABORT\"") emit_call(require("(abort\")").xt);
    } else if (u == "C\"") {
        const std::string_view s = parse('"');
        if (s.size() > 255) fail("string too long");
        const uint32_t a = here();
        c_comma(uint8_t(s.size()));
        for (char c : s) c_comma(uint8_t(c));
        align();
        emit_lit(a);
    } else if (u == "POSTPONE") {
        const Word& w = require(parse_name());
        const uint8_t flags = data_[w.nt + kFlagsOffset - data_origin_];
        if (flags & kImmediate) {
            emit_word(w);
        } else {
            emit_lit(w.xt);
            emit_call(require("compile,").xt);
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace norvex::forth
