#include "image/ListingRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Narrow(const wchar_t* s) {
    std::string out;
    for (; *s; ++s) out += (*s < 128) ? static_cast<char>(*s) : '?';
    return out;
}

TEST(ListingRules, WhichEntriesAreListed) {
    struct Case {
        const wchar_t* name;
        bool directory, hidden, listed;
    };
    const Case cases[] = {
        {L"a.jpg", false, false, true},    {L"a.JPG", false, false, true},
        {L"a.jpeg", false, false, true},   {L"a.JPEG", false, false, true},
        {L"a.webp", false, false, true},   {L"a.WEBP", false, false, true},
        {L"a.png", false, false, true},    {L"a.PNG", false, false, true},
        {L".png", false, false, true},     // nothing but the extension
        {L"a.b.c.png", false, false, true},
        {L"picture.Jpg", false, false, false},  // mixed case
        {L"a.Png", false, false, false},
        {L"a.pNG", false, false, false},
        {L"notes.txt", false, false, false},
        {L"anim.gif", false, false, false},     // a mode of its own
        {L"noext", false, false, false},
        {L"a.png.bak", false, false, false},
        {L"a.jpg ", false, false, false},
        {L"a.jp", false, false, false},
        {L"png", false, false, false},
        {L".", true, false, false},
        {L"..", true, false, false},
        {L"h.jpg", false, true, true},          // hidden files are listed
        {L"x.jpg", true, false, false},         // a visible folder is not
        {L"x.jpg", true, true, true},           // a hidden one is (and never decodes)
        {L"x", true, true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeepsFolderEntry(c.name, c.directory, c.hidden), c.listed)
            << Narrow(c.name) << " dir " << c.directory << " hidden " << c.hidden;
    }
}

TEST(ListingRules, PatternAndPathFromTheFolderPart) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* pattern;
        const wchar_t* path;  // of a.png
    };
    const Case cases[] = {
        {L"C:\\pics", L"C:\\pics/*", L"C:\\pics\\a.png"},
        {L"\\\\server\\share\\dir", L"\\\\server\\share\\dir/*", L"\\\\server\\share\\dir\\a.png"},
        {L"rel\\dir", L"rel\\dir/*", L"rel\\dir\\a.png"},
        // A drive root: nothing removed or merged.
        {L"D:\\", L"D:\\/*", L"D:\\\\a.png"},
        // A bare file name: the current folder, not the root of the drive.
        {L"", L"*", L"a.png"},
        // "C:a.png": that drive's current folder.
        {L"C:", L"C:*", L"C:a.png"},
        // "\a.png": the current drive's root, not a network path "\\a.png".
        {L"\\", L"\\*", L"\\a.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.folder));
        wchar_t out[512];
        ASSERT_TRUE(BuildSearchPattern(c.folder, out, 512));
        EXPECT_EQ(std::wstring(out), c.pattern);
        ASSERT_TRUE(BuildEntryPath(c.folder, L"a.png", out, 512));
        EXPECT_EQ(std::wstring(out), c.path);
    }
}

TEST(ListingRules, NothingWrittenPastTheBuffer) {
    // A folder of 509 characters leaves room for "/*" and the terminator, not more.
    const std::wstring folder509(509, L'f');
    const std::wstring folder510(510, L'f');
    wchar_t out[520];
    for (wchar_t& c : out) c = L'#';
    EXPECT_TRUE(BuildSearchPattern(folder509.c_str(), out, 512));
    EXPECT_EQ(std::wstring(out).size(), 511u);
    for (wchar_t& c : out) c = L'#';
    EXPECT_FALSE(BuildSearchPattern(folder510.c_str(), out, 512));
    EXPECT_EQ(out[0], L'\0');
    for (int i = 1; i < 520; ++i) ASSERT_EQ(out[i], L'#') << i;

    // Folder, separator and name together: 511 characters fit, 512 do not.
    const std::wstring folder(500, L'd');
    const std::wstring fits(10, L'n');
    const std::wstring tooLong(11, L'n');
    for (wchar_t& c : out) c = L'#';
    EXPECT_TRUE(BuildEntryPath(folder.c_str(), fits.c_str(), out, 512));
    EXPECT_EQ(std::wstring(out).size(), 511u);
    EXPECT_EQ(out[512], L'#');
    for (wchar_t& c : out) c = L'#';
    EXPECT_FALSE(BuildEntryPath(folder.c_str(), tooLong.c_str(), out, 512));
    EXPECT_EQ(out[0], L'\0');
    for (int i = 1; i < 520; ++i) ASSERT_EQ(out[i], L'#') << i;
}

}  // namespace
