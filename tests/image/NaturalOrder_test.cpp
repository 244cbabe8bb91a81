#include "image/NaturalOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include "image/FolderListing.h"
#endif

namespace {

// Like glibc's C.UTF-8: only 0-9 are digits, nothing beyond ASCII folds.
bool NoWideDigit(wchar_t) { return false; }
wchar_t NoWideFold(wchar_t c) { return c; }
const TextRules kAsciiOnly{NoWideDigit, NoWideFold};

// Like the Windows C runtime: full-width and Arabic-Indic digits are digits,
// and a few letters beyond ASCII fold.
bool WideDigit(wchar_t c) {
    return (c >= 0xFF10 && c <= 0xFF19) || (c >= 0x0660 && c <= 0x0669);
}
wchar_t WideFold(wchar_t c) {
    if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<wchar_t>(c + 0x20);  // full-width A-Z
    if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return static_cast<wchar_t>(c + 0x20);
    if (c >= 0x0391 && c <= 0x03A9) return static_cast<wchar_t>(c + 0x20);  // Greek capitals
    return c;
}
const TextRules kWindowsLike{WideDigit, WideFold};

enum class Order { Before, After, Equivalent };

Order Compare(const std::wstring& a, const std::wstring& b, const TextRules& rules) {
    const bool ab = NaturalLessWith(a.c_str(), b.c_str(), rules);
    const bool ba = NaturalLessWith(b.c_str(), a.c_str(), rules);
    EXPECT_FALSE(ab && ba) << "both ways";
    return ab ? Order::Before : (ba ? Order::After : Order::Equivalent);
}

// Built for Windows, each row is also sorted as the product sorts a folder:
// 16-bit code units, the C runtime's iswdigit and the system's fold
// (NaturalLess hands NaturalLessWith the platform's own rules).
void ExpectPlatformOrder(const std::wstring& a, const std::wstring& b, Order want) {
#ifdef _WIN32
    const bool ab = NaturalLess(a.c_str(), b.c_str()), ba = NaturalLess(b.c_str(), a.c_str());
    EXPECT_EQ(ab ? Order::Before : (ba ? Order::After : Order::Equivalent), want) << "as Windows sorts";
#else
    (void)a, (void)b, (void)want;
#endif
}

std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) out += (c < 128) ? static_cast<char>(c) : '?';
    return out;
}

struct PairCase {
    const wchar_t* a;
    const wchar_t* b;
    Order order;  // of a against b
};

TEST(NaturalLess, OrderOfPairs) {
    const PairCase cases[] = {
        // Numbers by value, whatever their length.
        {L"img1.jpg", L"img2.jpg", Order::Before},
        {L"img2.jpg", L"img10.jpg", Order::Before},
        {L"IMG3.PNG", L"img10.jpg", Order::Before},
        {L"img2.jpg", L"IMG3.PNG", Order::Before},
        {L"x2y3", L"x2y10", Order::Before},
        {L"a12", L"ab12", Order::Before},  // '1' meets 'b': the digit's code is lower
        // Equal values: the shorter run first, decided at the first such run.
        {L"a1.jpg", L"a01.jpg", Order::Before},
        {L"7", L"07", Order::Before},
        {L"a1b", L"a01b", Order::Before},
        {L"a01", L"a001", Order::Before},
        {L"a1b3", L"a01b2", Order::Before},
        // Punctuation, space, digits and folded letters by code unit.
        {L"photo (2).jpg", L"photo.jpg", Order::Before},  // space 32 before dot 46
        {L"a b", L"a1", Order::Before},
        {L"1", L"a", Order::Before},
        {L"_", L"A", Order::Before},  // 'A' folds to 97, after '_' (95)
        {L"Zeta", L"alpha", Order::After},
        // Case is ignored.
        {L"ABC.jpg", L"abc.jpg", Order::Equivalent},
        {L"Photo10", L"photo10", Order::Equivalent},
        // A prefix comes first.
        {L"a", L"a1", Order::Before},
        {L"img", L"img.jpg", Order::Before},
        {L"", L"a", Order::Before},
        {L"", L"", Order::Equivalent},
        {L"a10", L"a10", Order::Equivalent},
        // Runs over 19 digits wrap modulo 2^64.
        {L"a18446744073709551616", L"a1", Order::Before},   // 2^64 wraps to 0
        {L"a18446744073709551617", L"a1", Order::After},    // wraps to 1: equal, longer run
        {L"x18446744073709551615", L"x18446744073709551616", Order::After},  // max vs 0
        {L"x99999999999999999999", L"x7766279631452241919", Order::After},  // equal wrapped, longer
    };
    for (const PairCase& c : cases) {
        SCOPED_TRACE(Narrow(c.a) + " vs " + Narrow(c.b));
        EXPECT_EQ(Compare(c.a, c.b, kAsciiOnly), c.order);
        EXPECT_EQ(Compare(c.a, c.b, kWindowsLike), c.order);
        ExpectPlatformOrder(c.a, c.b, c.order);
    }
}

// Names beyond the basic plane. A Windows wchar_t is a UTF-16 code unit, so
// U+1F600 is the pair D83D DE00; the rows spell the units out, so they read
// the same with Linux's 32-bit wchar_t. The rule walks code units: a pair
// sorts by its high half, after every character below U+D800 (kana, CJK,
// Hangul) and before U+E000 and up (private use, full-width forms), then by
// its low half; a half is no digit and folds to itself, so a letter beyond
// the basic plane keeps its case, and a number after a pair still counts.
TEST(NaturalLess, NamesBeyondTheBasicPlane) {
    const std::wstring smile = L"\xD83D\xDE00", grin = L"\xD83D\xDE01";
    const struct {
        std::wstring a, b;
        Order order;
    } cases[] = {
        {L"\x5199\x771F 1.png", smile + L" smile.png", Order::Before},  // 写真 1
        {smile + L".png", L"\xFF21.png", Order::Before},                 // Ａ
        {smile + L".png", L"\x00E9.png", Order::After},                  // é
        {smile, grin, Order::Before},
        {smile + L"2", smile + L"10", Order::Before},
        {L"a" + smile + L"9", L"a" + smile + L"09", Order::Before},
        {L"\xD801\xDC00", L"\xD801\xDC28", Order::Before},  // Deseret capital and small: not folded
        {L"x\xD835\xDFCF", L"x2", Order::After},  // mathematical bold one is no digit
        {L"\xD83D", smile, Order::Before},         // half a pair (a damaged name) is a prefix
        {L"\xDE00", smile, Order::After},          // a lone low half sorts by itself
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.a) + " vs " + Narrow(c.b));
        EXPECT_EQ(Compare(c.a, c.b, kAsciiOnly), c.order);
        EXPECT_EQ(Compare(c.a, c.b, kWindowsLike), c.order);
        ExpectPlatformOrder(c.a, c.b, c.order);
    }
}

TEST(NaturalLess, WhatIsADigitIsThePlatformsAnswer) {
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        Order windows;  // full-width digits are digits, valued code - 48
        Order ascii;    // they are plain characters above every ASCII one
    };
    const Case cases[] = {
        // U+FF10 is a digit worth 65248: below 70000, but its code is above '7'.
        {L"x\uFF10", L"x70000", Order::Before, Order::After},
        // U+FF11 is worth 65249: equal value, one digit against five.
        {L"a\uFF11", L"a65249", Order::Before, Order::After},
        {L"a\uFF11", L"a65248", Order::After, Order::After},
        // A full-width digit continues an ASCII run: "1" U+FF10 is 10 + 65248.
        {L"1\uFF10", L"65257", Order::After, Order::Before},
        {L"1\uFF10", L"65259", Order::Before, Order::Before},
        // Arabic-Indic zero (U+0660) is worth 1584.
        {L"p\u0660", L"p1585", Order::Before, Order::After},
        // Folding beyond ASCII is the platform's too.
        {L"\u00C0b", L"\u00E0a", Order::After, Order::Before},
        {L"\u0391", L"\u03B1", Order::Equivalent, Order::Before},
        {L"\uFF21", L"\uFF41", Order::Equivalent, Order::Before},
        // Folded, the case of a letter beyond ASCII gives way to what follows it.
        {L"\u00C92.png", L"\u00E91.png", Order::After, Order::Before},    // É2, é1
        {L"\u03A3\u03C3", L"\u03C3\u03A3", Order::Equivalent, Order::Before},  // Σσ, σΣ
        {L"\u00C4b", L"\u00E4a", Order::After, Order::Before},            // Äb, äa
        {L"\uFF212", L"\uFF411", Order::After, Order::Before},            // Ａ2, ａ1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.a) + " vs " + Narrow(c.b));
        EXPECT_EQ(Compare(c.a, c.b, kWindowsLike), c.windows);
        EXPECT_EQ(Compare(c.a, c.b, kAsciiOnly), c.ascii);
        ExpectPlatformOrder(c.a, c.b, c.windows);
    }
}

TEST(NaturalLess, SortsAFolderAsAPersonExpects) {
    std::vector<std::wstring> names = {
        L"img10.jpg", L"photo.jpg", L"a01.jpg", L"IMG3.PNG", L"img2.jpg",
        L"photo (2).jpg", L"img1.jpg", L"a1.jpg", L".png", L"b.webp",
    };
    const std::vector<std::wstring> expected = {
        L".png", L"a1.jpg", L"a01.jpg", L"b.webp", L"img1.jpg",
        L"img2.jpg", L"IMG3.PNG", L"img10.jpg", L"photo (2).jpg", L"photo.jpg",
    };
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return NaturalLessWith(a.c_str(), b.c_str(), kWindowsLike);
    });
    EXPECT_EQ(names, expected);
}

// std::sort needs a strict weak order: irreflexive, transitive, and with
// transitive equivalence. Checked over names built from the characters where
// the rules meet (digits, zeros, case, punctuation, a full-width digit).
TEST(NaturalLess, IsAStrictWeakOrder) {
    const wchar_t alphabet[] = L"0019aAbB. _-\uFF11\xD83D\xDE00\xD801\xDC28";
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> length(0, 5);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(alphabet)) - 2);
    std::vector<std::wstring> names;
    for (int n = 0; n < 70; ++n) {
        std::wstring s;
        for (int k = length(random); k > 0; --k) s += alphabet[pick(random)];
        names.push_back(s);
    }
    for (const TextRules* rules : {&kAsciiOnly, &kWindowsLike}) {
        auto less = [rules](const std::wstring& a, const std::wstring& b) {
            return NaturalLessWith(a.c_str(), b.c_str(), *rules);
        };
        auto equivalent = [&](const std::wstring& a, const std::wstring& b) {
            return !less(a, b) && !less(b, a);
        };
        for (const auto& a : names) {
            ASSERT_FALSE(less(a, a));
            for (const auto& b : names) {
                for (const auto& c : names) {
                    if (less(a, b) && less(b, c)) {
                        ASSERT_TRUE(less(a, c));
                    }
                    if (equivalent(a, b) && equivalent(b, c)) {
                        ASSERT_TRUE(equivalent(a, c));
                    }
                }
            }
        }
    }
}

// The rule as written, one step at a time, with no shortcut: the order the
// optimised walk must agree with on every pair.
bool PlainRule(const std::wstring& a, const std::wstring& b, const TextRules& rules) {
    auto digit = [&](wchar_t c) { return c < 128 ? (c >= L'0' && c <= L'9') : rules.isDigit(c); };
    auto fold = [&](wchar_t c) -> uint32_t {
        return c < 128 ? static_cast<uint32_t>(c >= L'A' && c <= L'Z' ? c + 32 : c)
                       : static_cast<uint32_t>(rules.fold(c));
    };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            uint64_t va = 0, vb = 0;
            size_t k = i, l = j;
            for (; k < a.size() && digit(a[k]); ++k) va = va * 10 + (static_cast<uint64_t>(a[k]) - 48);
            for (; l < b.size() && digit(b[l]); ++l) vb = vb * 10 + (static_cast<uint64_t>(b[l]) - 48);
            if (va != vb) return va < vb;
            if (k - i != l - j) return k - i < l - j;
            i = k;
            j = l;
        } else {
            // A digit against any other character stands where '0' does.
            const uint32_t fa = digit(a[i]) ? uint32_t{L'0'} : fold(a[i]);
            const uint32_t fb = digit(b[j]) ? uint32_t{L'0'} : fold(b[j]);
            if (fa != fb) return fa < fb;
            ++i;
            ++j;
        }
    }
    return a.size() < b.size();
}

// Full-width digits sort by value among numbers and, against other
// characters, where the ASCII digits do; compared by their own code units
// they would close a cycle ("１" < "0１" < "b" < "１") and break the sort.
TEST(NaturalLess, FullWidthDigitsKeepTheOrderTransitive) {
    for (const TextRules* rules : {&kWindowsLike}) {
        const std::wstring names[] = {L"\uFF11", L"0\uFF11", L"b", L"a\uFF12", L"a2", L"a_", L"\uFF10\uFF19"};
        for (const std::wstring& x : names)
            for (const std::wstring& y : names)
                for (const std::wstring& z : names) {
                    const bool xy = NaturalLessWith(x.c_str(), y.c_str(), *rules);
                    const bool yz = NaturalLessWith(y.c_str(), z.c_str(), *rules);
                    const bool xz = NaturalLessWith(x.c_str(), z.c_str(), *rules);
                    EXPECT_FALSE(xy && yz && !xz) << Narrow(x) << " " << Narrow(y) << " " << Narrow(z);
                }
        EXPECT_TRUE(NaturalLessWith(L"\uFF11", L"b", *rules));  // a digit before a letter
        EXPECT_TRUE(NaturalLessWith(L"a\uFF12", L"a_", *rules));   // and before '_' (95), like '2'
    }
}

TEST(NaturalLess, AgreesWithTheRuleAsWritten) {
    // Names that share long prefixes and differ inside digit runs, in case,
    // in run length and around full-width digits.
    const wchar_t* const pieces[] = {L"img", L"IMG", L"0", L"00", L"1", L"7", L"10", L"99",
                                 L"\uFF11", L"\uFF10\uFF19", L" ", L".", L"_", L"a", L"B",
                                 L"18446744073709551615"};
    std::mt19937 random(99);
    std::uniform_int_distribution<int> count(0, 5);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(pieces)) - 1);
    auto make = [&] {
        std::wstring s;
        for (int k = count(random); k > 0; --k) s += pieces[pick(random)];
        return s;
    };
    for (int n = 0; n < 200000; ++n) {
        std::wstring a = make();
        std::wstring b = (n % 3 == 0) ? a + make() : (n % 3 == 1 ? a.substr(0, a.size() / 2) + make() : make());
        for (const TextRules* rules : {&kAsciiOnly, &kWindowsLike}) {
            ASSERT_EQ(NaturalLessWith(a.c_str(), b.c_str(), *rules), PlainRule(a, b, *rules))
                << Narrow(a) << " vs " << Narrow(b);
            ASSERT_EQ(NaturalLessWith(b.c_str(), a.c_str(), *rules), PlainRule(b, a, *rules))
                << Narrow(b) << " vs " << Narrow(a);
        }
    }
}

}  // namespace
