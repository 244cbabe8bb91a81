// Classification of arbitrary command-line text: never reads or writes past a
// buffer, always terminates its outputs, and agrees with its own contract.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "app/Classify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two bytes per character, as on Windows; the path ends at the data's end.
    std::vector<wchar_t> path(size / 2 + 1, L'\0');
    for (size_t i = 0; i + 1 < size; i += 2) {
        const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        path[i / 2] = c == L'\0' ? L'x' : c;
    }
    ClassifiedPath out;
    const ViewMode mode = ClassifyPath(path.data(), out);
    const size_t length = std::wcslen(path.data());
    for (const wchar_t* buffer : {out.startFileName, out.filePath, out.diskPath, out.videoExtension})
        if (wmemchr(buffer, L'\0', kPathChars) == nullptr) std::abort();  // unterminated
    if (length >= kPathChars && mode != ViewMode::None) std::abort();
    if (mode == ViewMode::Video && std::wcslen(out.videoExtension) < 4) std::abort();
    if (mode != ViewMode::None && std::wcslen(out.startFileName) > length) std::abort();
    return 0;
}
