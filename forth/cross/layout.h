// How the Forth system lays out its dictionary. The kernel's Forth source
// (forth/kernel/dictionary.fs) reads headers through the field names below
// (>XT, >FLAGS, ...); the cross-compiler builds the kernel's own names with it.
//
// A name header lives in data space (variable memory), cell-aligned:
//   nt+0   link    the previous header in the same thread, or 0
//   nt+4   xt      the word's code address in program memory
//   nt+8   flags   kImmediate, kInline, kCompileOnly, fold arity (kFoldMask)
//   nt+9   inline  bytes of code that compiling the word copies (kInline)
//   nt+10  count   length of the name
//   nt+11  tag     8 more bits of the name's hash: a quick reject
//   nt+12  name    the characters as written
// The code of every named word is preceded in program memory by one cell
// holding its nt, so that an xt leads back to its name.
//
// A word list in data space: wid+0 link to the previously made word list,
// wid+4 nt of its name (or 0), wid+8 the heads of kThreads threads.
#pragma once

#include <cstdint>
#include <string_view>

namespace norvex::forth {

constexpr uint32_t kLinkOffset = 0;
constexpr uint32_t kXtOffset = 4;
constexpr uint32_t kFlagsOffset = 8;
constexpr uint32_t kInlineOffset = 9;
constexpr uint32_t kCountOffset = 10;
constexpr uint32_t kTagOffset = 11;
constexpr uint32_t kNameOffset = 12;
constexpr uint32_t kMaxNameLength = 255;

enum : uint8_t {
    kImmediate = 0x80,
    kInline = 0x40,
    kCompileOnly = 0x20,   // interpreting it is an error (-14)
    kFoldMask = 0x03,   // 1: ( x -- x' ) 2: ( x1 x2 -- x3 ), with no other effect
};

// A word of CREATE's shape is LIT x EXIT and four bytes that DOES> may turn
// into a branch; until then the first of them says which defining word
// made it, for SEE (a NOP: CREATE itself or CONSTANT).
constexpr uint32_t kMadeByOffset = 6;
enum : uint8_t { kMadeByVariable = 1, kMadeBy2Variable = 2, kMadeByFVariable = 3 };

constexpr uint32_t kThreads = 64;
constexpr uint32_t kWordlistThreads = 8;   // offset of the first thread head

// The fields of a header and of a word list as the kernel's source names
// them, each ( nt|wid -- addr ): in a definition the cross-compiler compiles
// its offset added (nothing for the link), at the top level it adds the
// offset on the host stack.
struct HeaderField {
    std::string_view name;   // upper case, as the cross-compiler looks it up
    uint32_t offset;
};
inline constexpr HeaderField kHeaderFields[] = {
    {">LINK", kLinkOffset},   {">XT", kXtOffset},   {">FLAGS", kFlagsOffset}, {">INLINE", kInlineOffset},
    {">COUNT", kCountOffset}, {">TAG", kTagOffset}, {">NAME", kNameOffset},
    {">THREADS", kWordlistThreads},
};

inline uint8_t upper(uint8_t c) { return uint32_t(c) - 'a' < 26u ? uint8_t(c - 32) : c; }

// The name hash: h = h * 33 + upper(c) over the characters, then spread by
// a Fibonacci multiplication; the top 6 bits pick the thread, the next 8
// are the tag.
inline uint32_t name_hash(std::string_view name) {
    uint32_t h = 0;
    for (char c : name) h = h * 33 + upper(uint8_t(c));
    return h * 0x9E3779B1u;
}
inline uint32_t hash_thread(uint32_t hash) { return hash >> 26; }
inline uint8_t hash_tag(uint32_t hash) { return uint8_t(hash >> 18); }

}  // namespace norvex::forth
