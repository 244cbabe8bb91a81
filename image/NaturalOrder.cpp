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

inline uint32_t FoldedAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? CodeUnit(c) + (L'a' - L'A') : CodeUnit(c);
}

inline uint32_t Folded(wchar_t c, const TextRules& rules) {
    if (CodeUnit(c) < kAsciiLimit) return FoldedAscii(c);
    return CodeUnit(rules.fold(c));
}

inline uint64_t Append(uint64_t value, wchar_t digit) {
    return value * 10u + (static_cast<uint64_t>(CodeUnit(digit)) - 48u);  // wraps modulo 2^64
}

// Finishes the longer of two digit runs alone, from position k on.
inline uint64_t FinishRun(const wchar_t* s, size_t k, const TextRules& rules, uint64_t value) {
    for (; IsDigit(s[k], rules); ++k) value = Append(value, s[k]);
    return value;
}

enum class RunOrder { Before, After, Same };

// Compares the digit runs of a and b that start at the same position and agree
// up to position k, where both hold the value `common`. On Same, *next is the
// position after both runs.
inline RunOrder CompareRuns(const wchar_t* a, const wchar_t* b, size_t k, uint64_t common,
                            const TextRules& rules, size_t* next) {
    uint64_t va = common;
    uint64_t vb = common;
    for (;;) {
        const bool moreA = IsDigit(a[k], rules);  // '\0' is no digit
        const bool moreB = IsDigit(b[k], rules);
        if (moreA && moreB) {
            va = Append(va, a[k]);
            vb = Append(vb, b[k]);
            ++k;
            continue;
        }
        if (moreA) {  // a's run is the longer one: after b's on equal values
            va = FinishRun(a, k, rules, va);
            return va < vb ? RunOrder::Before : RunOrder::After;
        }
        if (moreB) {
            vb = FinishRun(b, k, rules, vb);
            return va <= vb ? RunOrder::Before : RunOrder::After;
        }
        if (va != vb) return va < vb ? RunOrder::Before : RunOrder::After;
        *next = k;
        return RunOrder::Same;
    }
}

// The walk from position i on, where a and b first differ.
bool WalkFrom(const wchar_t* a, const wchar_t* b, size_t i, const TextRules& rules) {
    // A difference inside a digit run that both strings share the start of:
    // the whole runs decide, their common digits holding the same value.
    if (i > 0 && IsDigit(a[i - 1], rules) && (IsDigit(a[i], rules) || IsDigit(b[i], rules))) {
        size_t start = i - 1;
        while (start > 0 && IsDigit(a[start - 1], rules)) --start;
        uint64_t common = 0;
        for (size_t k = start; k < i; ++k) common = Append(common, a[k]);
        const RunOrder order = CompareRuns(a, b, i, common, rules, &i);
        if (order != RunOrder::Same) return order == RunOrder::Before;
    }
    // One position for both strings: runs are only passed together when they
    // have the same length, so the two walks never drift apart.
    for (;;) {
        const wchar_t ca = a[i];
        const wchar_t cb = b[i];
        if (ca == L'\0' || cb == L'\0') return ca == L'\0' && cb != L'\0';  // the shorter first
        const bool da = IsDigit(ca, rules);
        if (ca == cb && !da) {  // the common case: equal letters
            ++i;
            continue;
        }
        const bool db = IsDigit(cb, rules);
        if (!da || !db) {
            // A digit meeting any other character compares as '0' does, so
            // every digit takes the ASCII digits' place among the other
            // characters. By its own code unit a full-width digit would lie
            // above the letters while its run's value sorts it among the
            // numbers: "１" < "0１" < "b" < "１", an order that is not
            // transitive, on which a sort may read past its range. For ASCII
            // digits nothing changes (no other character lies between '0'
            // and '9').
            const uint32_t fa = da ? uint32_t{L'0'} : Folded(ca, rules);
            const uint32_t fb = db ? uint32_t{L'0'} : Folded(cb, rules);
            if (fa != fb) return fa < fb;
            ++i;
            continue;
        }
        const RunOrder order = CompareRuns(a, b, i, 0, rules, &i);
        if (order != RunOrder::Same) return order == RunOrder::Before;
    }
}

inline bool IsAscii(wchar_t c) { return CodeUnit(c) < kAsciiLimit; }
inline bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Runs of up to 19 ASCII digits hold their values without wrapping.
constexpr size_t kPlainRunDigits = 19;

enum class Decision { Before, After, Undecided };

inline Decision Decide(bool before) { return before ? Decision::Before : Decision::After; }

// The first difference of a and b is at i (at least one of the two is an
// ASCII digit, both are ASCII). Decides at once when every digit run involved
// is plain ASCII of at most 19 digits, which is nearly always: the values are
// then plain numbers and the runs differ, so they decide. Anything else (a
// character from 128 up next to a run, which the platform may call a digit,
// or a longer run) is left to the full walk.
Decision DecideAsciiRuns(const wchar_t* a, const wchar_t* b, size_t i) {
    size_t start = i;  // the runs' common start: digits before i are the same in both
    while (start > 0 && IsAsciiDigit(a[start - 1])) --start;
    if (start > 0 && !IsAscii(a[start - 1])) return Decision::Undecided;
    size_t endA = i;
    while (IsAsciiDigit(a[endA])) ++endA;
    size_t endB = i;
    while (IsAsciiDigit(b[endB])) ++endB;
    if (!IsAscii(a[endA]) || !IsAscii(b[endB])) return Decision::Undecided;
    if (endA == start || endB == start) {
        // A digit meets a letter or mark: their codes decide (a digit is never a fold of one).
        return Decide(FoldedAscii(a[i]) < FoldedAscii(b[i]));
    }
    if (endA - start > kPlainRunDigits || endB - start > kPlainRunDigits) return Decision::Undecided;
    size_t significant = start;  // first non-zero digit of the common part
    while (significant < i && a[significant] == L'0') ++significant;
    if (significant < i) {
        // Same leading digits: the longer number is the larger; at equal
        // lengths the first different digit decides.
        if (endA - significant != endB - significant) return Decide(endA < endB);
        return Decide(a[i] < b[i]);
    }
    // Only zeros in common: the rest of each run holds its whole value.
    uint64_t va = 0;
    uint64_t vb = 0;
    for (size_t k = i; k < endA; ++k) va = Append(va, a[k]);
    for (size_t k = i; k < endB; ++k) vb = Append(vb, b[k]);
    if (va != vb) return Decide(va < vb);
    return Decide(endA < endB);  // equal values: the shorter run first
}

}  // namespace

bool NaturalLessWith(const wchar_t* a, const wchar_t* b, const TextRules& rules) {
    // Identical text compares equal under every rule, so the walk starts at the
    // first difference.
    size_t i = 0;
    while (a[i] == b[i]) {
        if (a[i] == L'\0') return false;  // the same string
        ++i;
    }
    const wchar_t ca = a[i];
    const wchar_t cb = b[i];
    if (IsAscii(ca) && IsAscii(cb)) {
        if (!IsAsciiDigit(ca) && !IsAsciiDigit(cb)) {
            // Two letters or marks (an end folds to 0, the lowest: the shorter
            // first). Runs before them ended together with equal values.
            const uint32_t fa = Folded(ca, rules);
            const uint32_t fb = Folded(cb, rules);
            if (fa != fb) return fa < fb;
        } else {
            const Decision decision = DecideAsciiRuns(a, b, i);
            if (decision != Decision::Undecided) return decision == Decision::Before;
        }
    }
    return WalkFrom(a, b, i, rules);
}
