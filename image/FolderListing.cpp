#include "image/FolderListing.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <numeric>

#include "image/ListingRules.h"
#include "image/NaturalOrder.h"

namespace {

bool PlatformIsDigit(wchar_t c) { return std::iswdigit(c) != 0; }

// Unicode simple lower case, one code unit at a time, from the system's
// tables. Not towlower: the C runtime this program links (msvcrt.dll) has no
// UTF-8 locale, and in its "C" locale towlower folds A-Z only, so "É2" would
// sort apart from "é1". A code unit the system does not map (half a surrogate
// pair, for one) stays as it is.
wchar_t PlatformFold(wchar_t c) {
    wchar_t lower = c;
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, &c, 1, &lower, 1, nullptr, nullptr,
                      0) != 1)
        return c;
    return lower;
}

const TextRules kPlatformText{PlatformIsDigit, PlatformFold};

}  // namespace

bool NaturalLess(const wchar_t* a, const wchar_t* b) { return NaturalLessWith(a, b, kPlatformText); }

bool ListFolderImages(PlayerState& state) {
    std::vector<std::unique_ptr<PathBuffer>> paths;
    std::vector<std::unique_ptr<PathBuffer>> names;

    wchar_t pattern[kPathChars] = {};
    if (BuildSearchPattern(state.filePath, pattern, kPathChars)) {
        WIN32_FIND_DATAW entry;
        const HANDLE search = FindFirstFileW(pattern, &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                const bool hidden = (entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
                // cFileName is MAX_PATH long and always terminated: it fits a path buffer.
                if (!KeepsFolderEntry(entry.cFileName, directory, hidden)) continue;
                auto path = std::make_unique<PathBuffer>();
                if (!BuildEntryPath(state.filePath, entry.cFileName, path->text, kPathChars))
                    continue;  // folder and name together are too long for the buffers
                auto name = std::make_unique<PathBuffer>();
                wcscpy_s(name->text, kPathChars, entry.cFileName);
                paths.push_back(std::move(path));
                names.push_back(std::move(name));
            } while (FindNextFileW(search, &entry));
            FindClose(search);
        }
    }

    // One sort by name, applied to both lists: sorting paths and names apart
    // could put two names that differ only in case (equivalent in this order)
    // in different places, and entry i of the lists would then name two files.
    // Equivalent names fall back to ordinal order, so every run lists alike.
    std::vector<size_t> order(names.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&names](size_t x, size_t y) {
        const wchar_t* a = names[x]->text;
        const wchar_t* b = names[y]->text;
        if (NaturalLess(a, b)) return true;
        if (NaturalLess(b, a)) return false;
        return std::wcscmp(a, b) < 0;
    });
    for (size_t i : order) {
        state.imagePaths.push_back(std::move(paths[i]));
        state.imageNames.push_back(std::move(names[i]));
    }
    state.imageCount = static_cast<int32_t>(state.imageNames.size());
    state.imageBitmaps = std::make_unique<ImageSlot[]>(state.imageNames.size());
    for (int32_t i = 0; i < state.imageCount; ++i) state.imageBitmaps[i].store(nullptr);
    state.imageSizes = std::make_unique<ImageSize[]>(state.imageNames.size());

    for (int32_t i = 0; i < state.imageCount; ++i) {
        if (std::wcscmp(state.imageNames[i]->text, state.startFileName) == 0) {
            state.currentIndex.store(i);
            return true;
        }
    }
    return false;
}
