// The container signatures and the corrected name, as the opening sees them:
// the first 32 bytes of the file (zero past its end) and the recorded extension.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "video/ContainerSniff.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kMp4 = {0x00, 0x00, 0x00, 0x20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'};
const Bytes kWebm = {0x1A, 0x45, 0xDF, 0xA3, 0x9F, 0x42, 0x86, 0x81};
const Bytes kAvi = {'R', 'I', 'F', 'F', 0x10, 0x20, 0x00, 0x00, 'A', 'V', 'I', ' ', 'L', 'I', 'S', 'T'};
const Bytes kWave = {'R', 'I', 'F', 'F', 0x10, 0x20, 0x00, 0x00, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
const Bytes kAsf = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                    0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
// The same GUID in its textual byte order: not what a file holds.
const Bytes kAsfTextOrder = {0x75, 0xB2, 0x26, 0x30, 0x66, 0x8E, 0x11, 0xCF,
                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Bytes kMpegPs = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00};

// The header buffer the opening fills: zeros, then as much of the file as it has.
void FillHeader(const Bytes& file, uint8_t (&header)[kSniffBytes]) {
    std::memset(header, 0, kSniffBytes);
    std::memcpy(header, file.data(), file.size() < kSniffBytes ? file.size() : kSniffBytes);
}

std::wstring Corrected(const std::wstring& path, const wchar_t* extension, const Bytes& file) {
    wchar_t buffer[kPathChars] = {};
    path.copy(buffer, kPathChars - 1);
    uint8_t header[kSniffBytes];
    FillHeader(file, header);
    CorrectExtensionForContainer(buffer, extension, header);
    return buffer;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

TEST(ContainerSniff, CorrectedNames) {
    struct Case {
        const wchar_t* path;
        const wchar_t* extension;  // as classification recorded it
        Bytes file;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\v\\clip.wmv", L".wmv", kMp4, L"C:\\v\\clip.mp4"},
        {L"C:\\v\\clip.mpeg", L".mpeg", kMp4, L"C:\\v\\clip.mp4"},
        {L"C:\\v\\clip.mpg", L".mpg", kMp4, L"C:\\v\\clip.mp4"},
        {L"C:\\v\\clip.mp4", L".mp4", kWebm, L"C:\\v\\clip.webm"},
        {L"C:\\v\\clip.mp4", L".mp4", kAvi, L"C:\\v\\clip.avi"},
        {L"C:\\v\\clip.avi", L".avi", kAsf, L"C:\\v\\clip.wmv"},
        {L"C:\\v\\clip.webm", L".webm", kAvi, L"C:\\v\\clip.avi"},
        {L"C:\\v\\clip.avi", L".avi", kAvi, L"C:\\v\\clip.avi"},
        {L"C:\\v\\clip.mov", L".mov", kMp4, L"C:\\v\\clip.mov"},
        {L"C:\\v\\clip.mp4", L".mp4", kMp4, L"C:\\v\\clip.mp4"},
        {L"C:\\v\\clip.webm", L".webm", kWebm, L"C:\\v\\clip.webm"},
        {L"C:\\v\\clip.wmv", L".wmv", kAsf, L"C:\\v\\clip.wmv"},
        // Upper case on disk is recorded in lower case.
        {L"C:\\v\\CLIP.MOV", L".mov", kMp4, L"C:\\v\\CLIP.MOV"},
        {L"C:\\v\\CLIP.WMV", L".wmv", kMp4, L"C:\\v\\CLIP.mp4"},
        {L"C:\\v\\CLIP.MPEG", L".mpeg", kWebm, L"C:\\v\\CLIP.webm"},
        // No row matches: nothing changes.
        {L"C:\\v\\clip.avi", L".avi", kWave, L"C:\\v\\clip.avi"},
        {L"C:\\v\\clip.mpg", L".mpg", kMpegPs, L"C:\\v\\clip.mpg"},
        {L"C:\\v\\clip.wmv", L".wmv", kAsfTextOrder, L"C:\\v\\clip.wmv"},
        {L"C:\\v\\clip.mp4", L".mp4", Bytes{}, L"C:\\v\\clip.mp4"},
        // Only the extension changes, even when the folder looks like one.
        {L"C:\\x.mp4\\clip.wmv", L".wmv", kMp4, L"C:\\x.mp4\\clip.mp4"},
        // A recorded extension that is not the end of the path is left alone.
        {L"C:\\v\\clip.wmv", L".avi", kMp4, L"C:\\v\\clip.wmv"},
        {L"C:\\v\\clip.wmv", L"", kMp4, L"C:\\v\\clip.wmv"},
        {L".wmv", L".wmv", kMp4, L".mp4"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Narrow(Corrected(c.path, c.extension, c.file)), Narrow(c.expected))
            << Narrow(c.path);
}

TEST(ContainerSniff, ShortFilesMatchOnlyBytesTheyHave) {
    // Every prefix of each signature file, 0 to 32 bytes: a row matches only
    // once all the bytes it tests are really there.
    struct Case {
        Bytes file;
        size_t needed;  // bytes the row tests, counted from the start
        ContainerFamily family;
    };
    Bytes longMp4 = kMp4;
    longMp4.resize(40, 0x55);
    Bytes longAsf = kAsf;
    longAsf.resize(40, 0x00);
    const Case cases[] = {
        {longMp4, 8, ContainerFamily::IsoMedia},
        {kWebm, 4, ContainerFamily::Matroska},
        {kAvi, 12, ContainerFamily::Avi},
        {longAsf, 16, ContainerFamily::Asf},
    };
    for (const Case& c : cases) {
        for (size_t n = 0; n <= kSniffBytes && n <= c.file.size(); ++n) {
            uint8_t header[kSniffBytes];
            FillHeader(Bytes(c.file.begin(), c.file.begin() + n), header);
            const ContainerFamily want = n >= c.needed ? c.family : ContainerFamily::Unknown;
            EXPECT_EQ(SniffContainer(header), want) << "prefix of " << n << " bytes";
        }
    }
    // Zeros (an empty file) and a file that is only "ftyp" at offset 0.
    uint8_t header[kSniffBytes] = {};
    EXPECT_EQ(SniffContainer(header), ContainerFamily::Unknown);
    FillHeader(Bytes{'f', 't', 'y', 'p', 0, 0, 0, 0}, header);
    EXPECT_EQ(SniffContainer(header), ContainerFamily::Unknown);
}

TEST(ContainerSniff, FirstMatchingRowDecides) {
    // "ftyp" at 4 wins over an EBML start; an AVI form wins over bytes that
    // would continue like the ASF GUID.
    Bytes both = kWebm;
    both[4] = 'f', both[5] = 't', both[6] = 'y', both[7] = 'p';
    uint8_t header[kSniffBytes];
    FillHeader(both, header);
    EXPECT_EQ(SniffContainer(header), ContainerFamily::IsoMedia);
    EXPECT_EQ(CorrectedExtensionOf(ContainerFamily::Unknown), nullptr);
    EXPECT_EQ(std::wstring(CorrectedExtensionOf(ContainerFamily::Asf)), L".wmv");
}

TEST(ContainerSniff, CorrectionThatWouldNotFitIsRefused) {
    // 511 characters ending in ".mp4": ".webm" would need 512 and a terminator.
    std::wstring full(507, L'a');
    full += L".mp4";
    ASSERT_EQ(full.size(), kPathChars - 1);
    EXPECT_EQ(Corrected(full, L".mp4", kWebm), full);
    // One character shorter fits exactly.
    std::wstring fits(506, L'a');
    EXPECT_EQ(Corrected(fits + L".mp4", L".mp4", kWebm), fits + L".webm");
    // Shrinking (".mpeg" to ".mp4") always fits and clears the old tail.
    std::wstring longName(506, L'b');
    const std::wstring shrunk = Corrected(longName + L".mpeg", L".mpeg", kMp4);
    EXPECT_EQ(shrunk, longName + L".mp4");
}

}  // namespace
