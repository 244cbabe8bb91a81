#include "ui/ControlBar.h"

#include <array>
#include <cwchar>

#include "app/ComPtr.h"
#include "app/DrawingResources.h"
#include "app/WindowPlumbing.h"
#include "app/WineQuirks.h"
#include "ui/Buttons.h"
#include "ui/OwnedWindow.h"
#include "video/Playback.h"

const wchar_t* const kButtonImageFiles[6] = {
    L"./pict/VideoWindowButtonClose.png", L"./pict/VideoWindowButtonCloseDown.png",
    L"./pict/VideoWindowButtonPlay.png",  L"./pict/VideoWindowButtonPlayDown.png",
    L"./pict/VideoWindowButtonPause.png", L"./pict/VideoWindowButtonPauseDown.png",
};

namespace {

constexpr wchar_t kControlWindowClass[] = L"CLASS_ControlWindow";
constexpr wchar_t kLoadErrorTitle[] = L"Load Error";
constexpr wchar_t kImageNotFound[] = L"画像が見つかりません。";
constexpr wchar_t kCannotOpenFile[] = L"--- ファイルが開けません ---";

// Colour deltas on the base colour.
constexpr int kFrameDelta = 30;
constexpr int kTrackOutlineDelta = 20;
constexpr int kTrackFillDelta = -100;
constexpr int kKnobOutlineDelta = 40;
constexpr int kKnobFillDelta = -30;
constexpr int kTextDelta = 100;
constexpr int kBackgroundTopDelta = -30;
constexpr int kBackgroundBottomDelta = -120;
constexpr float kThinStroke = 3.0f;  // track and knob outlines: not scaled with the DPI

D2D1_COLOR_F BaseColour(const ControlWindow& bar, int delta) {
    return D2D1::ColorF(static_cast<float>(bar.baseRed + delta) / 255.0f,
                        static_cast<float>(bar.baseGreen + delta) / 255.0f,
                        static_cast<float>(bar.baseBlue + delta) / 255.0f, 1.0f);
}

D2D1_RECT_F ToD2D(const RectF& r) { return D2D1::RectF(r.left, r.top, r.right, r.bottom); }

// Shows the "Load Error" box and ends the process: start-up cannot go on
// without every face, in any mode. Never after start-up: a remake that fails
// keeps what the bar has.
[[noreturn]] void ExitForMissingImage(const wchar_t* relativeName) {
    const std::wstring text = MissingImageMessage(relativeName);
    MessageBoxW(nullptr, text.c_str(), kLoadErrorTitle, MB_ICONERROR);
    ExitProcess(1);
}

// The solid brushes' fields and their colour deltas, in one order.
constexpr int kBrushCount = 6;
constexpr int kBrushDeltas[kBrushCount] = {kFrameDelta,       kTrackOutlineDelta, kTrackFillDelta,
                                           kKnobOutlineDelta, kKnobFillDelta,     kTextDelta};
std::array<ID2D1SolidColorBrush**, kBrushCount> BrushFields(ControlWindow& bar) {
    return {&bar.frameBrush,       &bar.trackOutlineBrush, &bar.trackFillBrush,
            &bar.knobOutlineBrush, &bar.knobFillBrush,     &bar.textBrush};
}
// The faces' fields, in the order of kButtonImageFiles.
std::array<ID2D1Bitmap**, 6> FaceFields(ControlWindow& bar) {
    return {&bar.closeFace, &bar.closeDownFace, &bar.playFace,
            &bar.playDownFace, &bar.pauseFace, &bar.pauseDownFace};
}

// Everything the bar draws with that lives on one target (and is lost with
// it), made into locals: the bar takes it over only as a whole.
struct BarDrawingSet {
    ComPtr<ID2D1SolidColorBrush> brushes[kBrushCount];
    ComPtr<ID2D1GradientStopCollection> backgroundStops;
    ComPtr<ID2D1LinearGradientBrush> backgroundBrush;
    ComPtr<ID2D1Bitmap> faces[6];
    const wchar_t* missingFace = nullptr;  // the first face that could not be made
    bool complete = false;                 // every brush, the gradient and every face
};

bool LoadFace(const wchar_t* relativeName, ID2D1RenderTarget* rt, ComPtr<ID2D1Bitmap>& face) {
    wchar_t path[kPathChars] = {};
    bool loaded = BuildPathBesideExe(relativeName, path) && LoadBitmapFromFile(path, rt, face.Put());
    if (g_faceLoadFilter) loaded = g_faceLoadFilter(relativeName, loaded) && loaded;
    if (!loaded) face.Reset();
    return loaded;
}

BarDrawingSet MakeDrawingSet(const ControlWindow& bar, ID2D1RenderTarget* rt) {
    BarDrawingSet set;
    if (!rt) {
        set.missingFace = kButtonImageFiles[0];
        return set;
    }
    bool complete = true;
    for (int i = 0; i < kBrushCount; ++i)
        complete &= SUCCEEDED(rt->CreateSolidColorBrush(BaseColour(bar, kBrushDeltas[i]), set.brushes[i].Put()));
    const D2D1_GRADIENT_STOP stops[2] = {
        {0.0f, BaseColour(bar, kBackgroundTopDelta)},
        {1.0f, BaseColour(bar, kBackgroundBottomDelta)},
    };
    complete &= SUCCEEDED(rt->CreateGradientStopCollection(stops, 2, D2D1_GAMMA_2_2, D2D1_EXTEND_MODE_CLAMP,
                                                           set.backgroundStops.Put())) &&
                SUCCEEDED(rt->CreateLinearGradientBrush(
                    D2D1::LinearGradientBrushProperties(D2D1::Point2F(0.0f, 0.0f),
                                                        D2D1::Point2F(0.0f, static_cast<float>(bar.height))),
                    set.backgroundStops.Get(), set.backgroundBrush.Put()));
    for (int i = 0; i < 6 && !set.missingFace; ++i)
        if (!LoadFace(kButtonImageFiles[i], rt, set.faces[i])) set.missingFace = kButtonImageFiles[i];
    set.complete = complete && !set.missingFace;
    return set;
}

// The bar lets go of what it drew with and takes `set` (the buttons' faces
// with it), all in one step on the UI thread: no paint ever sees a mixture.
void TakeDrawingSet(ControlWindow& bar, BarDrawingSet& set) {
    const auto brushes = BrushFields(bar);
    for (int i = 0; i < kBrushCount; ++i) {
        SafeRelease(brushes[i]);
        *brushes[i] = set.brushes[i].Detach();
    }
    SafeRelease(&bar.backgroundBrush);
    SafeRelease(&bar.backgroundStops);
    bar.backgroundStops = set.backgroundStops.Detach();
    bar.backgroundBrush = set.backgroundBrush.Detach();
    const auto faces = FaceFields(bar);
    for (int i = 0; i < 6; ++i) {
        SafeRelease(faces[i]);
        *faces[i] = set.faces[i].Detach();
    }
    if (ButtonWindow* close = bar.closeButton) {
        close->face = close->toggledFace = bar.closeFace;
        close->pressedFace = close->toggledPressedFace = bar.closeDownFace;
    }
    if (ButtonWindow* play = bar.playButton) {
        play->face = bar.playFace;
        play->pressedFace = bar.playDownFace;
        play->toggledFace = bar.pauseFace;
        play->toggledPressedFace = bar.pauseDownFace;
    }
}

UINT BarDpi(HWND window) {
    const UINT dpi = GetDpiForWindow(window);
    return dpi == 0 ? 96 : dpi;
}

// The two text formats, sized for the bar's DPI (the only thing of the bar
// the DPI decides), made as a pair and taken only as a pair. When either
// cannot be made the old pair stays and textDpi says the next paint asks again.
void RemakeTextFormats(ControlWindow& bar) {
    if (!g_dwriteFactory) return;
    const UINT dpi = BarDpi(bar.hwnd);
    const float size = static_cast<float>(bar.height) * 96.0f / static_cast<float>(dpi);
    ComPtr<IDWriteTextFormat> small, large;
    CreateUiTextFormat(size / 6.0f, small.Put());
    CreateUiTextFormat(size / 3.5f, large.Put());
    if (!small || !large) return;
    // One line each, cut at a character with an ellipsis where it does not fit.
    ComPtr<IDWriteInlineObject> ellipsis;
    g_dwriteFactory->CreateEllipsisTrimmingSign(small.Get(), ellipsis.Put());
    const DWRITE_TRIMMING trimming{DWRITE_TRIMMING_GRANULARITY_CHARACTER, 0, 0};
    for (IDWriteTextFormat* format : {small.Get(), large.Get()}) {
        format->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP);
        format->SetTrimming(&trimming, ellipsis.Get());
    }
    SafeRelease(&bar.smallTextFormat);
    SafeRelease(&bar.largeTextFormat);
    bar.smallTextFormat = small.Detach();
    bar.largeTextFormat = large.Detach();
    bar.textDpi = dpi;
}

void DrawTextIn(ControlWindow& bar, ID2D1RenderTarget* rt, const wchar_t* text, size_t maxChars,
                IDWriteTextFormat* format, const RectF& box) {
    if (!text || !format || !bar.textBrush) return;
    const UINT32 length = static_cast<UINT32>(wcsnlen(text, maxChars));
    rt->DrawText(text, length, format, ToD2D(box), bar.textBrush, D2D1_DRAW_TEXT_OPTIONS_NONE,
                 DWRITE_MEASURING_MODE_NATURAL);
}

void DrawFace(ButtonWindow* button, ID2D1RenderTarget* rt, const PixelRect& r) {
    if (button) DrawButtonFace(*button, rt, r.x, r.y, r.width, r.height);
}

void DrawRoundedBox(ID2D1RenderTarget* rt, const RectF& box, float radius, ID2D1Brush* fill,
                    ID2D1Brush* outline, float stroke) {
    const D2D1_ROUNDED_RECT rounded = D2D1::RoundedRect(ToD2D(box), radius, radius);
    if (fill) rt->FillRoundedRectangle(rounded, fill);
    if (outline) rt->DrawRoundedRectangle(rounded, outline, stroke);
}

void PaintVideoParts(ControlWindow& bar, PlayerState& state, ID2D1RenderTarget* rt,
                     const ControlBarPaintLayout& p) {
    DrawFace(bar.closeButton, rt, p.closeFace);
    DrawFace(bar.playButton, rt, p.playFace);
    DrawRoundedBox(rt, p.track, p.trackRadius, bar.trackFillBrush, bar.trackOutlineBrush, kThinStroke);
    DrawRoundedBox(rt, p.knob, p.knobRadius, bar.knobFillBrush, bar.knobOutlineBrush, kThinStroke);
    DrawTextIn(bar, rt, state.startFileName, kPathChars, bar.smallTextFormat, p.videoNameBox);
    const std::wstring time = FormatTimeText(state.position.load(), state.duration.load());
    DrawTextIn(bar, rt, time.c_str(), time.size(), bar.smallTextFormat, p.timeBox);
}

void PaintImageFolderParts(ControlWindow& bar, PlayerState& state, ID2D1RenderTarget* rt,
                           const ControlBarPaintLayout& p) {
    DrawFace(bar.closeButton, rt, p.closeFace);
    const int32_t index = state.currentIndex.load();
    if (index >= 0 && static_cast<size_t>(index) < state.imageNames.size() && state.imageNames[index])
        DrawTextIn(bar, rt, state.imageNames[index]->text, kPathChars, bar.largeTextFormat,
                   p.imageNameBox);
    const std::wstring place = FormatIndexText(index, state.imageCount);
    DrawTextIn(bar, rt, place.c_str(), place.size(), bar.largeTextFormat, p.indexBox);
}

// Ends a press on the bar: the release, or the capture taken from the bar
// before the release arrived (the bar would otherwise stay paused and keep
// seeking on plain mouse moves). Does nothing when no press is held.
void FinishPress(ControlWindow& bar) {
    if (!bar.mouseDown) return;
    bar.mouseDown = false;
    PlayerState* state = CurrentState();
    // The play button's face follows the state: the bar shows it again.
    if (state && state->duration.load() > 0 && bar.resumeAfterSeek && PlayVideo(*state)) RepaintWindow(bar.hwnd);
    bar.seekDragging = false;
    bar.resumeAfterSeek = false;
}

}  // namespace

std::wstring MissingImageMessage(const wchar_t* relativeName) {
    return std::wstring(kImageNotFound) + relativeName;
}

ControlBarLayout ControlBarLayoutOf(const ControlWindow& bar) {
    ControlBarLayout layout;
    if (bar.closeButton)
        layout.closeButton = PixelRect{bar.closeButton->x, bar.closeButton->y, bar.closeButton->width,
                                       bar.closeButton->height};
    if (bar.playButton)
        layout.playButton = PixelRect{bar.playButton->x, bar.playButton->y, bar.playButton->width,
                                      bar.playButton->height};
    layout.seekLeft = bar.seekLeft;
    layout.seekTop = bar.seekTop;
    layout.seekWidth = bar.seekWidth;
    layout.seekHeight = bar.seekHeight;
    return layout;
}

bool CreateControlWindow(ControlWindow& bar, HWND owner, int x, int y) {
    RegisterWindowClass(kControlWindowClass, ControlWindowProc);

    bar.x = x;
    bar.y = y;
    bar.width = kControlBarWidth;
    bar.height = kControlBarHeight;
    // WS_EX_NOACTIVATE: the bar never becomes the active window, so keys stay
    // with the main window and the pointer passing over it takes nothing from
    // another application.
    bar.hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_NOACTIVATE, kControlWindowClass, kWindowTitle,
                               WS_POPUP, x, y, bar.width, bar.height, owner, nullptr, nullptr,
                               nullptr);
    if (!bar.hwnd) return false;
    SetWindowLongPtrW(bar.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&bar));
    SetLayeredWindowAttributes(bar.hwnd, 0, kControlBarAlpha, LWA_ALPHA);
    CreateWindowTarget(bar.target, bar.hwnd, DrawThroughWindowDc());
    RemakeTextFormats(bar);

    const ControlBarLayout layout = ComputeControlBarLayout(bar.width, bar.height);

    bar.closeButton = new ButtonWindow();
    bar.closeButton->buttonId = ButtonClose;
    CreateButtonWindow(*bar.closeButton, bar.hwnd, layout.closeButton.x, layout.closeButton.y,
                       layout.closeButton.width, layout.closeButton.height);
    bar.playButton = new ButtonWindow();
    bar.playButton->buttonId = ButtonPlayPause;
    CreateButtonWindow(*bar.playButton, bar.hwnd, layout.playButton.x, layout.playButton.y,
                       layout.playButton.width, layout.playButton.height);
    // Start-up takes what could be made (a brush the target refuses leaves its
    // part of the bar out); a missing face ends the program here, and only here.
    BarDrawingSet set = MakeDrawingSet(bar, DrawingTarget(bar.target));
    if (set.missingFace) ExitForMissingImage(set.missingFace);
    TakeDrawingSet(bar, set);

    bar.seekLeft = layout.seekLeft;
    bar.seekTop = layout.seekTop;
    bar.seekWidth = layout.seekWidth;
    bar.seekHeight = layout.seekHeight;
    return true;
}

FaceLoadFilter g_faceLoadFilter = nullptr;

// After a lost device the bar's target and everything made on it (brushes,
// gradient, faces) are gone for good. A new target and a new set are made
// beside the old ones, which stay in place (the buttons keep pointing at live
// faces) until the whole new set is there; then one swap. When anything fails
// (the device still lost, the pict folder unreadable for a moment) the new
// parts are dropped, the old target goes on reporting its loss and the next
// paint tries again. The text formats belong to no target and are kept.
bool RemakeControlBarResources(ControlWindow& bar) {
    WindowTarget fresh;
    CreateWindowTarget(fresh, bar.hwnd, bar.target.throughWindowDc);
    BarDrawingSet set = MakeDrawingSet(bar, DrawingTarget(fresh));
    if (!set.complete) {
        set = BarDrawingSet{};  // released before their target
        ReleaseWindowTarget(fresh);
        return false;
    }
    TakeDrawingSet(bar, set);
    ReleaseWindowTarget(bar.target);
    bar.target = fresh;
    return true;
}

void ControlBarDpiChanged(ControlWindow& bar) {
    bar.textDpi = 0;
    RemakeTextFormats(bar);
}

void MoveControlWindow(ControlWindow& bar, int x, int y) {
    bar.x = x;
    bar.y = y;
    SetWindowPos(bar.hwnd, nullptr, x, y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

namespace {

// What a video's bar last painted of what moves while it plays: the time text
// and the knob's place. UI thread only.
struct VideoBarFace {
    std::wstring time;
    int knob = -1;
    bool operator==(const VideoBarFace& other) const { return knob == other.knob && time == other.time; }
};
VideoBarFace g_paintedVideoFace;

VideoBarFace VideoBarFaceOf(const ControlWindow& bar, const PlayerState& state) {
    const int64_t position = state.position.load();
    const int64_t duration = state.duration.load();
    return VideoBarFace{FormatTimeText(position, duration), KnobOffset(position, duration, bar.seekWidth)};
}

// One paint of the bar; true when its target reported a lost device.
bool DrawBarOnce(ControlWindow& bar, PlayerState& state) {
    ID2D1RenderTarget* rt = BeginWindowDraw(bar.target);
    if (!rt) return false;
    rt->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 0.0f));
    const float k = ApplyWindowDpi(bar.hwnd, rt);
    const ControlBarPaintLayout p =
        ComputePaintLayout(ControlBarLayoutOf(bar), bar.width, bar.height, k, state.position.load(),
                           state.duration.load());

    DrawRoundedBox(rt, p.background, 0.0f, bar.backgroundBrush, bar.frameBrush, p.frameStroke);
    switch (state.viewMode) {
        case ViewMode::None:
            DrawFace(bar.closeButton, rt, p.closeFace);
            DrawTextIn(bar, rt, kCannotOpenFile, kPathChars, bar.largeTextFormat, p.errorBox);
            break;
        case ViewMode::Video:
            PaintVideoParts(bar, state, rt, p);
            g_paintedVideoFace = VideoBarFaceOf(bar, state);
            break;
        case ViewMode::ImageFolder:
            PaintImageFolderParts(bar, state, rt, p);
            break;
        case ViewMode::AnimatedGif:
            DrawFace(bar.closeButton, rt, p.closeFace);
            DrawTextIn(bar, rt, state.startFileName, kPathChars, bar.largeTextFormat, p.gifNameBox);
            break;
    }
    return EndWindowDraw(bar.target);
}

}  // namespace

void PaintControlWindow(ControlWindow& bar) {
    PlayerState* state = CurrentState();
    if (!state) return;
    if (bar.textDpi != BarDpi(bar.hwnd)) RemakeTextFormats(bar);  // a new DPI, or a failed try
    if (DrawBarOnce(bar, *state) && RemakeControlBarResources(bar)) DrawBarOnce(bar, *state);
}

void TickControlWindow(ControlWindow& bar) {
    PlayerState* state = CurrentState();
    if (!state || (state->viewMode == ViewMode::Video && VideoBarFaceOf(bar, *state) == g_paintedVideoFace)) return;
    SendMessageW(bar.hwnd, WM_PAINT, 0, 0);
}

bool SeekFromPoint(ControlWindow& bar, uint16_t x, uint16_t y) {
    const ControlBarLayout layout = ControlBarLayoutOf(bar);
    if (!InSeekHitZone(layout, x, y)) return false;
    bar.seekDragging = true;
    PlayerState* state = CurrentState();
    if (!state) return false;
    const int64_t target = SeekTargetFromX(layout, x, state->duration.load());
    if (!SeekThrottleAllows(GetTickCount64(), g_lastSeekTick)) return false;
    SeekVideo(*state, target);
    g_lastSeekTick = GetTickCount64();
    return true;
}

LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlWindow* bar = reinterpret_cast<ControlWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    PlayerState* state = CurrentState();
    if (!bar || !state) return DefWindowProcW(hwnd, message, wParam, lParam);

    // Unsigned 16-bit: a captured pointer left of or above the bar gives large
    // values, which fall outside the seek zone.
    const uint16_t mouseX = LOWORD(lParam);
    const uint16_t mouseY = HIWORD(lParam);
    switch (message) {
        case WM_NCLBUTTONDOWN:
            return 1;  // never dragged or activated through the non-client area
        case WM_PAINT:
            PaintControlWindow(*bar);
            ValidateRect(hwnd, nullptr);
            break;
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;  // a press on the bar or a button activates nothing
        case WM_CLOSE:
            return CloseFromOwnedWindow();
        case WM_KEYDOWN:
            // Should the bar ever hold the focus, its keys still reach the commands.
            SendMessageW(state->mainWindow, WM_KEYDOWN, wParam, lParam);
            break;
        case WM_LBUTTONDOWN:
            SetCapture(hwnd);
            bar->mouseDown = true;
            if (state->duration.load() > 0) {
                // Any press pauses running playback until the release.
                if (state->videoPlaying.load() && !state->videoPaused.load()) {
                    bar->resumeAfterSeek = true;
                    if (PauseVideo(*state)) RepaintWindow(hwnd);
                }
                if (SeekFromPoint(*bar, mouseX, mouseY)) bar->seekDragging = true;
            }
            RepaintWindow(hwnd);
            break;
        case WM_MOUSEMOVE:
            if (bar->mouseDown && bar->seekDragging && state->duration.load() > 0) {
                SeekFromPoint(*bar, mouseX, mouseY);
                RepaintWindow(hwnd);
            }
            break;
        case WM_LBUTTONUP:
            ReleaseCapture();
            FinishPress(*bar);
            RepaintWindow(hwnd);
            break;
        case WM_CAPTURECHANGED:
            // Also sent by the ReleaseCapture above, which then finishes the press first.
            if (reinterpret_cast<HWND>(lParam) != hwnd && bar->mouseDown) {
                FinishPress(*bar);
                RepaintWindow(hwnd);
            }
            break;
        case WM_APP_PAUSE:
            PauseVideo(*state);
            RepaintWindow(hwnd);
            break;
        case WM_APP_PLAY:
            PlayVideo(*state);
            RepaintWindow(hwnd);
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
