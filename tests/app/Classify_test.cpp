#include "app/Classify.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const wchar_t* path;
    ViewMode mode;
    const wchar_t* startFileName;
    const wchar_t* filePath;
    const wchar_t* diskPath;
    const wchar_t* videoExtension;
};

const Case kCases[] = {
    {L"D:\\pics\\a.jpeg", ViewMode::ImageFolder, L"a.jpeg", L"D:\\pics", L"", L""},
    {L"D:\\a.png", ViewMode::ImageFolder, L"a.png", L"D:\\", L"", L""},
    {L"D:\\pics\\A.PNG", ViewMode::ImageFolder, L"A.PNG", L"D:\\pics", L"", L""},
    {L"D:\\pics\\b.JPEG", ViewMode::ImageFolder, L"b.JPEG", L"D:\\pics", L"", L""},
    {L"D:\\pics\\c.WEBP", ViewMode::ImageFolder, L"c.WEBP", L"D:\\pics", L"", L""},
    {L"D:\\v\\Clip.MPG", ViewMode::Video, L"Clip.MPG", L"D:\\v\\Clip.MPG", L"D:\\v\\Clip.MPG", L".mpg"},
    {L"D:\\v\\clip.webm", ViewMode::Video, L"clip.webm", L"D:\\v\\clip.webm", L"D:\\v\\clip.webm", L".webm"},
    {L"D:\\v\\clip.MPEG", ViewMode::Video, L"clip.MPEG", L"D:\\v\\clip.MPEG", L"D:\\v\\clip.MPEG", L".mpeg"},
    {L"D:\\v\\clip.WMV", ViewMode::Video, L"clip.WMV", L"D:\\v\\clip.WMV", L"D:\\v\\clip.WMV", L".wmv"},
    {L"D:\\v\\anim.GIF", ViewMode::AnimatedGif, L"anim.GIF", L"D:\\v\\anim.GIF", L"", L""},
    // Mixed case and foreign extensions: None, but the name is still written.
    {L"D:\\pics\\a.Png", ViewMode::None, L"a.Png", L"", L"", L""},
    {L"D:\\pics\\a.tif", ViewMode::None, L"a.tif", L"", L"", L""},
    {L"D:\\pics\\a.png.bak", ViewMode::None, L"a.png.bak", L"", L"", L""},
    {L"D:\\v\\clip.Mp4", ViewMode::None, L"clip.Mp4", L"", L"", L""},
    // The extension must be the very end; ".jpeg" is not ".jpg" plus a letter.
    {L"D:\\pics\\a.jpgx", ViewMode::None, L"a.jpgx", L"", L"", L""},
    // Bare names and short paths.
    {L"a.png", ViewMode::ImageFolder, L"a.png", L"", L"", L""},
    {L".png", ViewMode::ImageFolder, L".png", L"", L"", L""},
    {L"png", ViewMode::None, L"png", L"", L"", L""},
    {L"", ViewMode::None, L"", L"", L"", L""},
    {L"pics\\a.jpg", ViewMode::ImageFolder, L"a.jpg", L"pics", L"", L""},
    {L"\\\\server\\share\\a.jpg", ViewMode::ImageFolder, L"a.jpg", L"\\\\server\\share", L"", L""},
};

TEST(Classify, ExtensionTableAndBuffers) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "path #" << (&c - kCases));
        ClassifiedPath out;
        EXPECT_EQ(ClassifyPath(c.path, out), c.mode);
        EXPECT_EQ(out.mode, c.mode);
        EXPECT_EQ(std::wstring(out.startFileName), c.startFileName);
        EXPECT_EQ(std::wstring(out.filePath), c.filePath);
        EXPECT_EQ(std::wstring(out.diskPath), c.diskPath);
        EXPECT_EQ(std::wstring(out.videoExtension), c.videoExtension);
    }
}

TEST(Classify, EveryExtensionRowIsSpelledTwiceAndFoundBothWays) {
    // The listing and the container check read these rows too: a misspelt
    // upper-case form would make a file open but never list, or list but
    // never open.
    for (size_t i = 0; i < kExtensionCount; ++i) {
        const ExtensionRow& row = kExtensionTable[i];
        SCOPED_TRACE(testing::Message() << "row #" << i);
        std::wstring upper(row.lower);
        for (wchar_t& c : upper) c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
        EXPECT_EQ(upper, row.upper);
        EXPECT_EQ(FindExtension(row.lower), &row);
        EXPECT_EQ(FindExtension(row.upper), &row);
        ClassifiedPath out;
        EXPECT_EQ(ClassifyPath((std::wstring(L"C:\\f") + row.upper).c_str(), out), row.mode);
        if (row.container != ContainerFamily::Unknown) {
            EXPECT_EQ(row.mode, ViewMode::Video);
        }
    }
    EXPECT_EQ(FindExtension(L".Jpg"), nullptr);
    EXPECT_EQ(FindExtension(nullptr), nullptr);
}

TEST(Classify, NoArgumentLeavesEverythingEmpty) {
    ClassifiedPath out;
    out.filePath[0] = L'x';
    EXPECT_EQ(ClassifyPath(nullptr, out), ViewMode::None);
    EXPECT_EQ(out.filePath[0], L'\0');
    EXPECT_EQ(out.startFileName[0], L'\0');
}

TEST(Classify, LongPathsAreRefusedWithoutOverflow) {
    // 511 characters fit a buffer; 512 and more are refused as None.
    for (size_t length : {size_t{510}, size_t{511}, size_t{512}, size_t{513}, size_t{2000}}) {
        std::wstring path = L"C:\\" + std::wstring(length - 9, L'a') + L"\\a.png";
        ASSERT_EQ(path.size(), length);
        ClassifiedPath out;
        const ViewMode mode = ClassifyPath(path.c_str(), out);
        if (length < kPathChars) {
            EXPECT_EQ(mode, ViewMode::ImageFolder) << length;
            EXPECT_EQ(std::wstring(out.startFileName), L"a.png");
            EXPECT_EQ(std::wstring(out.filePath).size(), length - 6);
        } else {
            EXPECT_EQ(mode, ViewMode::None) << length;
            EXPECT_EQ(out.startFileName[0], L'\0');
        }
    }
}

TEST(Classify, FolderPartMatchesPathRemoveFileSpec) {
    struct Folder {
        const wchar_t* path;
        size_t length;
    };
    const Folder cases[] = {
        {L"C:\\a\\b.png", 4}, {L"C:\\b.png", 3}, {L"b.png", 0}, {L"C:b.png", 2},
        {L"\\b.png", 1},     {L"a\\b\\", 3},    {L"", 0},
    };
    for (const Folder& f : cases)
        EXPECT_EQ(FolderPartLength(f.path, std::wstring(f.path).size()), f.length)
            << std::wstring(f.path).size();
}

}  // namespace
