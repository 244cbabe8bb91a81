// Container sniffing and the corrected name on arbitrary headers, extensions
// and path lengths: the path buffer stays terminated, only the extension ever
// changes, and a fitting extension is never touched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "video/ContainerSniff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kSniffBytes + 3) return 0;
    uint8_t header[kSniffBytes];
    std::memcpy(header, data, kSniffBytes);
    static const wchar_t* const kExtensions[] = {L".wmv", L".avi", L".mp4", L".mov",
                                                 L".webm", L".mpeg", L".mpg"};
    const wchar_t* extension = kExtensions[data[kSniffBytes] % 7];
    const size_t length = (data[kSniffBytes + 1] | (data[kSniffBytes + 2] << 8)) % (kPathChars + 8);
    const size_t extensionLength = std::wcslen(extension);
    if (length < extensionLength + 1 || length >= kPathChars) return 0;

    wchar_t path[kPathChars];
    std::wmemset(path, L'\0', kPathChars);
    std::wmemset(path, L'v', length - extensionLength);
    std::wmemcpy(path + length - extensionLength, extension, extensionLength);
    wchar_t before[kPathChars];
    std::wmemcpy(before, path, kPathChars);

    const ContainerFamily family = SniffContainer(header);
    CorrectExtensionForContainer(path, extension, header);
    if (std::wmemchr(path, L'\0', kPathChars) == nullptr) std::abort();
    const size_t stem = length - extensionLength;
    if (std::wmemcmp(path, before, stem) != 0) std::abort();  // folder and base name stay
    if (family == ContainerFamily::Unknown && std::wcscmp(path, before) != 0) std::abort();
    return 0;
}
