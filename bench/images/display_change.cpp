// Changes the display under the running viewer, for bench/images/screen_timing.py:
// reads lines "W H" from standard input and for each asks the system for a
// W x H display mode; where the system has no such mode (a virtual X
// screen of one size) or it is the mode already set, sends the viewer's main window the WM_DISPLAYCHANGE
// the system would have sent. Prints one line per change, once it is handled.
//   image_display_change.exe   (then "1600 900" lines on standard input)
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

BOOL CALLBACK FindViewer(HWND window, LPARAM found) {
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    if (IsWindowVisible(window) && std::wcsncmp(title, L"Kestrelon", 9) == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int main() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    HWND viewer = nullptr;
    for (int tries = 0; !viewer && tries < 100; ++tries) {
        EnumWindows(FindViewer, reinterpret_cast<LPARAM>(&viewer));
        if (!viewer) Sleep(100);
    }
    if (!viewer) {
        std::printf("no viewer window\n");
        return 1;
    }
    std::printf("ready\n");
    int width = 0, height = 0;
    while (std::scanf("%d %d", &width, &height) == 2) {
        DEVMODEW mode{};
        mode.dmSize = sizeof(mode);
        mode.dmPelsWidth = static_cast<DWORD>(width);
        mode.dmPelsHeight = static_cast<DWORD>(height);
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
        // A "change" to the mode already set may not reach the viewer at all.
        DEVMODEW now{};
        now.dmSize = sizeof(now);
        const bool already = EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &now) &&
                             now.dmPelsWidth == mode.dmPelsWidth && now.dmPelsHeight == mode.dmPelsHeight;
        if (!already &&
            ChangeDisplaySettingsExW(nullptr, &mode, nullptr, CDS_FULLSCREEN, nullptr) == DISP_CHANGE_SUCCESSFUL) {
            std::printf("mode %dx%d\n", width, height);
            continue;
        }
        DWORD_PTR result = 0;
        SendMessageTimeoutW(viewer, WM_DISPLAYCHANGE, 32, MAKELPARAM(width, height), SMTO_NORMAL, 10000,
                            &result);
        std::printf("message %dx%d\n", width, height);
    }
    return 0;
}
