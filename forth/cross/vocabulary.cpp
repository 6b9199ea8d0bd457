// The cross-compiler's vocabulary: the words it runs itself, one table of
// {name, handler} rows per word set, and the two states that look them up.
// A word found here, or a table word (table_words.cpp), comes before a
// number and before a word of the kernel with the same name; any other word
// at the top level must be a constant or variable, and in a definition is
// compiled.
#include <span>

#include "forth/cross/cross.h"
#include "forth/cross/layout.h"

namespace norvex::forth {

namespace {

// The arithmetic the top level runs on the host stack, one row a word.
struct HostWord {
    std::string_view name;
    uint32_t (*binary)(uint32_t, uint32_t);
    uint32_t (*unary)(uint32_t);
};

constexpr HostWord kHostWords[] = {
    {"+", [](uint32_t a, uint32_t b) { return a + b; }, nullptr},
    {"-", [](uint32_t a, uint32_t b) { return a - b; }, nullptr},
    {"*", [](uint32_t a, uint32_t b) { return a * b; }, nullptr},
    {"AND", [](uint32_t a, uint32_t b) { return a & b; }, nullptr},
    {"OR", [](uint32_t a, uint32_t b) { return a | b; }, nullptr},
    {"LSHIFT", [](uint32_t a, uint32_t b) { return b < 32 ? a << b : 0u; }, nullptr},
    {"RSHIFT", [](uint32_t a, uint32_t b) { return b < 32 ? a >> b : 0u; }, nullptr},
    {"NEGATE", nullptr, [](uint32_t a) { return 0u - a; }},
    {"INVERT", nullptr, [](uint32_t a) { return ~a; }},
    {"CELLS", nullptr, [](uint32_t a) { return a * 4; }},
    {"CELL+", nullptr, [](uint32_t a) { return a + 4; }},
};

const HostWord* host_word(std::string_view upper_name) {
    for (const HostWord& w : kHostWords)
        if (w.name == upper_name) return &w;
    return nullptr;
}

}  // namespace

struct CrossCompiler::Vocabulary {
    struct Row {
        std::string_view name;   // upper case
        void (CrossCompiler::*run)();
    };
    using WordSet = std::span<const Row>;

    static constexpr Row kComments[] = {
        {"\\", &CrossCompiler::line_comment},
        {"(", &CrossCompiler::skip_comment_paren},
    };

    static constexpr Row kDefiningWords[] = {
        {":", &CrossCompiler::define_colon},
        {"PRIM:", &CrossCompiler::define_prim},
        {"CONSTANT", &CrossCompiler::define_constant},
        {"VARIABLE", &CrossCompiler::define_variable},
        {"CREATE", &CrossCompiler::define_create},
        {"DEFER", &CrossCompiler::define_defer},
        {"IS", &CrossCompiler::set_deferred},
    };

    static constexpr Row kHeaderFlags[] = {
        {"IMMEDIATE", &CrossCompiler::mark_immediate},
        {"COMPILE-ONLY", &CrossCompiler::mark_compile_only},
        {"FOLDABLE", &CrossCompiler::mark_foldable},
    };

    static constexpr Row kImageDirectives[] = {
        {"DATA-SPACE", &CrossCompiler::set_data_space},
        {"HEADER!", &CrossCompiler::set_header_cell},
        {"START!", &CrossCompiler::set_start},
        {"LINK-NAMES", &CrossCompiler::link_names},
        {"CODE-HERE", &CrossCompiler::push_code_here},
        {"CODE,", &CrossCompiler::code_comma},
    };

    static constexpr Row kDataSpaceWords[] = {
        {"HERE", &CrossCompiler::push_here},
        {",", &CrossCompiler::data_comma},
        {"C,", &CrossCompiler::data_c_comma},
        {"ALLOT", &CrossCompiler::data_allot},
        {"ALIGN", &CrossCompiler::data_align},
        {"!", &CrossCompiler::data_store},
        {"C!", &CrossCompiler::data_c_store},
        {",\"", &CrossCompiler::data_counted_string},
    };

    static constexpr Row kHostStackWords[] = {
        {"'", &CrossCompiler::push_xt},
        {"CHAR", &CrossCompiler::push_char},
        {"DUP", &CrossCompiler::host_dup},
        {"DROP", &CrossCompiler::host_drop},
        {"SWAP", &CrossCompiler::host_swap},
        {"OVER", &CrossCompiler::host_over},
    };

    static constexpr Row kControlWords[] = {
        {";", &CrossCompiler::end_definition},
        {"EXIT", &CrossCompiler::compile_exit},
        {"RECURSE", &CrossCompiler::compile_recurse},
        {"IF", &CrossCompiler::compile_if},
        {"ELSE", &CrossCompiler::compile_else},
        {"THEN", &CrossCompiler::compile_then},
        {"BEGIN", &CrossCompiler::compile_begin},
        {"UNTIL", &CrossCompiler::compile_until},
        {"AGAIN", &CrossCompiler::compile_again},
        {"WHILE", &CrossCompiler::compile_while},
        {"REPEAT", &CrossCompiler::compile_repeat},
        {"DO", &CrossCompiler::compile_do},
        {"?DO", &CrossCompiler::compile_question_do},
        {"LOOP", &CrossCompiler::compile_loop},
        {"+LOOP", &CrossCompiler::compile_plus_loop},
        {"LEAVE", &CrossCompiler::compile_leave},
    };

    static constexpr Row kCompileTimeWords[] = {
        {"[", &CrossCompiler::interpret_bracketed},
        {"LITERAL", &CrossCompiler::compile_literal},
        {"[']", &CrossCompiler::compile_bracket_tick},
        {"[CHAR]", &CrossCompiler::compile_bracket_char},
        {"S\"", &CrossCompiler::compile_s_quote},
        {".\"", &CrossCompiler::compile_dot_quote},
        {"ABORT\"", &CrossCompiler::compile_abort_quote},
        {"C\"", &CrossCompiler::compile_c_quote},
        {"POSTPONE", &CrossCompiler::compile_postpone},
    };

    // The word sets of each state.
    static constexpr WordSet kInterpreting[] = {kComments,        kDefiningWords,  kHeaderFlags,
                                                kImageDirectives, kDataSpaceWords, kHostStackWords};
    static constexpr WordSet kCompiling[] = {kComments, kControlWords, kCompileTimeWords};

    // Each name once in a state (else a row would never run), in upper case
    // as tokens are looked up, and none of them an arithmetic word.
    static constexpr bool well_formed(std::span<const WordSet> sets) {
        for (const WordSet set : sets) {
            for (const Row& row : set) {
                int seen = 0;
                for (const WordSet other : sets)
                    for (const Row& r : other) seen += r.name == row.name;
                for (const HostWord& h : kHostWords) seen += h.name == row.name;
                if (seen != 1 || row.name.empty()) return false;
                for (char c : row.name)
                    if (c >= 'a' && c <= 'z') return false;
            }
        }
        return true;
    }

    static const Row* find(std::span<const WordSet> sets, std::string_view upper_name) {
        static_assert(well_formed(kInterpreting) && well_formed(kCompiling));
        for (const WordSet set : sets)
            for (const Row& row : set)
                if (row.name == upper_name) return &row;
        return nullptr;
    }
};

void CrossCompiler::interpret_token(std::string_view token) {
    const std::string u = upper_case(token);
    if (const Vocabulary::Row* row = Vocabulary::find(Vocabulary::kInterpreting, u)) return (this->*row->run)();
    if (table_word(u)) return;
    if (const HostWord* hw = host_word(u)) {
        if (hw->binary) {
            const uint32_t y = pop(), x = pop();
            push(hw->binary(x, y));
        } else {
            push(hw->unary(pop()));
        }
    } else if (const auto n = number(token)) {
        push(*n);
    } else if (const Word* w = find(token); w && w->kind == Kind::Value) {
        push(w->value);
    } else if (w) {
        fail(std::string(token) + " cannot run at cross-compile time");
    } else {
        fail("undefined word " + std::string(token));
    }
}

void CrossCompiler::compile_token(std::string_view token) {
    const std::string u = upper_case(token);
    if (const Vocabulary::Row* row = Vocabulary::find(Vocabulary::kCompiling, u)) return (this->*row->run)();
    if (table_word(u)) return;
    if (const Word* w = find(token)) {
        if (flags_of(*w) & kImmediate)
            fail(std::string(token) + " is immediate and cannot run at cross-compile time");
        emit_word(*w);
    } else if (const auto n = number(token)) {
        emit_lit(*n);
    } else {
        fail("undefined word " + std::string(token));
    }
}

}  // namespace norvex::forth
