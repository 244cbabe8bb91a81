#pragma once
// The one record of a run, the process-wide globals and the custom messages.
//
// Threads that touch the record: the UI thread (everything not noted), the
// prefetch thread and the second ring decoder it starts (image ring), the
// multimedia timer thread (GIF tick, video clock) and the Media Foundation
// work-queue thread (session events). Fields shared across threads are
// atomics or are noted with their rule below.
#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>
#include <wincodec.h>
#include <mfidl.h>
#include <mfapi.h>
#include <evr.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/Classify.h"
#include "app/ViewMode.h"
#include "app/WindowTarget.h"
#include "app/GifFrame.h"

struct VideoPanel;
struct PopupWindow;
struct ControlWindow;
class CMediaSessionCallback;

// ---- Custom window messages (wParam and lParam are 0 unless noted) ----
// Session event sink on MESessionStarted, SendMessageW to the main window: hide the pop-up.
constexpr UINT WM_APP_HIDE_POPUP = WM_APP + 101;
// Session event sink on MESessionEnded, SendMessageW to the panel, which forwards
// it to the main window: restart the video at 0.
constexpr UINT WM_APP_RESTART_VIDEO = WM_APP + 102;
// Session event sink on MEEndOfPresentation, SendMessageW to the main window: show the pop-up.
constexpr UINT WM_APP_SHOW_POPUP = WM_APP + 103;
// Session event sink when the topology is ready, PostMessageW to the panel: set g_sessionReady.
constexpr UINT WM_APP_SESSION_READY = WM_APP + 104;
// Play/pause button to the control bar: PauseVideo.
constexpr UINT WM_APP_PAUSE = WM_APP + 105;
// Play/pause button to the control bar: PlayVideo.
constexpr UINT WM_APP_PLAY = WM_APP + 106;
// Session event sink, PostMessageW to the main window, when the session confirms
// a command or a new session's topology is ready: wParam the event type
// (MESessionStarted, MESessionPaused, MESessionStopped, MESessionTopologyStatus,
// or MEError for a command that failed), lParam the session's number
// (video/Playback.h). The next queued command is issued then.
constexpr UINT WM_APP_SESSION_STEP = WM_APP + 107;

// Timer id 1: on the panel every 100 ms (ImageFolder repaint), on the main
// window every 30 ms (Video: control bar repaint).
constexpr UINT_PTR kRepaintTimerId = 1;
constexpr UINT kPanelRepaintMs = 100;
constexpr UINT kBarRepaintMs = 30;
constexpr UINT kVideoClockMs = 30;
constexpr UINT kFirstGifTickMs = 30;

extern const wchar_t kWindowTitle[];  // "Kestrelon" and the version: "Kestrelon1.0.3"

// Decoders working on the folder ring at once (each a full-size decode in
// memory at most).
constexpr int kRingDecoders = 2;

// One image slot of the folder ring. Written by a ring decoder (null to a
// bitmap, release store) and read by the UI thread (acquire load); emptied
// again only by the UI thread, which is the only reader, when the image leaves
// the prefetch window. The slot owns one reference to its bitmap.
using ImageSlot = std::atomic<IWICBitmap*>;

// The upright size of a folder picture as stored in its file. The ring keeps
// pictures at their on-screen size; the panel places them by this one.
struct ImageSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

// A path or name buffer of the folder lists (owned by the state, never freed).
struct PathBuffer {
    wchar_t text[kPathChars] = {};
};

struct PlayerState {
    // ---- windows (UI thread; objects owned by the state, never freed) ----
    HWND mainWindow = nullptr;
    VideoPanel* videoPanel = nullptr;
    PopupWindow* popupWindow = nullptr;
    ControlWindow* controlWindow = nullptr;

    // Set once by WM_CLOSE on the UI thread; read by the ring decoders and the GIF timer.
    std::atomic<bool> quitRequested{false};
    // Prefetch thread handle: created by the mode start, closed and cleared by the thread itself.
    std::atomic<HANDLE> prefetchThread{nullptr};

    // The main window's render target; its targets are owned here. UI thread.
    WindowTarget mainTarget;

    // ---- Media Foundation (owned; one reference each, never released) ----
    // Written once on the MF work-queue thread before WM_APP_SESSION_READY is posted.
    IMFVideoDisplayControl* videoDisplayControl = nullptr;
    IMFMediaSession* mediaSession = nullptr;
    IMFMediaSource* mediaSource = nullptr;
    IMFTopology* topology = nullptr;
    CMediaSessionCallback* sessionCallback = nullptr;
    // Written once on the MF work-queue thread before WM_APP_SESSION_READY is posted.
    IMFAudioStreamVolume* audioStreamVolume = nullptr;

    // ---- paths (UI thread, written by classification; filePath also by the sniffing) ----
    wchar_t filePath[kPathChars] = {};
    wchar_t diskPath[kPathChars] = {};
    wchar_t startFileName[kPathChars] = {};
    wchar_t videoExtension[kPathChars] = {};

    // ---- poster frame (UI thread) ----
    uint32_t posterWidth = 0;
    uint32_t posterHeight = 0;
    IWICBitmap* posterBitmap = nullptr;  // owned

    // ---- video position (100-ns units) ----
    std::atomic<int64_t> duration{0};  // written at opening (UI); read by the timer thread
    std::atomic<int64_t> position{0};  // written by the UI thread (seeks) and the clock tick
    // Released and fetched again before each reading, by whoever holds g_clockBusy.
    IMFClock* presentationClock = nullptr;

    // ---- animated GIF (written once by the decoding on the UI thread) ----
    // Each frame's own pixels, rectangle and disposal, composed on the panel's
    // canvas by the paint (UI thread). Empty pixels where a frame failed.
    std::vector<GifFrame> gifFrames;

    // ---- image folder ----
    // Sized once by the listing before the prefetch thread starts; never resized.
    std::unique_ptr<ImageSlot[]> imageBitmaps;
    // Beside each slot, the original size of its picture: written by the
    // decoder that took the slot, while it is empty, before the release store that
    // fills it; read by the UI thread only after an acquire load found the slot
    // filled. Sized with imageBitmaps (may be absent: the bitmap's own size then).
    std::unique_ptr<ImageSize[]> imageSizes;
    // The panel size, in pixels, the ring keeps its pictures for: width in the
    // high 32 bits, height in the low ones, so both change together. Written by
    // the UI thread (set by the mode start before the prefetch thread starts,
    // and at a display change), read by the decoders; 0 until set, which
    // keeps pictures at their own size.
    std::atomic<uint64_t> ringPanelSize{0};
    // The ring's decoders: the prefetch thread and a second one it starts, so
    // that the picture on screen never waits behind one long decode (see
    // image/Prefetch.cpp). ringLock is held only while a decoder picks its
    // next slot or goes to sleep, and by the UI thread to wake them, never
    // across a decode; ringWork is what they sleep on between passes, and
    // ringWakes (under ringLock) counts the wakes so that none is missed.
    SRWLOCK ringLock = SRWLOCK_INIT;
    CONDITION_VARIABLE ringWork = CONDITION_VARIABLE_INIT;
    uint32_t ringWakes = 0;
    // The slot each decoder is decoding, -1 when none: taken under ringLock,
    // so no slot is decoded by both; read without it by the other decoder.
    std::atomic<int32_t> ringDecoding[kRingDecoders] = {{-1}, {-1}};
    // The last index a decoder took up while it was currentIndex: until the
    // index moves again, the picture on screen is being served.
    std::atomic<int32_t> ringLandingTaken{-1};
    // GetTickCount64 when the panel last painted a new index (a step), 0
    // before any: the decoders start nothing while steps come quickly.
    // Written by the UI thread, read by the decoders.
    std::atomic<uint64_t> ringIndexMovedMs{0};
    // The drawing panel's window: set on the UI thread when it is created,
    // before any other thread starts. The prefetch thread invalidates it when
    // the picture on screen reaches its slot, so it is drawn at once rather
    // than at the next repaint tick; the video opening hands it to the
    // renderer. Atomic: the threads share it.
    std::atomic<HWND> panelWindow{nullptr};
    std::vector<std::unique_ptr<PathBuffer>> imagePaths;  // read by the ring decoders
    std::vector<std::unique_ptr<PathBuffer>> imageNames;

    std::vector<uint32_t> gifFrameDelays;  // read by the GIF timer thread
    std::vector<D2D1_RECT_F> gifFrameRects;

    ID2D1Bitmap* appIcon = nullptr;  // owned; made for the panel's render target

    int32_t imageCount = 0;               // fixed before the prefetch thread starts
    std::atomic<int32_t> currentIndex{0};  // written by the UI thread, read by the decoders
    // Id of the running multimedia timer; written by the UI thread and the GIF tick.
    std::atomic<uint32_t> mmTimerId{0};
    uint32_t gifFrameCount = 0;
    std::atomic<uint32_t> gifFrameIndex{0};  // written by the GIF tick only, read by the paint
    // When the running GIF tick was due (microseconds, QueryPerformanceCounter);
    // 0 until the first tick. Written and read by the GIF ticks only, which never overlap.
    std::atomic<int64_t> gifTickDueUs{0};
    float gifWidth = 0.0f;
    float gifHeight = 0.0f;
    int32_t colorPrimaries = 0;  // 0 standard definition, 1 BT.709, 2 BT.2020

    ViewMode viewMode = ViewMode::None;
    // Read by the clock tick on the timer thread.
    std::atomic<bool> videoPlaying{false};
    std::atomic<bool> videoPaused{false};
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    bool controlBarVisible = false;
};

// The cell through which window procedures, threads and callbacks reach the record.
extern PlayerState** g_playerState;
inline PlayerState* CurrentState() { return g_playerState ? *g_playerState : nullptr; }

// Process-wide factories: created once at start-up, never released. (The
// Direct2D factory, g_d2dFactory, is declared with the window targets made on
// it, in app/WindowTarget.h.)
extern IDWriteFactory* g_dwriteFactory;   // shared
extern IWICImagingFactory* g_wicFactory;  // used by the UI thread and the ring decoders

// One holder at a time of the presentation clock: the seek keys and the restart
// on the UI thread, the clock tick on the timer thread. Taken with exchange(true).
extern std::atomic<bool> g_clockBusy;
// The session's topology is ready; set on the UI thread by the panel, read by
// PlayVideo, PauseVideo and SeekVideo.
extern std::atomic<bool> g_sessionReady;
// GetTickCount64 of the last seek issued from the seek track (UI thread).
extern uint64_t g_lastSeekTick;
