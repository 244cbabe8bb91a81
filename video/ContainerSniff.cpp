#include "video/ContainerSniff.h"

#include <cstring>
#include <cwchar>

namespace {

constexpr uint8_t kFtyp[4] = {0x66, 0x74, 0x79, 0x70};
constexpr uint8_t kEbml[4] = {0x1A, 0x45, 0xDF, 0xA3};
constexpr uint8_t kRiff[4] = {0x52, 0x49, 0x46, 0x46};
constexpr uint8_t kAviForm[4] = {0x41, 0x56, 0x49, 0x20};
// ASF header object GUID 75B22630-668E-11CF-A6D9-00AA0062CE6C as stored on disk:
// the first three fields little-endian, the last eight bytes as written.
constexpr uint8_t kAsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                    0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

bool BytesAt(const uint8_t (&header)[kSniffBytes], size_t offset, const uint8_t* bytes, size_t n) {
    return offset + n <= kSniffBytes && std::memcmp(header + offset, bytes, n) == 0;
}

wchar_t LowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

}  // namespace

ContainerFamily SniffContainer(const uint8_t (&header)[kSniffBytes]) {
    if (BytesAt(header, 4, kFtyp, sizeof kFtyp)) return ContainerFamily::IsoMedia;
    if (BytesAt(header, 0, kEbml, sizeof kEbml)) return ContainerFamily::Matroska;
    // A RIFF file of another form type (WAVE, ...) goes on to the ASF test.
    if (BytesAt(header, 0, kRiff, sizeof kRiff) && BytesAt(header, 8, kAviForm, sizeof kAviForm))
        return ContainerFamily::Avi;
    if (BytesAt(header, 0, kAsfHeader, sizeof kAsfHeader)) return ContainerFamily::Asf;
    return ContainerFamily::Unknown;
}

const wchar_t* CorrectedExtensionOf(ContainerFamily family) {
    if (family == ContainerFamily::Unknown) return nullptr;
    for (size_t i = 0; i < kExtensionCount; ++i)
        if (kExtensionTable[i].container == family) return kExtensionTable[i].lower;
    return nullptr;
}

bool CorrectExtensionForContainer(wchar_t (&filePath)[kPathChars], const wchar_t* videoExtension,
                                  const uint8_t (&header)[kSniffBytes]) {
    const ContainerFamily family = SniffContainer(header);
    const wchar_t* corrected = CorrectedExtensionOf(family);
    if (!corrected || !videoExtension) return false;
    const ExtensionRow* recorded = FindExtension(videoExtension);
    if (recorded && recorded->container == family) return false;  // already fits

    const size_t pathLength = wcsnlen(filePath, kPathChars);
    const size_t extensionLength = std::wcslen(videoExtension);
    if (pathLength >= kPathChars || extensionLength == 0 || extensionLength > pathLength) return false;
    // The recorded extension is the lower-case form of what ends the path.
    const size_t stem = pathLength - extensionLength;
    for (size_t i = 0; i < extensionLength; ++i)
        if (LowerAscii(filePath[stem + i]) != videoExtension[i]) return false;

    const size_t correctedLength = std::wcslen(corrected);
    if (stem + correctedLength >= kPathChars) return false;  // would not fit: keep the name
    std::wmemcpy(filePath + stem, corrected, correctedLength);
    std::wmemset(filePath + stem + correctedLength, L'\0', kPathChars - stem - correctedLength);
    return true;
}
