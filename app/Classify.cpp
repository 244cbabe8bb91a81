#include "app/Classify.h"

#include <cwchar>

namespace {

struct ExtensionRow {
    const wchar_t* extension;
    ViewMode mode;
    const wchar_t* recorded;  // written to videoExtension (Video rows only)
};

// Tried in this order; the first match wins.
constexpr ExtensionRow kExtensionTable[] = {
    {L".png", ViewMode::ImageFolder, nullptr},  {L".PNG", ViewMode::ImageFolder, nullptr},
    {L".jpg", ViewMode::ImageFolder, nullptr},  {L".JPG", ViewMode::ImageFolder, nullptr},
    {L".jpeg", ViewMode::ImageFolder, nullptr}, {L".JPEG", ViewMode::ImageFolder, nullptr},
    {L".webp", ViewMode::ImageFolder, nullptr}, {L".WEBP", ViewMode::ImageFolder, nullptr},
    {L".gif", ViewMode::AnimatedGif, nullptr},  {L".GIF", ViewMode::AnimatedGif, nullptr},
    {L".wmv", ViewMode::Video, L".wmv"},        {L".WMV", ViewMode::Video, L".wmv"},
    {L".avi", ViewMode::Video, L".avi"},        {L".AVI", ViewMode::Video, L".avi"},
    {L".mp4", ViewMode::Video, L".mp4"},        {L".MP4", ViewMode::Video, L".mp4"},
    {L".mov", ViewMode::Video, L".mov"},        {L".MOV", ViewMode::Video, L".mov"},
    {L".webm", ViewMode::Video, L".webm"},      {L".WEBM", ViewMode::Video, L".webm"},
    {L".mpeg", ViewMode::Video, L".mpeg"},      {L".MPEG", ViewMode::Video, L".mpeg"},
    {L".mpg", ViewMode::Video, L".mpg"},        {L".MPG", ViewMode::Video, L".mpg"},
};

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
        if (!EndsWith(path, length, row.extension)) continue;
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
                CopyBounded(out.videoExtension, row.recorded, std::wcslen(row.recorded));
                break;
            case ViewMode::None:
                break;
        }
        out.mode = row.mode;
        return row.mode;
    }
    return ViewMode::None;
}
