// What a desktop expects of the program beyond its own commands: the window
// icon, and the display kept awake only while a video plays.
#include "tests/ui/ControlBarTestSupport.h"

namespace {

using EtiquetteTest = AppWindowsTest;

// The calling thread's standing request, read by asking for the same again
// (the call answers the previous value).
EXECUTION_STATE CurrentExecutionState() {
    const EXECUTION_STATE now = SetThreadExecutionState(ES_CONTINUOUS);
    SetThreadExecutionState(now | ES_CONTINUOUS);
    return now;
}

constexpr EXECUTION_STATE kAwake = ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED;

TEST_F(EtiquetteTest, MainWindowClassCarriesTheIconLargeAndSmall) {
    const struct {
        int index;
        int widthMetric;
    } icons[] = {{GCLP_HICON, SM_CXICON}, {GCLP_HICONSM, SM_CXSMICON}};
    for (const auto& icon : icons) {
        const HICON handle =
            reinterpret_cast<HICON>(GetClassLongPtrW(state->mainWindow, icon.index));
        ASSERT_NE(handle, nullptr) << icon.index;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(handle, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
        EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(icon.widthMetric)) << icon.index;
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
    }
}

TEST_F(EtiquetteTest, DisplayStaysAwakeWhilePlayingOnly) {
    SetThreadExecutionState(ES_CONTINUOUS);
    ASSERT_TRUE(PlayVideo(*state));
    EXPECT_EQ(CurrentExecutionState() & kAwake, kAwake);
    ASSERT_TRUE(PauseVideo(*state));
    EXPECT_EQ(CurrentExecutionState() & kAwake, 0u);
    state->videoPaused = false;
    ASSERT_TRUE(PlayVideo(*state));
    EXPECT_EQ(CurrentExecutionState() & kAwake, kAwake);
    SetThreadExecutionState(ES_CONTINUOUS);
}

}  // namespace
