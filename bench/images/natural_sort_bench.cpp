// Sorting 100,000 generated file names with the natural order against a plain
// ordinal sort of the same names. Prints both times and their ratio (goal: the
// natural sort takes at most twice as long). Built for the host (glibc's digit
// test and folding) and for Windows (the C runtime's, as the viewer uses them).
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <random>
#include <string>
#include <vector>

#include "image/NaturalOrder.h"
#ifdef _WIN32
#include "image/FolderListing.h"
#endif

namespace {

constexpr int kNames = 100000;
constexpr int kRounds = 15;  // alternating, best of each: the machine may be busy

bool Less(const wchar_t* a, const wchar_t* b) {
#ifdef _WIN32
    return NaturalLess(a, b);
#else
    static const TextRules rules{[](wchar_t c) { return std::iswdigit(c) != 0; },
                                 [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); }};
    return NaturalLessWith(a, b, rules);
#endif
}

// Names as folders hold them: camera series, numbered copies, dated
// screenshots, words with numbers, mixed case, some beyond ASCII.
std::vector<std::wstring> MakeNames() {
    std::mt19937 random(7);
    const wchar_t* words[] = {L"holiday", L"Beach", L"scan", L"IMG", L"photo", L"Family",
                              L"\u00E9t\u00E9", L"cat", L"Dog", L"party", L"\u65C5\u884C"};
    std::vector<std::wstring> names;
    wchar_t buffer[128];
    for (int i = 0; i < kNames; ++i) {
        const int n = static_cast<int>(random() % 100000);
        switch (i % 6) {
            case 0: swprintf(buffer, 128, L"IMG_%04d.JPG", n % 10000); break;
            case 1: swprintf(buffer, 128, L"DSC%05d.jpg", n); break;
            case 2: swprintf(buffer, 128, L"photo (%d).jpg", n % 500); break;
            case 3:
                swprintf(buffer, 128, L"Screenshot 2023-%02d-%02d at %02d.%02d.%02d.png", 1 + n % 12,
                         1 + n % 28, n % 24, n % 60, (n / 7) % 60);
                break;
            case 4:
                swprintf(buffer, 128, L"%ls %d-%d.webp", words[n % 11], n % 97, n % 13);
                break;
            default: swprintf(buffer, 128, L"%ls_%ls%d.png", words[n % 11], words[(n / 11) % 11], n); break;
        }
        names.push_back(buffer);
    }
    std::shuffle(names.begin(), names.end(), random);
    return names;
}

template <typename Compare>
double SortMs(const std::vector<const wchar_t*>& names, Compare compare) {
    std::vector<const wchar_t*> copy = names;
    const auto start = std::chrono::steady_clock::now();
    std::sort(copy.begin(), copy.end(), compare);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    std::setlocale(LC_ALL, ".UTF8");
#ifndef _WIN32
    std::setlocale(LC_ALL, "C.UTF-8");
#endif
    // The names one after another in one block, as a listing's buffers would be.
    const std::vector<std::wstring> made = MakeNames();
    std::vector<wchar_t> storage;
    std::vector<size_t> offsets;
    for (const std::wstring& s : made) {
        offsets.push_back(storage.size());
        storage.insert(storage.end(), s.c_str(), s.c_str() + s.size() + 1);
    }
    std::vector<const wchar_t*> names;
    for (size_t offset : offsets) names.push_back(storage.data() + offset);

    double ordinal = 1e30;
    double natural = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        ordinal = std::min(ordinal, SortMs(names, [](const wchar_t* a, const wchar_t* b) {
                               return std::wcscmp(a, b) < 0;
                           }));
        natural = std::min(natural, SortMs(names, Less));
    }
    std::printf("sort of %d names, best of %d: ordinal %.1f ms, natural %.1f ms\n", kNames, kRounds,
                ordinal, natural);
    std::printf("ratio natural / ordinal: %.2f (goal <= 2.00)\n", natural / ordinal);
    return 0;
}
