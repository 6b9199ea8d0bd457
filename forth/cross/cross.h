// The cross-compiler: turns the kernel's Forth source into a kernel image.
//
// It reads a restricted Forth: colon definitions with the usual control
// structures, literals and strings; CONSTANT, VARIABLE, CREATE with , C,
// ALLOT; IMMEDIATE, COMPILE-ONLY and FOLDABLE; and PRIM: definitions, whose bodies are opcode mnemonics (and
// numbers, service names as the trace line spells them, and the names of
// constants and variables, each a LIT). It
// compiles subroutine-threaded code in the shapes the kernel's own compiler
// uses: primitives inlined, constants and variables as literals, a call in
// tail position as a branch (the kernel's compiler also folds literals and
// gives DO and +LOOP with known numbers shorter code). A few directives (DATA-SPACE, HEADER!, START!,
// LINK-NAMES, CODE-HERE) place the image; at the top level a small host
// stack evaluates numbers and simple arithmetic for them. OPCODE and the
// header fields (layout.h) name numbers the rest of the system defines.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "asm/assembler.h"

namespace norvex::forth {

struct CrossError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class CrossCompiler {
public:
    CrossCompiler();

    // Compiles one source file, or text with a name for messages. Throws
    // CrossError with "origin:line: message" on any error.
    void compile_file(const std::string& path);
    void compile_text(std::string_view text, const std::string& origin);

    // The finished image: header, code, and the data space image at #pv.
    std::vector<uint8_t> image();

    // "xt name" lines in address order, for reading traces.
    std::string symbol_map() const;

    // The code address of a word, for tests; nullopt if it is not defined.
    std::optional<uint32_t> xt_of(std::string_view name) const;

private:
    enum class Kind { Colon, Prim, Value, Defer };
    struct Word {
        std::string name;
        Kind kind = Kind::Colon;
        uint32_t nt = 0;
        uint32_t xt = 0;
        uint32_t value = 0;           // Value: the literal it compiles; Defer: its cell
        std::vector<uint8_t> code;    // Prim: the bytes it inlines
        std::string effect;           // Prim: its stack comment
    };

    // Control-flow stack entries of a definition.
    struct Control {
        enum Kind { Orig, Dest, Do } kind;
        assembler::Label label;        // Orig: target; Dest: target; Do: body
        assembler::Label exit{};       // Do: after the loop
        assembler::Label skip{};       // Do: ?DO's way around the loop
        bool question = false;         // Do: started by ?DO
    };

    // Source reading.
    std::string_view parse_name();
    std::string_view parse(char delimiter);
    uint8_t parse_char(std::string_view word);
    [[noreturn]] void fail(const std::string& message) const;

    // The two states (vocabulary.cpp): a word of the state's word sets runs
    // its handler; otherwise a table word, a number, or a word of the kernel.
    struct Vocabulary;   // the word sets, {name, handler} rows
    void interpret_token(std::string_view token);
    void compile_token(std::string_view token);
    bool table_word(const std::string& upper_token);   // table_words.cpp
    static bool is_table_word(std::string_view upper_name);

    // Handlers of the words the cross-compiler runs itself, by word set.
    // Comments, in both states:
    void line_comment();
    void skip_comment_paren();
    // Defining words (interpreting_words.cpp):
    void define_colon();
    void define_prim();
    void define_constant();
    void define_variable();
    void define_create();
    void define_defer();
    void set_deferred();
    void finish_value(Word& w, uint32_t value, uint8_t made_by = 0x3F);
    // Flags of the latest header:
    void mark_immediate();
    void mark_compile_only();
    void mark_foldable();
    // Directives that place the image:
    void set_data_space();
    void set_header_cell();
    void set_start();
    void link_names();
    void push_code_here();
    void code_comma();
    // Data space at the top level:
    void push_here();
    void data_comma();
    void data_c_comma();
    void data_allot();
    void data_align();
    void data_store();
    void data_c_store();
    void data_counted_string();
    // The host stack (its arithmetic is the table kHostWords):
    void push_xt();
    void push_char();
    void host_dup();
    void host_drop();
    void host_swap();
    void host_over();
    // Control structures of a definition (control_words.cpp):
    void end_definition();
    void compile_exit();
    void compile_recurse();
    void compile_if();
    void compile_else();
    void compile_then();
    void compile_begin();
    void compile_until();
    void compile_again();
    void compile_while();
    void compile_repeat();
    void compile_do();
    void compile_question_do();
    void compile_loop();
    void compile_plus_loop();
    void compile_leave();
    Control pop_control(Control::Kind kind);
    void start_do(bool question);
    void end_do(const Control& c);
    // Compile-time words: interpreting inside a definition, literals, strings:
    void interpret_bracketed();
    void compile_literal();
    void compile_bracket_tick();
    void compile_bracket_char();
    void compile_s_quote();
    void compile_dot_quote();
    void compile_abort_quote();
    void compile_c_quote();
    void compile_postpone();
    void compile_string();

    // Words and headers.
    Word* find(std::string_view name);
    const Word* find(std::string_view name) const;
    Word& require(std::string_view name);
    Word& make_word(std::string_view name, Kind kind);
    void set_flag(Word& w, uint8_t flag);
    uint8_t flags_of(const Word& w) const;
    std::optional<uint32_t> number(std::string_view token) const;
    static std::string upper_case(std::string_view s);

    // Data space.
    uint32_t here() const { return data_origin_ + uint32_t(data_.size()); }
    void allot(uint32_t n);
    void comma(uint32_t x);
    void c_comma(uint8_t c);
    void align();
    void store(uint32_t addr, uint32_t x);
    void c_store(uint32_t addr, uint8_t c);
    uint32_t string_literal(std::string_view s);
    void counted_string(std::string_view s);

    // Code generation.
    void flush();
    void emit_op(Op o);
    void emit_lit(uint32_t x);
    void emit_call(uint32_t xt);
    void emit_exit();
    void emit_word(const Word& w);
    void emit_branch_to(Op o, uint32_t address);
    assembler::Label mark();
    void resolve(assembler::Label l);

    // Host stack.
    void push(uint32_t x) { stack_.push_back(x); }
    uint32_t pop();

    assembler::Assembler asm_;
    std::vector<uint8_t> data_;
    uint32_t data_origin_ = 0;
    bool data_origin_set_ = false;

    std::deque<Word> words_;                 // stable addresses
    std::map<std::string, size_t> index_;   // upper-case name -> newest word
    size_t linked_ = 0;                      // words linked by LINK-NAMES

    std::vector<uint32_t> stack_;
    std::vector<Control> control_;
    std::optional<uint32_t> pending_call_;   // a CALL not yet emitted
    bool pending_execute_ = false;           // an EXECUTE not yet emitted
    Word* current_ = nullptr;   // the colon definition being compiled
    Word* latest_ = nullptr;
    bool compiling_ = false;
    std::map<uint32_t, uint32_t> header_cells_;
    std::optional<uint8_t> header_flags_;
    std::optional<uint32_t> start_;

    // The source being read.
    std::string_view text_;
    size_t pos_ = 0;
    std::string origin_;
};

}  // namespace norvex::forth
