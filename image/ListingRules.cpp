#include "image/ListingRules.h"

#include <cwchar>

#include "app/Classify.h"

namespace {

// A folder part after which no separator goes: it names a place to search, not
// a folder to enter ("" the current folder, "C:" a drive's current folder, "\"
// the current drive's root).
bool TakesNoSeparator(const wchar_t* folder) {
    const size_t n = std::wcslen(folder);
    if (n == 0) return true;
    if (n == 2 && folder[1] == L':') return true;
    return n == 1 && (folder[0] == L'\\' || folder[0] == L'/');
}

bool Concatenate(const wchar_t* first, const wchar_t* second, const wchar_t* third, wchar_t* out,
                 size_t outChars) {
    if (!out || outChars == 0) return false;
    const size_t a = std::wcslen(first);
    const size_t b = std::wcslen(second);
    const size_t c = std::wcslen(third);
    if (a >= outChars || b >= outChars - a || c >= outChars - a - b) {
        out[0] = L'\0';
        return false;
    }
    std::wmemcpy(out, first, a);
    std::wmemcpy(out + a, second, b);
    std::wmemcpy(out + a + b, third, c);
    out[a + b + c] = L'\0';
    return true;
}

}  // namespace

bool HasListedImageExtension(const wchar_t* name) {
    const wchar_t* dot = std::wcsrchr(name, L'.');
    if (!dot) return false;
    const ExtensionRow* row = FindExtension(dot);
    return row && row->mode == ViewMode::ImageFolder;
}

bool KeepsFolderEntry(const wchar_t* name, bool isDirectory, bool isHidden) {
    if (isDirectory && !isHidden) return false;
    return HasListedImageExtension(name);
}

bool BuildSearchPattern(const wchar_t* folder, wchar_t* out, size_t outChars) {
    return Concatenate(folder, TakesNoSeparator(folder) ? L"" : L"/", L"*", out, outChars);
}

bool BuildEntryPath(const wchar_t* folder, const wchar_t* name, wchar_t* out, size_t outChars) {
    return Concatenate(folder, TakesNoSeparator(folder) ? L"" : L"\\", name, out, outChars);
}
