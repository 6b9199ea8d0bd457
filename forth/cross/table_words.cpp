// Words the kernel's source uses to name what the rest of the system defines
// in one place: OPCODE gives an opcode by its mnemonic in the opcode table,
// and the header fields (>XT, >FLAGS, ...) come from the dictionary's layout.
// Neither makes a word in the kernel: they exist only while it is compiled.
#include "forth/cross/cross.h"

#include "forth/cross/layout.h"

namespace norvex::forth {

namespace {

const HeaderField* header_field(std::string_view upper_name) {
    for (const HeaderField& f : kHeaderFields)
        if (f.name == upper_name) return &f;
    return nullptr;
}

}  // namespace

bool CrossCompiler::is_table_word(std::string_view upper_name) {
    return upper_name == "OPCODE" || header_field(upper_name);
}

// A table word in either state; false if the token is not one.
bool CrossCompiler::table_word(const std::string& u) {
    if (u == "OPCODE") {   // ( "mnemonic" -- opcode )
        const std::string_view mnemonic = parse_name();
        const auto o = assembler::opcode_named(mnemonic);
        if (!o) fail("OPCODE needs a mnemonic of the opcode table, not " + std::string(mnemonic));
        if (compiling_) emit_lit(uint8_t(*o));
        else push(uint8_t(*o));
        return true;
    }
    if (const HeaderField* f = header_field(u)) {   // ( nt -- addr )
        if (!compiling_) push(pop() + f->offset);
        else if (f->offset != 0) {
            emit_lit(f->offset);
            emit_op(Op::PLUS);
        }
        return true;
    }
    return false;
}

}  // namespace norvex::forth
