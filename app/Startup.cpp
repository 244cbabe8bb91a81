#include "app/Startup.h"

#include <mfapi.h>
#include <objbase.h>
#include <process.h>
#include <shellapi.h>

#include <clocale>
#include <cwchar>

#include "app/DrawingResources.h"
#include "app/StageTrace.h"
#include "app/WindowPlumbing.h"
#include "image/AnimatedGif.h"
#include "image/FolderListing.h"
#include "image/Prefetch.h"
#include "ui/MainWindow.h"
#include "ui/VideoPanel.h"
#include "ui/VideoSurface.h"
#include "video/MediaSource.h"
#include "video/Playback.h"

PlayerState* CreatePlayerState() {
    // The cell exists (holding null) before the record does.
    g_playerState = new PlayerState*(nullptr);
    PlayerState* state = new PlayerState();
    state->screenWidth = GetSystemMetrics(SM_CXSCREEN);
    state->screenHeight = GetSystemMetrics(SM_CYSCREEN);
    g_clockBusy.store(false);
    *g_playerState = state;
    return state;
}

// The results are not read: a factory that cannot be made stays null, and
// everything made from it checks for that and leaves its part out. Without
// DirectWrite the texts are missing; without Direct2D or WIC the bar's faces
// cannot be loaded and start-up ends at its "Load Error" box.
void CreateFactories() {
    D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                      reinterpret_cast<void**>(&g_d2dFactory));
    DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                        reinterpret_cast<IUnknown**>(&g_dwriteFactory));
    CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                     reinterpret_cast<void**>(&g_wicFactory));
}

ViewMode ClassifyCommandLineFile(const wchar_t* path) {
    PlayerState* state = CurrentState();
    if (!state || !path) return ViewMode::None;
    ClassifiedPath classified;
    const ViewMode mode = ClassifyPath(path, classified);
    std::wmemcpy(state->startFileName, classified.startFileName, kPathChars);
    std::wmemcpy(state->filePath, classified.filePath, kPathChars);
    std::wmemcpy(state->diskPath, classified.diskPath, kPathChars);
    std::wmemcpy(state->videoExtension, classified.videoExtension, kPathChars);
    return mode;
}

namespace {

bool StartVideo(PlayerState& state) {
    if (!OpenVideoOnPanel(state)) return false;
    PlayVideo(state);
    TraceStage("play issued");
    HideMouseCursor();
    SetFocus(state.mainWindow);
    state.mmTimerId = timeSetEvent(kVideoClockMs, 1, VideoClockCallback, 0, TIME_PERIODIC);
    SetTimer(state.mainWindow, kRepaintTimerId, kBarRepaintMs, nullptr);
    return true;
}

bool StartImageFolder(PlayerState& state) {
    if (!ListFolderImages(state)) return false;
    // Before the decoders start, so they never read the screen fields,
    // which a display change writes.
    SetRingPanelSize(state, state.screenWidth, state.screenHeight);
    if (!state.quitRequested.load()) {
        const uintptr_t thread = _beginthreadex(nullptr, 0, PrefetchThreadProc, &state, 0, nullptr);
        state.prefetchThread.store(reinterpret_cast<HANDLE>(thread));
    }
    SetTimer(state.videoPanel->hwnd, kRepaintTimerId, kPanelRepaintMs, nullptr);
    HideMouseCursor();
    SetFocus(state.mainWindow);
    RepaintWindow(state.mainWindow);
    return true;
}

bool StartAnimatedGif(PlayerState& state) {
    VideoPanel& panel = *state.videoPanel;
    if (!DecodeGif(state.filePath, &state.gifFrames, &state.gifFrameDelays,
                   &state.gifFrameRects, &state.gifFrameCount, &state.gifWidth, &state.gifHeight))
        return false;
    // Frames are drawn over what the panel shows; start from black, not from
    // whatever the render target held.
    ClearPanelToBlack(panel);
    HideMouseCursor();
    SetFocus(state.mainWindow);
    RepaintWindow(state.mainWindow);
    if (!state.quitRequested.load())
        state.mmTimerId = ArmGifTick(kFirstGifTickMs, panel.hwnd);
    return true;
}

}  // namespace

bool StartViewMode(PlayerState& state) {
    bool started = false;
    switch (state.viewMode) {
        case ViewMode::Video: started = StartVideo(state); break;
        case ViewMode::ImageFolder: started = StartImageFolder(state); break;
        case ViewMode::AnimatedGif: started = StartAnimatedGif(state); break;
        case ViewMode::None: return false;
    }
    if (!started) state.viewMode = ViewMode::None;
    return started;
}

int RunKestrelon() {
    TraceStage("start");
    int argc = 0;
    // Used for its second element only; never freed (it lives as long as the process).
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);

    // Neither result is read. Without COM the factories below stay null (see
    // CreateFactories); without Media Foundation a video's opening fails and
    // the idle screen shows.
    (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)MFStartup(MF_VERSION, MFSTARTUP_FULL);
    std::setlocale(LC_ALL, ".UTF8");

    PlayerState* state = CreatePlayerState();
    const ViewMode mode = ClassifyCommandLineFile(argv && argc > 1 ? argv[1] : nullptr);
    CreateFactories();
    CreateAppWindows(*state);
    state->viewMode = mode;
    TraceStage("windows made");
    StartViewMode(*state);
    ShowWindow(state->mainWindow, SW_SHOW);
    TraceStage("window shown");

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {  // -1 (an error) ends the loop too
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    // A pipeline stuck in its own threads would hold up Media Foundation's
    // shutdown for good; nothing is left to save, so the process ends here.
    if (VideoPipelineStuck()) ExitProcess(1);
    CoUninitialize();
    MFShutdown();
    return 1;
}
