// The floating-point words of the Forth system against the host's IEEE 754
// arithmetic and C library: operands go to norvex-rom through a file, a
// Forth loop applies the word to each and writes the results to another
// file, and every result is compared with what the host computes: bit for
// bit for the correctly rounded operations, within one unit in the last
// place for the elementary functions.
#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "forth/tests/rom_process.h"

namespace norvex::forth {
namespace {

#ifdef NORVEX_FLOAT_OPERANDS
constexpr size_t kOperands = NORVEX_FLOAT_OPERANDS;
#else
constexpr size_t kOperands = 1000000;
#endif

uint64_t bits(double x) { return std::bit_cast<uint64_t>(x); }
double from_bits(uint64_t b) { return std::bit_cast<double>(b); }

// --- Operands ------------------------------------------------------------------

// Numbers that reach every part of the arithmetic: random bit patterns,
// numbers of nearby exponents (so that operands align, carry and cancel),
// the values at the edges of the format, and powers of two with their
// neighbours. Pairs are completed so that some sums and products fall
// exactly halfway between two numbers.
class Operands {
public:
    explicit Operands(uint64_t seed) : rng_(seed) {}

    double any() {
        switch (rng_() % 10) {
        case 0: case 1: case 2: return from_bits(rng_());
        case 3: case 4: case 5: return near(60);
        case 6: return edge();
        case 7: return power_of_two();
        case 8: return integer();
        default: return near(3);
        }
    }
    double near(int spread) {   // a random significand, exponent within +-spread
        const uint64_t e = uint64_t(1023 + int(rng_() % uint64_t(2 * spread + 1)) - spread);
        return from_bits((rng_() & 0x800FFFFFFFFFFFFFull) | (e << 52));
    }
    double edge() {
        static const double kEdges[] = {
            0.0, -0.0, INFINITY, -INFINITY, NAN, -NAN, 1.0, -1.0, 2.0, 0.5, 3.0,
            std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::min(), -std::numeric_limits<double>::min(),
            std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
            std::numeric_limits<double>::epsilon(), 9007199254740992.0, 9007199254740993.0,
            4503599627370496.5, 1e308, 1e-308, 2.2250738585072009e-308, 0.1, 710.0, -745.0, 1e22,
        };
        double x = kEdges[rng_() % std::size(kEdges)];
        const int steps = int(rng_() % 5) - 2;   // and its neighbours
        for (int k = 0; k < steps && std::isfinite(x); ++k) x = std::nextafter(x, INFINITY);
        for (int k = 0; k > steps && std::isfinite(x); --k) x = std::nextafter(x, -INFINITY);
        return x;
    }
    double power_of_two() {
        double x = std::ldexp(1.0, int(rng_() % 2098) - 1074);
        if (rng_() & 1) x = std::nextafter(x, (rng_() & 1) ? INFINITY : 0.0);
        return (rng_() & 1) ? -x : x;
    }
    double integer() {   // around 2^53, or small
        const int64_t n = (rng_() & 1) ? int64_t(1) << 53 : 0;
        const double x = double(n + int64_t(rng_() % 2001) - 1000) * ((rng_() & 1) ? 1 : 0.5);
        return (rng_() & 1) ? -x : x;
    }
    // A second operand for a: often one that makes a + b or a * b a tie.
    double partner(double a) {
        if (!std::isfinite(a) || a == 0 || rng_() % 3) return any();
        if (rng_() & 1) {   // half an ulp of a, times an odd number, at most 2^-60 of a
            const int k = int(rng_() % 8);
            const double half_ulp = std::ldexp(std::nextafter(std::fabs(a), INFINITY) - std::fabs(a), -1 - k);
            return half_ulp * double(2 * (rng_() % 8) + 1) * ((rng_() & 1) ? 1 : -1);
        }
        // b = 1 + j 2^-k: a * b needs a few bits more than 53
        const int k = 27 + int(rng_() % 26);
        return std::ldexp(double((uint64_t(1) << k) + 1 + 2 * (rng_() % 1000)), -k);
    }
    uint64_t raw() { return rng_(); }
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

private:
    std::mt19937_64 rng_;
};

// --- Running a word over a file of operands ------------------------------------

// One Forth word applied to records: `in` bytes of operands each, `out`
// bytes of results, with `body` ( a-in a-out -- ) doing one record.
struct Shape {
    size_t in, out;
    std::string body;
};

std::vector<uint8_t> run_words(const Shape& s, const std::vector<uint8_t>& input) {
    TempDir dir;
    {
        FILE* f = std::fopen((dir.path + "/in.bin").c_str(), "wb");
        std::fwrite(input.data(), 1, input.size(), f);
        std::fclose(f);
    }
    const std::string in = std::to_string(s.in), out = std::to_string(s.out);
    const std::string program =
        std::to_string(400000 / (s.in + s.out)) + " constant n  create ins n " + in + " * allot  create outs n " + out + " * allot "
        "variable fin  variable fout "
        ": step ( a-in a-out -- ) " + s.body + " ; "
        ": go  s\" in.bin\" r/o open-file throw fin !  s\" out.bin\" w/o create-file throw fout ! "
        "  begin ins n " + in + " * fin @ read-file throw dup while "
        "    " + in + " / dup 0 ?do ins i " + in + " * + outs i " + out + " * + step loop "
        "    outs swap " + out + " * fout @ write-file throw "
        "  repeat drop  fin @ close-file throw  fout @ close-file throw ; "
        "go .( done) bye";
    const ProcessResult r = run_process(NORVEX_ROM_BIN, {program}, "", dir.path);
    EXPECT_NE(r.output.find("done"), std::string::npos) << r.output;
    std::vector<uint8_t> result;
    if (FILE* f = std::fopen((dir.path + "/out.bin").c_str(), "rb")) {
        uint8_t buf[65536];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) result.insert(result.end(), buf, buf + n);
        std::fclose(f);
    }
    EXPECT_EQ(result.size(), input.size() / s.in * s.out);
    return result;
}

template <typename T>
void put(std::vector<uint8_t>& v, T x) {
    uint8_t b[sizeof x];
    std::memcpy(b, &x, sizeof x);
    v.insert(v.end(), b, b + sizeof x);
}
template <typename T>
T get(const std::vector<uint8_t>& v, size_t at) {
    T x;
    std::memcpy(&x, v.data() + at, sizeof x);
    return x;
}

// kOperands numbers from gen, and their bytes for the operand file.
struct Doubles {
    std::vector<double> values;
    std::vector<uint8_t> bytes;
};
Doubles doubles(Operands& ops, const std::function<double(Operands&)>& gen) {
    Doubles d;
    for (size_t k = 0; k < kOperands; ++k) {
        d.values.push_back(gen(ops));
        put(d.bytes, d.values.back());
    }
    return d;
}

// Results that differ are listed, a few of them, with the operands.
struct Mismatches {
    size_t count = 0;
    std::string first;
    void add(const std::string& what) {
        if (count++ < 8) first += what + "\n";
    }
};

std::string hex(double x) {
    char b[64];
    std::snprintf(b, sizeof b, "%a (%016" PRIx64 ")", x, bits(x));
    return b;
}

// The same number, or both NaN.
bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || bits(a) == bits(b); }

// Within one unit in the last place: neighbours in the order of the doubles.
int64_t ordered(double x) {
    const int64_t b = int64_t(bits(x));
    return b < 0 ? int64_t(0x8000000000000000ull) - b : b;
}
bool within_ulp(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    if (std::isinf(a) || std::isinf(b)) return bits(a) == bits(b);
    const int64_t d = ordered(a) - ordered(b);
    return d >= -1 && d <= 1;
}

// --- Binary and unary operations on floats ----------------------------------------

using Binary = std::function<double(double, double)>;
using Unary = std::function<double(double)>;

void check_binary(const std::string& word, const Binary& host, bool exact, uint64_t seed,
                  const std::function<double(Operands&)>& first = nullptr) {
    Operands ops(seed);
    std::vector<double> a(kOperands), b(kOperands);
    std::vector<uint8_t> input;
    for (size_t k = 0; k < kOperands; ++k) {
        a[k] = first ? first(ops) : ops.any();
        b[k] = first ? first(ops) : ops.partner(a[k]);
        put(input, a[k]);
        put(input, b[k]);
    }
    const std::vector<uint8_t> out = run_words({16, 8, ">r dup f@ 8 + f@ " + word + " r> f!"}, input);
    if (out.size() != kOperands * 8) return;
    Mismatches m;
    for (size_t k = 0; k < kOperands; ++k) {
        const double want = host(a[k], b[k]), got = get<double>(out, 8 * k);
        if (exact ? !same(want, got) : !within_ulp(want, got))
            m.add(hex(a[k]) + " " + hex(b[k]) + " " + word + ": " + hex(got) + ", host " + hex(want));
    }
    EXPECT_EQ(m.count, 0u) << m.first;
}

void check_unary(const std::string& word, const Unary& host, bool exact, uint64_t seed,
                 const std::function<double(Operands&)>& operand = nullptr) {
    Operands ops(seed);
    const auto [a, input] = doubles(ops, operand ? operand : [](Operands& o) { return o.any(); });
    const std::vector<uint8_t> out = run_words({8, 8, ">r f@ " + word + " r> f!"}, input);
    if (out.size() != kOperands * 8) return;
    Mismatches m;
    for (size_t k = 0; k < kOperands; ++k) {
        const double want = host(a[k]), got = get<double>(out, 8 * k);
        if (exact ? !same(want, got) : !within_ulp(want, got))
            m.add(hex(a[k]) + " " + word + ": " + hex(got) + ", host " + hex(want));
    }
    EXPECT_EQ(m.count, 0u) << m.first;
}

TEST(FloatArithmetic, AddIsCorrectlyRounded) { check_binary("f+", std::plus<double>(), true, 1); }
TEST(FloatArithmetic, SubtractIsCorrectlyRounded) { check_binary("f-", std::minus<double>(), true, 2); }
TEST(FloatArithmetic, MultiplyIsCorrectlyRounded) { check_binary("f*", std::multiplies<double>(), true, 3); }
TEST(FloatArithmetic, DivideIsCorrectlyRounded) { check_binary("f/", std::divides<double>(), true, 4); }
TEST(FloatArithmetic, SquareRootIsCorrectlyRounded) {
    check_unary("fsqrt", [](double x) { return std::sqrt(x); }, true, 5);
}


// --- Integral values, magnitudes, comparisons --------------------------------

TEST(FloatArithmetic, RoundingToIntegersIsExact) {
    check_unary("floor", [](double x) { return std::floor(x); }, true, 6);
    check_unary("fround", [](double x) { return std::nearbyint(x); }, true, 7);
    check_unary("ftrunc", [](double x) { return std::trunc(x); }, true, 8);
}

TEST(FloatArithmetic, SignWordsOnlyTouchTheSign) {
    check_unary("fnegate", [](double x) { return from_bits(bits(x) ^ (uint64_t(1) << 63)); }, true, 9);
    check_unary("fabs", [](double x) { return from_bits(bits(x) & ~(uint64_t(1) << 63)); }, true, 10);
}

// FMIN and FMAX: a NaN gives way to the other operand, and -0 is below +0.
double ordered_min(double a, double b) {
    if (std::isnan(a)) return b;
    if (std::isnan(b)) return a;
    if (a == 0 && b == 0) return std::signbit(a) ? a : b;
    return b < a ? b : a;
}
double ordered_max(double a, double b) {
    if (std::isnan(a)) return b;
    if (std::isnan(b)) return a;
    if (a == 0 && b == 0) return std::signbit(a) ? b : a;
    return b > a ? b : a;
}
TEST(FloatArithmetic, MinimumAndMaximum) {
    check_binary("fmin", ordered_min, true, 11);
    check_binary("fmax", ordered_max, true, 12);
}

void check_comparison(const std::string& word, const std::function<bool(double, double)>& host, uint64_t seed) {
    Operands ops(seed);
    std::vector<double> a(kOperands), b(kOperands);
    std::vector<uint8_t> input;
    for (size_t k = 0; k < kOperands; ++k) {
        a[k] = ops.any();
        b[k] = (ops.raw() % 4 == 0) ? a[k] : (ops.raw() % 4 == 0) ? -a[k] : ops.partner(a[k]);
        put(input, a[k]);
        put(input, b[k]);
    }
    const std::vector<uint8_t> out = run_words({16, 4, ">r dup f@ 8 + f@ " + word + " r> !"}, input);
    if (out.size() != kOperands * 4) return;
    Mismatches m;
    for (size_t k = 0; k < kOperands; ++k) {
        const int32_t want = host(a[k], b[k]) ? -1 : 0, got = get<int32_t>(out, 4 * k);
        if (want != got) m.add(hex(a[k]) + " " + hex(b[k]) + " " + word + ": " + std::to_string(got));
    }
    EXPECT_EQ(m.count, 0u) << m.first;
}

TEST(FloatComparison, OrderedAndNaNUnordered) {
    check_comparison("f<", [](double a, double b) { return a < b; }, 13);
    check_comparison("f=", [](double a, double b) { return a == b; }, 14);
    check_comparison("f>", [](double a, double b) { return a > b; }, 15);
    check_comparison("fdrop f0<", [](double a, double) { return a < 0; }, 16);
    check_comparison("fdrop f0=", [](double a, double) { return a == 0; }, 17);
    check_comparison("0e f~", [](double a, double b) { return bits(a) == bits(b); }, 18);
}

// --- Conversions -----------------------------------------------------------------

TEST(FloatConversion, IntegersToFloatsRoundToNearest) {
    Operands ops(19);
    std::vector<int64_t> d(kOperands);
    std::vector<uint8_t> input;
    for (size_t k = 0; k < kOperands; ++k) {
        const int shift = int(ops.raw() % 64);
        d[k] = int64_t(ops.raw() >> shift);
        if (ops.raw() & 1) d[k] = -d[k];
        put(input, d[k]);
    }
    std::vector<uint8_t> out = run_words({8, 8, ">r dup @ swap 4 + @ d>f r> f!"}, input);
    Mismatches m;
    for (size_t k = 0; k < kOperands && out.size() == kOperands * 8; ++k)
        if (!same(double(d[k]), get<double>(out, 8 * k))) m.add(std::to_string(d[k]) + " d>f: " + hex(get<double>(out, 8 * k)));
    out = run_words({8, 8, ">r @ s>f r> f!"}, input);
    for (size_t k = 0; k < kOperands && out.size() == kOperands * 8; ++k)
        if (!same(double(int32_t(d[k])), get<double>(out, 8 * k))) m.add(std::to_string(int32_t(d[k])) + " s>f");
    EXPECT_EQ(m.count, 0u) << m.first;
}

// Out of range, infinite or NaN: the smallest integer, as the host's
// processor answers.
int64_t host_f_to_d(double x) {
    return (std::isfinite(x) && std::fabs(x) < 9223372036854775808.0) ? int64_t(x) : INT64_MIN;
}
int32_t host_f_to_s(double x) {
    return (std::isfinite(x) && std::fabs(std::trunc(x)) < 2147483648.0) ? int32_t(x) : INT32_MIN;
}

TEST(FloatConversion, FloatsToIntegersTruncate) {
    Operands ops(20);
    const auto [a, input] = doubles(ops, [](Operands& o) {
        return (o.raw() & 1) ? o.any() : std::ldexp(o.uniform(-1, 1), int(o.raw() % 70));
    });
    std::vector<uint8_t> out = run_words({8, 8, ">r f@ f>d r@ 4 + ! r> !"}, input);
    Mismatches m;
    for (size_t k = 0; k < kOperands && out.size() == kOperands * 8; ++k)
        if (host_f_to_d(a[k]) != get<int64_t>(out, 8 * k)) m.add(hex(a[k]) + " f>d: " + std::to_string(get<int64_t>(out, 8 * k)));
    out = run_words({8, 4, ">r f@ f>s r> !"}, input);
    for (size_t k = 0; k < kOperands && out.size() == kOperands * 4; ++k)
        if (host_f_to_s(a[k]) != get<int32_t>(out, 4 * k)) m.add(hex(a[k]) + " f>s: " + std::to_string(get<int32_t>(out, 4 * k)));
    EXPECT_EQ(m.count, 0u) << m.first;
}

TEST(FloatConversion, SingleFloatsRoundAndWidenExactly) {
    Operands ops(21);
    const auto [a, input] = doubles(ops, [](Operands& o) {
        return (o.raw() & 1) ? o.any() : std::ldexp(o.uniform(1, 2), int(o.raw() % 300) - 160);
    });
    std::vector<uint8_t> out = run_words({8, 4, ">r f@ r> sf!"}, input);
    Mismatches m;
    for (size_t k = 0; k < kOperands && out.size() == kOperands * 4; ++k) {
        const float want = float(a[k]), got = get<float>(out, 4 * k);
        if (!(std::isnan(want) ? std::isnan(got) : std::bit_cast<uint32_t>(want) == std::bit_cast<uint32_t>(got)))
            m.add(hex(a[k]) + " sf!: " + hex(double(got)));
    }
    std::vector<uint8_t> singles;
    for (size_t k = 0; k < kOperands; ++k) put(singles, uint32_t(ops.raw()));
    out = run_words({4, 8, ">r sf@ r> f!"}, singles);
    for (size_t k = 0; k < kOperands && out.size() == kOperands * 8; ++k)
        if (!same(double(get<float>(singles, 4 * k)), get<double>(out, 8 * k))) m.add("sf@ of " + std::to_string(get<uint32_t>(singles, 4 * k)));
    EXPECT_EQ(m.count, 0u) << m.first;
}

// REPRESENT's 17 digits are the host's correctly rounded ones.
TEST(FloatText, RepresentGivesCorrectlyRoundedDigits) {
    Operands ops(22);
    const auto [a, input] = doubles(ops, [](Operands& o) {
        double x;
        do x = o.any(); while (!std::isfinite(x) || x == 0);
        return x;
    });
    const std::vector<uint8_t> out =
        run_words({8, 24, ">r f@ r@ 17 represent 2drop r> 20 + !"}, input);
    Mismatches m;
    for (size_t k = 0; k < kOperands && out.size() == kOperands * 24; ++k) {
        char host[40];
        std::snprintf(host, sizeof host, "%.16e", std::fabs(a[k]));   // d.dddddddddddddddde+XX
        const std::string digits = std::string(1, host[0]) + std::string(host + 2, 16);
        const int exponent = std::atoi(host + 19) + 1;
        const std::string got(reinterpret_cast<const char*>(out.data() + 24 * k), 17);
        if (got != digits || get<int32_t>(out, 24 * k + 20) != exponent)
            m.add(hex(a[k]) + " represent: " + got + " " + std::to_string(get<int32_t>(out, 24 * k + 20)) + ", host " + host);
    }
    EXPECT_EQ(m.count, 0u) << m.first;
}

// >FLOAT rounds correctly whatever the number of digits: the host's strtod
// does too.
TEST(FloatText, ToFloatIsCorrectlyRounded) {
    Operands ops(23);
    std::vector<std::string> text(kOperands);
    std::vector<uint8_t> input;
    for (size_t k = 0; k < kOperands; ++k) {
        char b[64];
        switch (ops.raw() % 4) {
        case 0: std::snprintf(b, sizeof b, "%.17g", ops.any()); break;
        case 1: std::snprintf(b, sizeof b, "%.16e", ops.any()); break;
        case 2: {   // a halfway point between two doubles, written exactly when it is short enough
            const double x = ops.near(60);
            std::snprintf(b, sizeof b, "%.30e", x + (std::nextafter(x, INFINITY) - x) / 2);
            break;
        }
        default: {   // digits and an exponent of any size
            std::string t = (ops.raw() & 1) ? "-" : "";
            const size_t digits = 1 + ops.raw() % 30;
            for (size_t d = 0; d < digits; ++d) t += char('0' + ops.raw() % 10);
            if (ops.raw() & 1) t.insert(t.size() - ops.raw() % digits, ".");
            t += "e" + std::to_string(int(ops.raw() % 700) - 350);
            std::snprintf(b, sizeof b, "%s", t.c_str());
        }
        }
        text[k] = b;
        if (text[k] == "inf" || text[k] == "-inf" || text[k] == "nan" || text[k] == "-nan") text[k] = "0";
        uint8_t record[48] = {uint8_t(text[k].size())};
        std::memcpy(record + 1, text[k].data(), text[k].size());
        input.insert(input.end(), record, record + 48);
    }
    const std::vector<uint8_t> out =
        run_words({48, 12, ">r count >float dup r@ 8 + ! if r> f! else rdrop then"}, input);
    Mismatches m;
    for (size_t k = 0; k < kOperands && out.size() == kOperands * 12; ++k) {
        const double want = std::strtod(text[k].c_str(), nullptr), got = get<double>(out, 12 * k);
        if (get<int32_t>(out, 12 * k + 8) != -1 || !same(want, got))
            m.add(text[k] + " >float: " + hex(got) + ", host " + hex(want));
    }
    EXPECT_EQ(m.count, 0u) << m.first;
}

// --- The elementary functions, within one unit in the last place -----------------
// The host's functions in long double (64 bits of precision) rounded to
// double are the reference: the double ones of the C library may be off by
// more than one unit themselves.

// Operands for a function: its interesting range, small numbers, and any
// bit pattern (which also brings the special values).
std::function<double(Operands&)> spread(double lo, double hi) {
    return [lo, hi](Operands& ops) {
        switch (ops.raw() % 8) {
        case 0: case 1: return ops.any();
        case 2: return std::ldexp(ops.uniform(-1, 1), -int(ops.raw() % 80));
        default: return ops.uniform(lo, hi);
        }
    };
}

TEST(FloatFunctions, SineCosineTangent) {
    const auto near_multiples = [](Operands& ops) {   // k pi/2 and its neighbours, and anything
        if (ops.raw() % 2) return spread(-100, 100)(ops);
        double x = double(int64_t(ops.raw() % 200000) - 100000) * 1.5707963267948966;
        for (int k = int(ops.raw() % 5); k > 0; --k) x = std::nextafter(x, INFINITY);
        return x;
    };
    check_unary("fsin", [](double x) { return double(sinl(x)); }, false, 30, near_multiples);
    check_unary("fcos", [](double x) { return double(cosl(x)); }, false, 31, near_multiples);
    check_unary("ftan", [](double x) { return double(tanl(x)); }, false, 32, near_multiples);
    check_unary("fsincos fdrop", [](double x) { return double(sinl(x)); }, false, 33, spread(-10, 10));
    check_unary("fsincos fnip", [](double x) { return double(cosl(x)); }, false, 34, spread(-10, 10));
}

TEST(FloatFunctions, InverseTrigonometric) {
    check_unary("fasin", [](double x) { return double(asinl(x)); }, false, 35, spread(-1, 1));
    check_unary("facos", [](double x) { return double(acosl(x)); }, false, 36, spread(-1, 1));
    check_unary("fatan", [](double x) { return double(atanl(x)); }, false, 37, spread(-20, 20));
    check_binary("fatan2", [](double y, double x) { return double(atan2l(y, x)); }, false, 38, spread(-5, 5));
}

TEST(FloatFunctions, ExponentialsAndLogarithms) {
    check_unary("fexp", [](double x) { return double(expl(x)); }, false, 39, spread(-750, 720));
    check_unary("fexpm1", [](double x) { return double(expm1l(x)); }, false, 40, spread(-40, 720));
    check_unary("falog", [](double x) { return double(powl(10.0L, x)); }, false, 41, spread(-330, 310));
    const auto positive = [](Operands& ops) { return (ops.raw() & 1) ? std::fabs(ops.any()) : ops.uniform(0.5, 2); };
    check_unary("fln", [](double x) { return double(logl(x)); }, false, 42, positive);
    check_unary("flog", [](double x) { return double(log10l(x)); }, false, 43, positive);
    check_unary("flnp1", [](double x) { return double(log1pl(x)); }, false, 44, spread(-1, 3));
}

TEST(FloatFunctions, Hyperbolic) {
    check_unary("fsinh", [](double x) { return double(sinhl(x)); }, false, 45, spread(-720, 720));
    check_unary("fcosh", [](double x) { return double(coshl(x)); }, false, 46, spread(-720, 720));
    check_unary("ftanh", [](double x) { return double(tanhl(x)); }, false, 47, spread(-25, 25));
    check_unary("fasinh", [](double x) { return double(asinhl(x)); }, false, 48, spread(-50, 50));
    check_unary("facosh", [](double x) { return double(acoshl(x)); }, false, 49, spread(1, 50));
    check_unary("fatanh", [](double x) { return double(atanhl(x)); }, false, 50, spread(-1, 1));
}

TEST(FloatFunctions, Power) {
    // Bases of any size with exponents that keep most results in range,
    // negative bases with integral exponents, and any pair at all.
    Operands ops(51);
    std::vector<double> x(kOperands), y(kOperands);
    std::vector<uint8_t> input;
    for (size_t k = 0; k < kOperands; ++k) {
        switch (ops.raw() % 4) {
        case 0: x[k] = ops.any(); y[k] = ops.any(); break;
        case 1: x[k] = -ops.uniform(0, 10); y[k] = double(int(ops.raw() % 61) - 30); break;
        default:
            x[k] = std::fabs(ops.any());
            y[k] = (x[k] == 1 || !std::isfinite(x[k]) || x[k] == 0) ? ops.uniform(-5, 5)
                                                                     : ops.uniform(-1000, 1000) / std::log2(x[k]);
        }
        put(input, x[k]);
        put(input, y[k]);
    }
    const std::vector<uint8_t> out = run_words({16, 8, ">r dup f@ 8 + f@ f** r> f!"}, input);
    Mismatches m;
    for (size_t k = 0; k < kOperands && out.size() == kOperands * 8; ++k) {
        const double want = double(powl(x[k], y[k])), got = get<double>(out, 8 * k);
        if (!within_ulp(want, got)) m.add(hex(x[k]) + " " + hex(y[k]) + " f**: " + hex(got) + ", host " + hex(want));
    }
    EXPECT_EQ(m.count, 0u) << m.first;
}

}  // namespace
}  // namespace norvex::forth
