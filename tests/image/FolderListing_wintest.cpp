// Listing a real folder: which entries enter, their natural order with the C
// runtime's own digit test, the start search, and paths that do not fit.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "image/FolderListing.h"
#include "tests/image/ImageTestFiles.h"

namespace {

std::vector<std::wstring> Names(const PlayerState& state) {
    std::vector<std::wstring> names;
    for (const auto& name : state.imageNames) names.push_back(name->text);
    return names;
}

void SetPaths(PlayerState& state, const std::wstring& folder, const std::wstring& start) {
    wcscpy_s(state.filePath, folder.c_str());
    wcscpy_s(state.startFileName, start.c_str());
}

// The folder of the issue and then some: what is listed, in which order.
class MixedFolder : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* name : {L"img1.jpg", L"img10.jpg", L"img2.jpg", L"IMG3.PNG", L"a01.jpg",
                                    L"a1.jpg", L"photo.jpg", L"photo (2).jpg", L"picture.Jpg",
                                    L"notes.txt", L"anim.gif", L"noext", L".png", L"x\uFF10.png",
                                    L"x70000.png", L"b.JPEG", L"c.WEBP"})
            folder.File(name);
        folder.File(L"h.webp", {}, true);
        folder.Folder(L"x.jpg");
        folder.Folder(L"y.jpg", true);
        state = CreatePlayerState();
    }
    TempFolder folder;
    PlayerState* state = nullptr;
};

const std::vector<std::wstring> kMixedOrder = {
    L".png", L"a1.jpg", L"a01.jpg", L"b.JPEG", L"c.WEBP", L"h.webp", L"img1.jpg", L"img2.jpg",
    L"IMG3.PNG", L"img10.jpg", L"photo (2).jpg", L"photo.jpg",
    // U+FF10 is a digit to the C runtime (worth 65248), so it comes before 70000.
    L"x\uFF10.png", L"x70000.png", L"y.jpg",
};

TEST_F(MixedFolder, ListsImagesInNaturalOrderAndFindsTheStart) {
    // The hidden entries really are hidden on this file system.
    ASSERT_NE(GetFileAttributesW(folder.Child(L"h.webp").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    ASSERT_NE(GetFileAttributesW(folder.Child(L"y.jpg").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

    SetPaths(*state, folder.Path(), L"img2.jpg");
    ASSERT_TRUE(ListFolderImages(*state));
    EXPECT_EQ(Names(*state), kMixedOrder);
    ASSERT_EQ(state->imageCount, static_cast<int32_t>(kMixedOrder.size()));
    ASSERT_EQ(state->imagePaths.size(), kMixedOrder.size());
    EXPECT_EQ(state->currentIndex.load(), 7);
    for (int32_t i = 0; i < state->imageCount; ++i) {
        EXPECT_EQ(std::wstring(state->imagePaths[i]->text), folder.Child(kMixedOrder[i]));
        EXPECT_EQ(state->imageBitmaps[i].load(), nullptr);
    }
}

TEST_F(MixedFolder, StartSearchIsExactAndCaseSensitive) {
    struct Case {
        const wchar_t* start;
        bool found;
        int32_t index;
    };
    const Case cases[] = {
        {L"h.webp", true, 5},       // a hidden file opened from the command line
        {L".png", true, 0},
        {L"y.jpg", true, 14},
        {L"Photo.jpg", false, 77},  // the entry is photo.jpg
        {L"img2.JPG", false, 77},
        {L"picture.Jpg", false, 77},  // on disk, but not listed
        {L"img2.jpg ", false, 77},
        {L"", false, 77},
    };
    for (const Case& c : cases) {
        PlayerState* fresh = CreatePlayerState();
        SetPaths(*fresh, folder.Path(), c.start);
        fresh->currentIndex.store(77);
        EXPECT_EQ(ListFolderImages(*fresh), c.found) << Narrow(c.start);
        EXPECT_EQ(fresh->currentIndex.load(), c.index) << Narrow(c.start);
        EXPECT_EQ(fresh->imageCount, static_cast<int32_t>(kMixedOrder.size()));
    }
}

TEST_F(MixedFolder, BareFileNameListsTheCurrentFolder) {
    wchar_t before[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));
    SetPaths(*state, L"", L"a01.jpg");
    const bool listed = ListFolderImages(*state);
    SetCurrentDirectoryW(before);
    ASSERT_TRUE(listed);
    EXPECT_EQ(Names(*state), kMixedOrder);
    EXPECT_EQ(state->currentIndex.load(), 2);
    // Paths relative to the current folder, which the process keeps.
    EXPECT_EQ(std::wstring(state->imagePaths[2]->text), L"a01.jpg");
}

TEST(FolderListing, MissingOrEmptyFolderListsNothing) {
    TempFolder empty;
    for (const std::wstring& folder : {empty.Child(L"absent"), empty.Path()}) {
        PlayerState* state = CreatePlayerState();
        SetPaths(*state, folder, L"a.png");
        state->currentIndex.store(3);
        EXPECT_FALSE(ListFolderImages(*state)) << Narrow(folder);
        EXPECT_EQ(state->imageCount, 0);
        EXPECT_TRUE(state->imageNames.empty());
        EXPECT_EQ(state->currentIndex.load(), 3);
    }
}

TEST(FolderListing, OpenedThirdOfFive) {
    TempFolder folder;
    for (const wchar_t* name : {L"e.png", L"b.png", L"d.png", L"a.png", L"c.png"}) folder.File(name);
    PlayerState* state = CreatePlayerState();
    SetPaths(*state, folder.Path(), L"c.png");
    ASSERT_TRUE(ListFolderImages(*state));
    EXPECT_EQ(state->imageCount, 5);
    EXPECT_EQ(state->currentIndex.load(), 2);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(state->imageBitmaps[i].load(), nullptr);
}

// Entries whose folder, backslash and name exceed 511 characters are left out;
// the buffers are never overrun.
TEST(FolderListing, EntriesTooLongForTheBuffersAreSkipped) {
    TempFolder root;
    std::wstring folder = root.Path();
    const size_t target = 480;  // the folder's length
    while (folder.size() < target) {
        const size_t part = std::min<size_t>(200, target - folder.size() - 1);
        folder += L"\\" + std::wstring(part, L'd');
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
            << "length " << folder.size();
    }
    ASSERT_EQ(folder.size(), target);
    const size_t room = 511 - target - 1;  // characters left for a name
    const std::wstring fits = std::wstring(room - 4, L'f') + L".png";
    const std::wstring tooLong = std::wstring(room - 3, L'g') + L".png";
    for (const std::wstring& name : {fits, tooLong}) {
        const std::wstring path = folder + L"\\" + name;
        const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << path.size();
        CloseHandle(h);
    }
    PlayerState* state = CreatePlayerState();
    SetPaths(*state, folder, fits);
    ASSERT_TRUE(ListFolderImages(*state));
    ASSERT_EQ(state->imageCount, 1);
    EXPECT_EQ(std::wstring(state->imagePaths[0]->text).size(), 511u);
    EXPECT_EQ(std::wstring(state->imageNames[0]->text), fits);

    // A folder too long for its search pattern lists nothing and fails.
    PlayerState* deep = CreatePlayerState();
    SetPaths(*deep, std::wstring(510, L'q'), L"a.png");
    EXPECT_FALSE(ListFolderImages(*deep));
    EXPECT_EQ(deep->imageCount, 0);
}

TEST(NaturalLessOnWindows, UsesTheRuntimesDigitTestAndUnicodeLowerCase) {
    ASSERT_TRUE(std::iswdigit(0xFF10));  // what the order relies on here
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        bool less;
    };
    const Case cases[] = {
        {L"x\uFF10", L"x70000", true},
        {L"x70000", L"x\uFF10", false},
        {L"a\uFF11", L"a65249", true},  // equal values, the shorter run first
        {L"img2.jpg", L"IMG10.JPG", true},
        {L"photo (2).jpg", L"photo.jpg", true},
        {L"A1.PNG", L"a1.png", false},
        {L"a1.png", L"A1.PNG", false},
        // Letters beyond ASCII fold too, whatever the C runtime's locale.
        {L"\u00E91.png", L"\u00C92.png", true},   // é1, É2
        {L"\u00C92.png", L"\u00E91.png", false},
        {L"\u03C31", L"\u03A32", true},           // σ1, Σ2
        {L"\u03A32", L"\u03C31", false},
        {L"\u00E41", L"\u00C42", true},           // ä1, Ä2
        {L"\u00C42", L"\u00E41", false},
        {L"\uFF411", L"\uFF212", true},           // ａ1, Ａ2
        {L"\uFF212", L"\uFF411", false},
        {L"\u00C9", L"\u00E9", false},            // É, é: neither before the other
        {L"\u00E9", L"\u00C9", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NaturalLess(c.a, c.b), c.less) << Narrow(c.a) << " vs " << Narrow(c.b);
}

}  // namespace
