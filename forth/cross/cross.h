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
    void skip_comment_paren();
    [[noreturn]] void fail(const std::string& message) const;

    // Top level and definitions.
    void interpret_token(std::string_view token);
    void compile_token(std::string_view token);
    bool compile_control(const std::string& upper_token);
    bool table_word(const std::string& upper_token);   // table_words.cpp
    static bool is_table_word(std::string_view upper_name);
    void define_colon();
    void define_prim();
    void finish_value(Word& w, uint32_t value, uint8_t made_by = 0x3F);

    // Words and headers.
    Word* find(std::string_view name);
    const Word* find(std::string_view name) const;
    Word& require(std::string_view name);
    Word& make_word(std::string_view name, Kind kind);
    void set_flag(Word& w, uint8_t flag);
    std::optional<uint32_t> number(std::string_view token) const;

    // Data space.
    uint32_t here() const { return data_origin_ + uint32_t(data_.size()); }
    void allot(uint32_t n);
    void comma(uint32_t x);
    void c_comma(uint8_t c);
    void align();
    void store(uint32_t addr, uint32_t x);
    void c_store(uint32_t addr, uint8_t c);
    uint32_t string_literal(std::string_view s);

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
