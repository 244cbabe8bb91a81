#include "image/NaturalOrder.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr uint32_t kAsciiLimit = 128;

// The character as an unsigned code unit (wchar_t is signed on some hosts).
inline uint32_t CodeUnit(wchar_t c) { return static_cast<uint32_t>(c); }

inline bool IsDigit(wchar_t c, const TextRules& rules) {
    if (CodeUnit(c) < kAsciiLimit) return c >= L'0' && c <= L'9';
    return rules.isDigit(c);
}

inline uint32_t Folded(wchar_t c, const TextRules& rules) {
    const uint32_t unit = CodeUnit(c);
    if (unit < kAsciiLimit) return (c >= L'A' && c <= L'Z') ? unit + (L'a' - L'A') : unit;
    return CodeUnit(rules.fold(c));
}

// Reads the digit run that starts at s[from]; returns the position after it.
inline size_t ReadDigitRun(const wchar_t* s, size_t from, const TextRules& rules, uint64_t* value) {
    uint64_t v = 0;
    size_t k = from;
    while (s[k] != L'\0' && IsDigit(s[k], rules)) {
        v = v * 10u + (static_cast<uint64_t>(CodeUnit(s[k])) - 48u);  // wraps modulo 2^64
        ++k;
    }
    *value = v;
    return k;
}

}  // namespace

bool NaturalLessWith(const wchar_t* a, const wchar_t* b, const TextRules& rules) {
    size_t i = 0;
    size_t j = 0;
    while (a[i] != L'\0' && b[j] != L'\0') {
        const wchar_t ca = a[i];
        const wchar_t cb = b[j];
        if (IsDigit(ca, rules) && IsDigit(cb, rules)) {
            uint64_t va = 0;
            uint64_t vb = 0;
            const size_t k = ReadDigitRun(a, i, rules, &va);
            const size_t l = ReadDigitRun(b, j, rules, &vb);
            if (va != vb) return va < vb;
            if (k - i != l - j) return k - i < l - j;
            i = k;
            j = l;
            continue;
        }
        if (ca != cb) {
            const uint32_t fa = Folded(ca, rules);
            const uint32_t fb = Folded(cb, rules);
            if (fa != fb) return fa < fb;
        }
        ++i;
        ++j;
    }
    // Runs are only passed together when of equal length, so i == j here and
    // "a is used up while b is not" is "a is the shorter string".
    return a[i] == L'\0' && b[j] != L'\0';
}
