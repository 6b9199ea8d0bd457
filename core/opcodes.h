// The opcode table (core/opcodes.def) as C++: the enum, one row of facts
// per opcode, and the predicates its readers ask.
#pragma once

#include <cstdint>

namespace norvex {

enum class Op : uint8_t {
#define OPCODE(code, Name, mnem, operand, kind, native, ends, rstack) Name = code,
#include "core/opcodes.def"
#undef OPCODE
};

struct OpInfo {
    const char* mnemonic;
    uint8_t operand_bytes;
    bool runs;           // false: named, but the illegal-opcode stop
    bool native;         // the translator emits it
    bool ends_block;     // always leaves the block it stands in
    bool return_stack;   // reads or writes the return stack
};

inline constexpr OpInfo kOpInfo[64] = {
#define OPCODE(code, Name, mnem, operand, kind, native, ends, rstack) \
    {mnem, operand, #kind[0] == 'R', native != 0, ends != 0, rstack != 0},
#include "core/opcodes.def"
#undef OPCODE
};

static_assert(uint8_t(Op::CALL) == 0x00 && uint8_t(Op::NOP) == 0x3F, "opcodes.def: 64 opcodes in code order");

// Any byte may be asked about: bytes past the table are illegal opcodes
// without an operand.
constexpr bool is_opcode(uint8_t byte) { return byte < 64; }
constexpr uint8_t operand_bytes(uint8_t byte) { return is_opcode(byte) ? kOpInfo[byte].operand_bytes : 0; }
constexpr bool has_operand(uint8_t byte) { return operand_bytes(byte) != 0; }
constexpr uint32_t instruction_length(Op op) { return 1u + kOpInfo[uint8_t(op)].operand_bytes; }
constexpr bool runs(Op op) { return kOpInfo[uint8_t(op)].runs; }
constexpr bool is_translated(Op op) { return kOpInfo[uint8_t(op)].native; }
constexpr bool ends_block(Op op) { return kOpInfo[uint8_t(op)].ends_block; }
constexpr bool touches_return_stack(Op op) { return kOpInfo[uint8_t(op)].return_stack; }

}  // namespace norvex
