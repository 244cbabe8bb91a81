// The natural order on arbitrary names is a strict weak order: irreflexive,
// asymmetric, transitive on random triples, and equivalence (neither before
// the other) is transitive too. A sort relies on all four.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <string>

#include "image/NaturalOrder.h"

namespace {

// Stand-ins for the C runtime's answers above ASCII: full-width digits count
// as digits, full-width capitals fold to small ones.
bool IsDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= 0xFF10 && c <= 0xFF19); }
wchar_t Fold(wchar_t c) { return (c >= 0xFF21 && c <= 0xFF3A) ? static_cast<wchar_t>(c + 0x20) : c; }
const TextRules kRules{IsDigit, Fold};

// Names drawn from a small alphabet so that digit runs, case pairs and shared
// prefixes are common.
std::wstring Name(const uint8_t*& data, size_t& size) {
    static const wchar_t kAlphabet[] = L"0019aAbB .-_(\xFF11\xFF10\xFF21\xFF41z9";
    std::wstring name;
    while (size > 0) {
        const uint8_t byte = *data++;
        --size;
        if (byte == 0xFF) break;  // ends this name
        name.push_back(kAlphabet[byte % (sizeof(kAlphabet) / sizeof(wchar_t) - 1)]);
    }
    return name;
}

bool Less(const std::wstring& a, const std::wstring& b) {
    return NaturalLessWith(a.c_str(), b.c_str(), kRules);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring a = Name(data, size), b = Name(data, size), c = Name(data, size);
    if (Less(a, a)) std::abort();                        // irreflexive
    if (Less(a, b) && Less(b, a)) std::abort();          // asymmetric
    if (Less(a, b) && Less(b, c) && !Less(a, c)) std::abort();  // transitive
    const bool ab = !Less(a, b) && !Less(b, a), bc = !Less(b, c) && !Less(c, b);
    if (ab && bc && (Less(a, c) || Less(c, a))) std::abort();  // equivalence is transitive
    return 0;
}
