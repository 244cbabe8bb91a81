// Start-up pieces on the real platform: classification against the shell's
// own PathRemoveFileSpecW, and the state record as start-up builds it.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>

#include "app/Classify.h"
#include "app/Startup.h"

namespace {

TEST(StartupWin, FolderPartAgreesWithPathRemoveFileSpec) {
    const wchar_t* paths[] = {
        L"C:\\a\\b.png", L"C:\\b.png", L"b.png", L"C:b.png", L"\\b.png",
        L"\\\\server\\share\\x.jpg", L"rel\\dir\\x.jpg", L"C:\\a b\\c d.jpg",
    };
    for (const wchar_t* path : paths) {
        wchar_t buffer[kPathChars] = {};
        wcscpy_s(buffer, path);
        PathRemoveFileSpecW(buffer);
        const std::wstring expected(buffer);
        EXPECT_EQ(FolderPartLength(path, wcslen(path)), expected.size())
            << "path " << std::string(path, path + wcslen(path));
    }
}

TEST(StartupWin, FreshStateIsEmpty) {
    PlayerState* state = CreatePlayerState();
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(CurrentState(), state);
    EXPECT_EQ(state->viewMode, ViewMode::None);
    EXPECT_EQ(state->mmTimerId.load(), 0u);
    EXPECT_EQ(state->mainWindow, nullptr);
    EXPECT_EQ(state->filePath[0], L'\0');
    EXPECT_EQ(state->imageCount, 0);
    EXPECT_TRUE(state->gifFrames.empty());
    EXPECT_EQ(state->screenWidth, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(ClassifyCommandLineFile(nullptr), ViewMode::None);
    EXPECT_EQ(ClassifyCommandLineFile(L"Z:\\pics\\x.jpg"), ViewMode::ImageFolder);
    EXPECT_EQ(std::wstring(state->filePath), L"Z:\\pics");
    EXPECT_EQ(std::wstring(state->startFileName), L"x.jpg");
}

}  // namespace
