// Where translated code may touch memory by itself: every test that lets a
// translated access run in registers is decided here, and the translator
// emits exactly the comparisons these routines describe, handing everything
// else to the interpreter. The arithmetic is done in 64 bits and cannot
// wrap, for memories of every size from 1 byte to 4 GiB; offsets are
// addresses minus a memory's first address, modulo 2^32, as the
// translations compute them.
#pragma once

#include <algorithm>
#include <cstdint>

namespace norvex::native {

// An access of `width` bytes at offset o lies inside a memory of `size`
// bytes when o <= last. A memory smaller than the width holds no such
// access (never): the translated code then always stops.
struct OffsetLimit {
    bool never;
    uint32_t last;
};

constexpr OffsetLimit offset_limit(uint32_t size, uint32_t width) {
    return size >= width ? OffsetLimit{false, size - width} : OffsetLimit{true, 0};
}

constexpr bool inside(uint32_t size, uint32_t offset, uint32_t width) {
    const OffsetLimit l = offset_limit(size, width);
    return !l.never && offset <= l.last;
}

// The cells a block touches lie at [p + lo, p + hi) for its entry stack
// pointer p (an offset); they all lie inside a memory of `size` bytes when
// first <= p <= last.
struct PointerRange {
    bool never;
    uint32_t first;
    uint32_t last;
};

constexpr PointerRange pointer_range(uint32_t size, int32_t lo, int32_t hi) {
    const int64_t first = std::max<int64_t>(0, -int64_t(lo));
    const int64_t last = int64_t(size) - std::max<int64_t>(hi, lo);
    if (last < first) return {true, 0, 0};
    return {false, uint32_t(first), uint32_t(std::min<int64_t>(last, 0xFFFFFFFF))};
}

// The return stack's cells [r + rs_lo, r + rs_hi) and the data stack's
// [d + ds_lo, d + ds_hi) lie apart, with the return stack above, when
// r - d >= above_gap(...), or below it when r - d <= below_gap(...).
// Computed and compared as 64-bit values of the zero-extended offsets.
constexpr int64_t above_gap(int32_t ds_hi, int32_t rs_lo) { return int64_t(ds_hi) - rs_lo; }
constexpr int64_t below_gap(int32_t ds_lo, int32_t rs_hi) { return int64_t(ds_lo) - rs_hi; }

// An access [o, o + width) meets the stack cells [p + lo, p + hi) exactly
// when it starts in [p + lo - width + 1, p + hi). Translated code tests
// (o - (p + from)) mod 2^32 < span: modulo 2^32 this window may take in an
// offset it need not (the access then stops), never leaves one out.
struct AliasWindow {
    int32_t from;
    uint32_t span;
};

constexpr AliasWindow alias_window(int32_t lo, int32_t hi, uint32_t width) {
    return {lo - int32_t(width) + 1, uint32_t(hi - lo) + width - 1};
}

}  // namespace norvex::native
