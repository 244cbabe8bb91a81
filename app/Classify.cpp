#include "app/Classify.h"

#include <cwchar>

namespace {

void CopyBounded(wchar_t* dst, const wchar_t* src, size_t count) {
    // Callers guarantee count < kPathChars.
    for (size_t i = 0; i < count; ++i) dst[i] = src[i];
    dst[count] = L'\0';
}

bool EndsWith(const wchar_t* path, size_t length, const wchar_t* extension) {
    const size_t n = std::wcslen(extension);
    return length >= n && std::wmemcmp(path + length - n, extension, n) == 0;
}

}  // namespace

const ExtensionRow kExtensionTable[] = {
    {L".png", L".PNG", ViewMode::ImageFolder, ContainerFamily::Unknown},
    {L".jpg", L".JPG", ViewMode::ImageFolder, ContainerFamily::Unknown},
    {L".jpeg", L".JPEG", ViewMode::ImageFolder, ContainerFamily::Unknown},
    {L".webp", L".WEBP", ViewMode::ImageFolder, ContainerFamily::Unknown},
    {L".gif", L".GIF", ViewMode::AnimatedGif, ContainerFamily::Unknown},
    {L".wmv", L".WMV", ViewMode::Video, ContainerFamily::Asf},
    {L".avi", L".AVI", ViewMode::Video, ContainerFamily::Avi},
    {L".mp4", L".MP4", ViewMode::Video, ContainerFamily::IsoMedia},
    {L".mov", L".MOV", ViewMode::Video, ContainerFamily::IsoMedia},
    {L".webm", L".WEBM", ViewMode::Video, ContainerFamily::Matroska},
    {L".mpeg", L".MPEG", ViewMode::Video, ContainerFamily::Unknown},
    {L".mpg", L".MPG", ViewMode::Video, ContainerFamily::Unknown},
};
const size_t kExtensionCount = sizeof kExtensionTable / sizeof kExtensionTable[0];

const ExtensionRow* FindExtension(const wchar_t* extension) {
    if (!extension) return nullptr;
    for (const ExtensionRow& row : kExtensionTable)
        if (std::wcscmp(extension, row.lower) == 0 || std::wcscmp(extension, row.upper) == 0) return &row;
    return nullptr;
}

size_t FolderPartLength(const wchar_t* path, size_t length) {
    size_t lastSlash = length;
    for (size_t i = length; i > 0; --i) {
        if (path[i - 1] == L'\\') {
            lastSlash = i - 1;
            break;
        }
    }
    if (lastSlash == length) {
        // No backslash: "C:name" keeps its drive, a bare name has no folder.
        return (length >= 2 && path[1] == L':') ? 2 : 0;
    }
    // A drive root ("C:\name") and a share root ("\name") keep their backslash.
    if ((lastSlash == 2 && path[1] == L':') || lastSlash == 0) return lastSlash + 1;
    return lastSlash;
}

ViewMode ClassifyPath(const wchar_t* path, ClassifiedPath& out) {
    out = ClassifiedPath{};
    if (path == nullptr) return ViewMode::None;
    const size_t length = std::wcslen(path);
    if (length >= kPathChars) return ViewMode::None;  // cannot fit a buffer: refused

    const size_t folder = FolderPartLength(path, length);
    size_t nameStart = folder;
    if (folder > 0 && folder < length && path[folder] == L'\\') ++nameStart;
    CopyBounded(out.startFileName, path + nameStart, length - nameStart);

    for (const ExtensionRow& row : kExtensionTable) {
        if (!EndsWith(path, length, row.lower) && !EndsWith(path, length, row.upper)) continue;
        switch (row.mode) {
            case ViewMode::ImageFolder:
                CopyBounded(out.filePath, path, folder);
                break;
            case ViewMode::AnimatedGif:
                CopyBounded(out.filePath, path, length);
                break;
            case ViewMode::Video:
                CopyBounded(out.filePath, path, length);
                CopyBounded(out.diskPath, path, length);
                CopyBounded(out.videoExtension, row.lower, std::wcslen(row.lower));
                break;
            case ViewMode::None:
                break;
        }
        out.mode = row.mode;
        return row.mode;
    }
    return ViewMode::None;
}
