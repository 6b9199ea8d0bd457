// The block translator: VM code from one program address to x86-64.
//
// A block is the code from one program address up to an unconditional
// control transfer (BRANCH, CALL, EXIT, EXECUTE, NEST) or an instruction left
// to the interpreter; conditional branches leave the block on their taken
// side and continue it on the other, and a CALL may be followed into the
// code it calls (BlockTranslator::follow). The translator writes the block into the
// room it is given and returns it with its fixed exits; the cache links them.
//
// Registers while translated code runs:
//   ebx  data-stack top, as an offset into variable memory
//   r12d the top cell's value (its memory cell is not kept current)
//   r13d return-stack top, as an offset into variable memory
//   ebp  the W register
//   r14  the Context; r15 variable memory
// Every data-stack and return-stack cell a block touches relative to its
// entry stack pointers is known when it is translated; compares at its entry
// prove them all inside variable memory and apart, or the block gives its
// first instruction to the interpreter (core/native/guards.h decides).
#pragma once

#include <cstdint>
#include <vector>

#include "core/engine.h"
#include "core/native/code_area.h"
#include "core/native/context.h"
#include "core/native/stack_model.h"

namespace norvex::native {

// The fixed code every block jumps to.
struct Trampolines {
    void (*enter)(struct Context*, const uint8_t*) = nullptr;
    uint8_t* exit_common = nullptr;   // the state is canonical: back to the caller
    uint8_t* lookup_miss = nullptr;   // eax = a target not in the lookup table
};

// What a translation is made for, besides the code itself.
struct TranslationSetting {
    const MemConf* mem;
    const Trampolines* tramp;
    bool counting;   // each block entry spends a unit of the run budget
    bool r_above;    // the return stack lies above the data stack
    uint32_t max_instructions;
};

// A fixed exit: a jmp whose rel32 field the cache points at its target.
struct FixedExit {
    uint8_t* field;
    uint32_t target;
};

// Program-memory bytes [first, end), as offsets into program memory.
struct ProgramRange {
    uint32_t first, end;
};

struct TranslatedBlock {
    uint32_t start = 0, end = 0;   // program addresses [start, end)
    uint8_t* code = nullptr;       // entry
    uint8_t* code_end = nullptr;   // first byte after the block's code
    std::vector<FixedExit> exits;
    // Program memory the block read while it was translated, besides its
    // code (constant-address fetches folded into constants): a write there
    // drops the block as a write to its code does.
    std::vector<ProgramRange> reads;
};

enum class Translation { Done, Interpreted, TooBig };

// Translates the block at `start` into room. Interpreted: its first
// instruction is the interpreter's (not translatable, or its cells can never
// lie in variable memory). TooBig: it did not fit in the room.
Translation translate_block(const TranslationSetting& s, uint32_t start, Room room, TranslatedBlock& out);

}  // namespace norvex::native
