// A small x86-64 instruction encoder: the instructions the native-code
// translator emits, nothing more. Memory operands are [base + index + disp32].
// It writes only inside the room it was given, [start, limit): bytes past the
// limit are counted but not written, and ok() then says the code did not fit;
// fields are bound or patched only where they were written whole. Addresses
// are those the code runs at; a room in a separate writable view is written
// there (see code_area.h).
#pragma once

#include <cstdint>
#include <cstring>

#include "core/native/code_area.h"

namespace norvex::x64 {

enum Reg : uint8_t {
    RAX, RCX, RDX, RBX, RSP, RBP, RSI, RDI, R8, R9, R10, R11, R12, R13, R14, R15,
    NOREG = 0xFF,
};

enum Cond : uint8_t {
    O = 0, NO = 1, B = 2, AE = 3, E = 4, NE = 5, BE = 6, A = 7,
    S = 8, NS = 9, L = 0xC, GE = 0xD, LE = 0xE, G = 0xF,
};
inline Cond invert(Cond c) { return Cond(c ^ 1); }

// ALU operations by their /digit in the 0x81 group.
enum Alu : uint8_t { ADD = 0, OR = 1, AND = 4, SUB = 5, XOR = 6, CMP = 7 };

struct Mem {
    Reg base;
    Reg index = NOREG;   // scale 1
    int32_t disp = 0;
};

class Emitter {
public:
    explicit Emitter(const native::Room& room)
        : start_(room.start), p_(room.start), limit_(room.limit), write_offset_(room.write_offset) {}

    uint8_t* start() const { return start_; }
    uint8_t* here() const { return p_; }
    // False once the code would have run past the limit; the caller then
    // discards what was emitted.
    bool ok() const { return p_ <= limit_; }

    // Register to register, 32-bit unless named 64.
    void alu(Alu op, Reg dst, Reg src) { rex(false, src, NOREG, dst); byte(uint8_t(op << 3 | 1)); modrm(3, src, dst); }
    void alu(Alu op, Reg dst, uint32_t imm) {
        rex(false, NOREG, NOREG, dst);
        if (int32_t(imm) >= -128 && int32_t(imm) <= 127) {
            byte(0x83);
            modrm(3, Reg(op), dst);
            byte(uint8_t(imm));
        } else {
            byte(0x81);
            modrm(3, Reg(op), dst);
            dword(imm);
        }
    }
    void alu64(Alu op, Reg dst, int32_t imm) {
        rex(true, NOREG, NOREG, dst);
        byte(0x81);
        modrm(3, Reg(op), dst);
        dword(uint32_t(imm));
    }
    void alu_mem(Alu op, Mem m, uint32_t imm) {   // op dword [m], imm
        rex(false, NOREG, m.index, m.base);
        const bool short_imm = int32_t(imm) >= -128 && int32_t(imm) <= 127;
        byte(short_imm ? 0x83 : 0x81);
        memop(Reg(op), m);
        if (short_imm) byte(uint8_t(imm));
        else dword(imm);
    }
    void alu64(Alu op, Reg dst, Reg src) { rex(true, src, NOREG, dst); byte(uint8_t(op << 3 | 1)); modrm(3, src, dst); }
    void mov(Reg dst, Reg src) { rex(false, src, NOREG, dst); byte(0x89); modrm(3, src, dst); }
    void mov64(Reg dst, Reg src) { rex(true, src, NOREG, dst); byte(0x89); modrm(3, src, dst); }
    void mov(Reg dst, uint32_t imm) { rex(false, NOREG, NOREG, dst); byte(uint8_t(0xB8 + (dst & 7))); dword(imm); }
    void mov64(Reg dst, uint64_t imm) {
        rex(true, NOREG, NOREG, dst);
        byte(uint8_t(0xB8 + (dst & 7)));
        qword(imm);
    }
    void load(Reg dst, Mem m) { rex(false, dst, m.index, m.base); byte(0x8B); memop(dst, m); }
    void load64(Reg dst, Mem m) { rex(true, dst, m.index, m.base); byte(0x8B); memop(dst, m); }
    void load8(Reg dst, Mem m) { rex(false, dst, m.index, m.base); byte(0x0F); byte(0xB6); memop(dst, m); }
    void load16(Reg dst, Mem m) { rex(false, dst, m.index, m.base); byte(0x0F); byte(0xB7); memop(dst, m); }
    void store(Mem m, Reg src) { rex(false, src, m.index, m.base); byte(0x89); memop(src, m); }
    void store64(Mem m, Reg src) { rex(true, src, m.index, m.base); byte(0x89); memop(src, m); }
    void store8(Mem m, Reg src) { rex(false, src, m.index, m.base, true); byte(0x88); memop(src, m); }
    void store16(Mem m, Reg src) { byte(0x66); rex(false, src, m.index, m.base); byte(0x89); memop(src, m); }
    void store_imm(Mem m, uint32_t imm) { rex(false, NOREG, m.index, m.base); byte(0xC7); memop(Reg(0), m); dword(imm); }
    void inc_mem(Mem m) { rex(false, NOREG, m.index, m.base); byte(0xFF); memop(Reg(0), m); }
    void lea(Reg dst, Mem m) { rex(false, dst, m.index, m.base); byte(0x8D); memop(dst, m); }
    void lea64(Reg dst, Mem m) { rex(true, dst, m.index, m.base); byte(0x8D); memop(dst, m); }

    void not_(Reg r) { unary(2, r); }
    void neg(Reg r) { unary(3, r); }
    void mul(Reg r) { unary(4, r); }   // edx:eax = eax * r
    void div(Reg r) { unary(6, r); }   // eax, edx = edx:eax / r, % r
    void shl_cl(Reg r) { rex(false, NOREG, NOREG, r); byte(0xD3); modrm(3, Reg(4), r); }
    void shr_cl(Reg r) { rex(false, NOREG, NOREG, r); byte(0xD3); modrm(3, Reg(5), r); }
    void sar_cl(Reg r) { rex(false, NOREG, NOREG, r); byte(0xD3); modrm(3, Reg(7), r); }
    void shift_imm(uint8_t digit, Reg r, uint8_t k) { rex(false, NOREG, NOREG, r); byte(0xC1); modrm(3, Reg(digit), r); byte(k); }
    void shl(Reg r, uint8_t k) { shift_imm(4, r, k); }
    void shr(Reg r, uint8_t k) { shift_imm(5, r, k); }
    void sar(Reg r, uint8_t k) { shift_imm(7, r, k); }
    void test(Reg a, Reg b) { rex(false, b, NOREG, a); byte(0x85); modrm(3, b, a); }
    void test_imm(Reg r, uint32_t imm) { rex(false, NOREG, NOREG, r); byte(0xF7); modrm(3, Reg(0), r); dword(imm); }
    void setcc(Cond c, Reg r) { rex(false, NOREG, NOREG, r, true); byte(0x0F); byte(uint8_t(0x90 + c)); modrm(3, Reg(0), r); }
    void movzx8(Reg dst, Reg src) { rex(false, dst, NOREG, src, true); byte(0x0F); byte(0xB6); modrm(3, dst, src); }
    void movzx16(Reg dst, Reg src) { rex(false, dst, NOREG, src); byte(0x0F); byte(0xB7); modrm(3, dst, src); }
    void push(Reg r) { if (r >= R8) byte(0x41); byte(uint8_t(0x50 + (r & 7))); }
    void pop(Reg r) { if (r >= R8) byte(0x41); byte(uint8_t(0x58 + (r & 7))); }
    void ret() { byte(0xC3); }
    void jmp(Reg r) { rex(false, NOREG, NOREG, r); byte(0xFF); modrm(3, Reg(4), r); }
    void jmp_mem(Mem m) { rex(false, NOREG, m.index, m.base); byte(0xFF); memop(Reg(4), m); }

    // Relative jumps; the returned address is that of the rel32 field, for
    // later binding.
    uint8_t* jmp(const uint8_t* target = nullptr) { byte(0xE9); return rel32(target); }
    uint8_t* jcc(Cond c, const uint8_t* target = nullptr) { byte(0x0F); byte(uint8_t(0x80 + c)); return rel32(target); }
    // Points a rel32 field emitted here at target (here() by default).
    void bind(uint8_t* field, const uint8_t* target = nullptr) {
        if (!written(field)) return;
        const int32_t rel = int32_t((target ? target : p_) - (field + 4));
        std::memcpy(native::write_at(field, write_offset_), &rel, 4);
    }
    // Replaces an imm32 emitted here.
    void set_imm32(uint8_t* field, uint32_t value) {
        if (written(field)) std::memcpy(native::write_at(field, write_offset_), &value, 4);
    }
    // The address of the last imm32 emitted (for immediates set later).
    uint8_t* last_imm32() const { return p_ - 4; }

private:
    void byte(uint8_t b) {
        if (p_ < limit_) *native::write_at(p_, write_offset_) = b;
        ++p_;
    }
    void dword(uint32_t v) { for (int i = 0; i < 4; ++i) byte(uint8_t(v >> (8 * i))); }
    void qword(uint64_t v) { for (int i = 0; i < 8; ++i) byte(uint8_t(v >> (8 * i))); }
    uint8_t* rel32(const uint8_t* target) {
        uint8_t* field = p_;
        dword(0);
        if (target) bind(field, target);
        return field;
    }
    bool written(const uint8_t* field) const { return field >= start_ && field + 4 <= limit_ && field + 4 <= p_; }
    // byte_regs: an 8-bit register operand (SPL..DIL need a REX prefix).
    void rex(bool w, Reg reg, Reg index, Reg base, bool byte_regs = false) {
        uint8_t r = 0x40;
        if (w) r |= 8;
        if (reg != NOREG && reg >= R8) r |= 4;
        if (index != NOREG && index >= R8) r |= 2;
        if (base != NOREG && base >= R8) r |= 1;
        const bool low_byte = byte_regs && ((reg != NOREG && reg >= RSP && reg <= RDI) ||
                                            (base != NOREG && base >= RSP && base <= RDI && index == NOREG));
        if (r != 0x40 || low_byte) byte(r);
    }
    void modrm(uint8_t mod, Reg reg, Reg rm) { byte(uint8_t(mod << 6 | (reg & 7) << 3 | (rm & 7))); }
    void unary(uint8_t digit, Reg r) { rex(false, NOREG, NOREG, r); byte(0xF7); modrm(3, Reg(digit), r); }
    // [base + index + disp32], always with a 32-bit displacement.
    void memop(Reg reg, Mem m) {
        if (m.index != NOREG) {
            modrm(2, reg, RSP);
            byte(uint8_t((m.index & 7) << 3 | (m.base & 7)));
        } else if ((m.base & 7) == RSP) {
            modrm(2, reg, RSP);
            byte(0x24);
        } else {
            modrm(2, reg, m.base);
        }
        dword(uint32_t(m.disp));
    }

    uint8_t* start_;
    uint8_t* p_;
    uint8_t* limit_;
    uintptr_t write_offset_;
};

}  // namespace norvex::x64
