#pragma once
// The viewer started as kestrelon.exe starts it, inside a benchmark program,
// so that its own memory and CPU time can be read while it runs.
#include <windows.h>
#include <mfapi.h>

#include <clocale>

#include "app/Startup.h"
#include "ui/MainWindow.h"
#include "ui/VideoPanel.h"

inline PlayerState* StartViewer(const wchar_t* path) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    MFStartup(MF_VERSION, MFSTARTUP_FULL);
    std::setlocale(LC_ALL, ".UTF8");
    PlayerState* state = CreatePlayerState();
    const ViewMode mode = ClassifyCommandLineFile(path);
    CreateFactories();
    CreateAppWindows(*state);
    state->viewMode = mode;
    StartViewMode(*state);
    ShowWindow(state->mainWindow, SW_SHOW);
    return state;
}

// Runs the message loop for `ms` milliseconds; `beforeDispatch` sees (and may
// change) each message first.
template <typename Hook>
void PumpFor(DWORD ms, Hook beforeDispatch) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG message;
        while (GetTickCount64() < end && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            beforeDispatch(message);
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}
inline void PumpFor(DWORD ms) {
    PumpFor(ms, [](MSG&) {});
}

// Pumps until the picture at currentIndex is on screen; false after `ms`.
inline bool WaitShown(PlayerState& state, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    const VideoPanel& panel = *state.videoPanel;
    while (!(panel.shownSource && panel.shownIndex == state.currentIndex.load())) {
        if (GetTickCount64() > end) return false;
        PumpFor(10);
    }
    return true;
}

inline void CloseViewer(PlayerState& state) {
    SendMessageW(state.mainWindow, WM_CLOSE, 0, 0);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}
