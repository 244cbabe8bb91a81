#include "ui/VideoPanel.h"

#include "app/ComPtr.h"
#include "app/DrawingResources.h"
#include "app/StageTrace.h"
#include "app/WindowPlumbing.h"
#include "app/WineQuirks.h"
#include "image/Prefetch.h"
#include "ui/FitGeometry.h"
#include "ui/VideoSurface.h"

#include "kestrelon_version.h"  // written by CMake

const wchar_t kIdleCaption[] = L"Kestrelon [version " KESTRELON_VERSION L"]";
const wchar_t* const kIdleHelpLines[12] = {
    L"--- 使い方 ---",
    L"・動画・画像ファイルを開く時にこのアプリを選択する、",
    L"あるいはファイルをアプリアイコンにドラッグ・ドロップしてください。",
    L"・マウスクリックでコントロールバーを表示・非表示します。",
    L"--- キーボード操作 ---",
    L"[F11] : アプリを終了する",
    L"[Space] : 画面最小化",
    L"[ p ] : 一時停止・再生",
    L"[←] : 前のイメージへ（画像表示モード）",
    L"         10秒前にシーク（動画モード）",
    L"[→] : 次のイメージへ（画像表示モード）",
    L"         10秒後にシーク（動画モード）",
};

namespace {

void RemakePanelResources(VideoPanel& panel, PlayerState& state);

constexpr wchar_t kPanelClass[] = L"CLASS_VIDEOPANEL";
constexpr wchar_t kAppIconFile[] = L"./pict/AppIcon.png";

D2D1_COLOR_F Rgb255(int r, int g, int b) {
    return D2D1::ColorF(static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
                        static_cast<float>(b) / 255.0f, 1.0f);
}

D2D1_RECT_F ToD2D(const RectF& r) { return D2D1::RectF(r.left, r.top, r.right, r.bottom); }

UINT32 TextLength(const wchar_t* text) { return static_cast<UINT32>(wcslen(text)); }

// The DPI the window is drawn at.
float WindowDpi(HWND window) { return 96.0f / ApplyWindowDpi(window, nullptr); }

void PaintIdleScreen(VideoPanel& panel, PlayerState& state, ID2D1RenderTarget* rt) {
    rt->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
    const float k = ApplyWindowDpi(panel.hwnd, rt);
    const IdleLayout layout = ComputeIdleLayout(static_cast<float>(panel.width),
                                                static_cast<float>(panel.height), k);
    if (state.appIcon)
        rt->DrawBitmap(state.appIcon, ToD2D(layout.icon), 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
    if (panel.titleTextFormat && panel.titleBrush)
        rt->DrawText(kIdleCaption, TextLength(kIdleCaption), panel.titleTextFormat,
                     ToD2D(layout.caption), panel.titleBrush, D2D1_DRAW_TEXT_OPTIONS_NONE,
                     DWRITE_MEASURING_MODE_NATURAL);
    if (panel.helpTextFormat && panel.helpBrush) {
        for (int i = 0; i < 12; ++i)
            rt->DrawText(kIdleHelpLines[i], TextLength(kIdleHelpLines[i]), panel.helpTextFormat,
                         ToD2D(layout.helpLines[i]), panel.helpBrush, D2D1_DRAW_TEXT_OPTIONS_NONE,
                         DWRITE_MEASURING_MODE_NATURAL);
    }
}

// Drops the panel's Direct2D copy of the picture and its reference on the
// source bitmap (both are the panel's own, not the slot's).
void ForgetShownImage(VideoPanel& panel) {
    SafeRelease(&panel.shownBitmap);
    SafeRelease(&panel.shownSource);
    panel.shownIndex = -1;
    panel.shownExact = false;
    panel.shownPlaced = false;
    panel.shownStale = false;
}

IWICBitmap* CurrentImageSlot(const PlayerState& state, int32_t index) {
    if (!state.imageBitmaps || index < 0 || index >= state.imageCount) return nullptr;
    return state.imageBitmaps[index].load(std::memory_order_acquire);
}

// Whether the folder picture on screen is out of date: another index, or its
// slot was filled (or emptied) since the last paint.
bool FolderPictureChanged(const VideoPanel& panel, const PlayerState& state) {
    const int32_t index = state.currentIndex.load();
    return index != panel.paintedIndex || CurrentImageSlot(state, index) != panel.paintedSlot;
}

// Where the shown picture lands on the panel as it is now, and, where
// Direct2D will draw it, its Direct2D copy. A failed conversion leaves no
// bitmap and is not retried until the picture is placed again.
void PlaceShownPicture(VideoPanel& panel) {
    UINT width = 0;
    UINT height = 0;
    panel.shownSource->GetSize(&width, &height);
    panel.shownFit = FitOnScreen(panel.shownOriginal.width, panel.shownOriginal.height, panel.width,
                                 panel.height);
    panel.shownExact = static_cast<int32_t>(width) == panel.shownFit.rect.width &&
                       static_cast<int32_t>(height) == panel.shownFit.rect.height;
    SafeRelease(&panel.shownBitmap);
    // Copied (or, kept for another size, scaled) by GDI where drawing goes
    // through the window DC: no upload then.
    ID2D1RenderTarget* target = DrawingTarget(panel.target);
    if (target && !((panel.shownExact || panel.shownStale) && CopySizedPicturesByGdi()))
        target->CreateBitmapFromWicBitmap(panel.shownSource, nullptr, &panel.shownBitmap);
    panel.shownPlaced = true;
}

// Makes the picture at currentIndex the shown one, once per slot and index:
// its reference and its place (PlaceShownPicture). The reference keeps it
// alive even after its slot is emptied (the window moved on, or the screen
// changed size). Returns the picture to draw (null: nothing to show yet).
IWICBitmap* TakeCurrentPicture(VideoPanel& panel, PlayerState& state) {
    const int32_t index = state.currentIndex.load();
    IWICBitmap* slot = CurrentImageSlot(state, index);
    // A step: the decoders turn to the new index now, not after their pause.
    if (index != panel.paintedIndex) {
        if (panel.paintedIndex >= 0) state.ringIndexMovedMs.store(GetTickCount64());
        WakePrefetch(state);
    }
    panel.paintedIndex = index;
    panel.paintedSlot = slot;
    // Its slot was emptied to be decoded for a new screen size: the picture
    // kept for the old one stays on screen, fitted, until the new one is in.
    panel.shownStale = !slot && index == panel.shownIndex && panel.shownSource;
    if (panel.shownStale) slot = panel.shownSource;
    if (slot && slot == panel.shownSource && index == panel.shownIndex) {
        if (!panel.shownPlaced) PlaceShownPicture(panel);
        return slot;
    }
    ForgetShownImage(panel);
    if (!slot) return nullptr;
    slot->AddRef();
    panel.shownSource = slot;
    panel.shownIndex = index;
    UINT width = 0;
    UINT height = 0;
    slot->GetSize(&width, &height);
    // The size stored beside the slot was written before the slot was
    // published, and the acquire load above saw it filled.
    panel.shownOriginal = ImageSize{width, height};
    if (state.imageSizes && state.imageSizes[index].width != 0)
        panel.shownOriginal = state.imageSizes[index];
    PlaceShownPicture(panel);
    return slot;
}

void PaintFolderImage(VideoPanel& panel, PlayerState& state, ID2D1RenderTarget* rt) {
    rt->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
    IWICBitmap* picture = TakeCurrentPicture(panel, state);
    if (!picture) return;  // black until a later tick
    // The GDI copy was refused: Direct2D draws the picture after all.
    if (!panel.shownBitmap && (panel.shownExact || panel.shownStale) && CopySizedPicturesByGdi())
        rt->CreateBitmapFromWicBitmap(picture, nullptr, &panel.shownBitmap);
    if (!panel.shownBitmap) return;
    if (panel.shownExact) {
        DrawPictureOnItsPixels(rt, WindowDpi(panel.hwnd), panel.shownBitmap, panel.shownFit.rect);
        return;
    }
    const float k = ApplyWindowDpi(panel.hwnd, rt);
    // Smaller than its place on screen (enlarged), or kept for another
    // screen size until it is decoded again (fitted to this one).
    const RectF dest = FitIntoWindow(static_cast<float>(panel.shownOriginal.width),
                                     static_cast<float>(panel.shownOriginal.height),
                                     static_cast<float>(panel.width), static_cast<float>(panel.height), k);
    rt->DrawBitmap(panel.shownBitmap, ToD2D(dest), 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
}

// Fits the logical screen to the panel and makes the picture, once: neither
// changes size during a run. False when there is nothing to fit (no logical
// screen size); the panel then shows black.
bool PrepareGifPicture(VideoPanel& panel, const PlayerState& state) {
    if (!panel.gifFit.dest.Empty()) return true;
    panel.gifFit = FitGifCanvas(static_cast<int32_t>(state.gifWidth), static_cast<int32_t>(state.gifHeight),
                                panel.width, panel.height);
    const GifRect& d = panel.gifFit.dest;
    if (d.Empty()) return false;
    // One spare row: BlitBgraToDc is handed a part's first pixel and the row
    // pitch, so for a part right of column 0 GDI may read the last row on
    // into the row after it.
    const size_t width = static_cast<size_t>(d.right - d.left);
    panel.gifPicture.assign(width * static_cast<size_t>(d.bottom - d.top + 1), 0u);
    return true;
}

// The width x height premultiplied BGRA picture at `pixels`, scaled by GDI
// into `to` on `dc` (averaging where the platform's halftone mode does).
bool StretchBgraToDc(HDC dc, const ScreenRect& to, UINT width, UINT height, const BYTE* pixels, UINT stride) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(stride / 4);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);  // as HALFTONE requires
    return StretchDIBits(dc, to.left, to.top, to.width, to.height, 0, 0, static_cast<int>(width),
                         static_cast<int>(height), pixels, &info, DIB_RGB_COLORS, SRCCOPY) != 0;
}

// Where drawing goes through the window DC, a picture that already has its
// on-screen size is copied to the DC by GDI, with black margins: one copy of
// its pixels instead of a DC render target's software redraw and read-back
// of the whole client area. A picture kept for another screen size, drawn
// only until its slot is decoded again, is scaled by GDI as well: the
// software Direct2D path takes seconds for it under load, while the UI
// thread is inside the display change. An empty slot is only black. False
// when the picture needs Direct2D (enlarged) or GDI refused; the caller then
// paints with Direct2D.
bool CopyFolderImageToDc(VideoPanel& panel, PlayerState& state) {
    IWICBitmap* picture = TakeCurrentPicture(panel, state);
    if (picture && !panel.shownExact && !panel.shownStale) return false;
    const HDC dc = GetDC(panel.hwnd);
    if (!dc) return false;
    RECT client{};
    GetClientRect(panel.hwnd, &client);
    bool copied = false;
    if (!picture) {
        FillBlack(dc, client);
        copied = true;
    } else {
        const ScreenRect& r = panel.shownFit.rect;
        ComPtr<IWICBitmapLock> lock;
        UINT stride = 0;
        UINT size = 0;
        BYTE* pixels = nullptr;
        // Read-only: the slot's picture is never written after it is published.
        UINT width = 0, height = 0;
        if (SUCCEEDED(picture->GetSize(&width, &height)) &&
            SUCCEEDED(picture->Lock(nullptr, WICBitmapLockRead, lock.Put())) &&
            SUCCEEDED(lock->GetStride(&stride)) && SUCCEEDED(lock->GetDataPointer(&size, &pixels)) &&
            (panel.shownExact ? BlitBgraToDc(dc, r.left, r.top, r.width, r.height, pixels, stride)
                              : StretchBgraToDc(dc, r, width, height, pixels, stride))) {
            const LONG right = r.left + r.width, bottom = r.top + r.height;
            FillBlack(dc, RECT{client.left, client.top, client.right, r.top});
            FillBlack(dc, RECT{client.left, bottom, client.right, client.bottom});
            FillBlack(dc, RECT{client.left, r.top, r.left, bottom});
            FillBlack(dc, RECT{right, r.top, client.right, bottom});
            copied = true;
        }
    }
    ReleaseDC(panel.hwnd, dc);
    return copied;
}

// Where CopySizedPicturesByGdi() holds: straight to the window DC by GDI,
// only `changed` (picture coordinates) unless the whole panel is to be put on
// screen.
void PresentGifByGdi(VideoPanel& panel, const GifRect& changed, bool whole) {
    HDC dc = GetDC(panel.hwnd);
    if (!dc) return;
    const GifRect& d = panel.gifFit.dest;
    const int32_t pictureWidth = d.right - d.left;
    GifRect part = changed;
    if (whole) {
        if (d.Empty()) {
            FillBlack(dc, RECT{0, 0, panel.width, panel.height});
        } else {
            FillBlack(dc, RECT{0, 0, panel.width, d.top});
            FillBlack(dc, RECT{0, d.bottom, panel.width, panel.height});
            FillBlack(dc, RECT{0, d.top, d.left, d.bottom});
            FillBlack(dc, RECT{d.right, d.top, panel.width, d.bottom});
        }
        part = GifRect{0, 0, pictureWidth, d.bottom - d.top};
    }
    if (!part.Empty() && !panel.gifPicture.empty()) {
        const uint32_t* first = panel.gifPicture.data() + static_cast<size_t>(part.top) * pictureWidth + part.left;
        BlitBgraToDc(dc, d.left + part.left, d.top + part.top, part.right - part.left,
                     part.bottom - part.top, first, static_cast<UINT>(pictureWidth) * 4);
    }
    ReleaseDC(panel.hwnd, dc);
}

// With an HWND target: the GIF's picture drawn by Direct2D. True when the
// target reported a lost device.
bool PresentGifByDirect2D(VideoPanel& panel, const GifRect& changed) {
    ID2D1HwndRenderTarget* rt = panel.target.hwndTarget;
    if (!rt || !BeginWindowDraw(panel.target)) return false;
    DrawGifPicture(panel, rt, WindowDpi(panel.hwnd), changed);
    return EndWindowDraw(panel.target);
}

// Brings the canvas to gifFrameIndex, re-scales what changed into the picture
// and puts that on screen; all of it when the system asked for a repaint or
// nothing has been shown yet. The window keeps what was put on screen before.
void PaintGifFrame(VideoPanel& panel, PlayerState& state) {
    // A tick sends its paint with nothing invalidated; an update region is the
    // system's (uncovered, restored), and only all of the panel answers it.
    const bool systemAsked = GetUpdateRect(panel.hwnd, nullptr, FALSE) != 0;
    GifRect changed;
    if (PrepareGifPicture(panel, state)) {
        const GifRect canvasChanged = ComposeGifFrame(
            panel.gifComposition, panel.gifFit.canvasWidth, panel.gifFit.canvasHeight,
            state.gifFrames.data(), state.gifFrames.size(), state.gifFrameIndex.load());
        changed = PictureRectOf(panel.gifFit, canvasChanged);
        ScaleIntoPicture(panel.gifFit, panel.gifComposition.canvas.data(), panel.gifPicture.data(), changed);
    }
    if (CopySizedPicturesByGdi()) {
        PresentGifByGdi(panel, changed, systemAsked || !panel.gifOnScreen);
    } else if (PresentGifByDirect2D(panel, changed)) {
        // A new target, and the whole picture uploaded to it at once.
        RemakePanelResources(panel, state);
        PresentGifByDirect2D(panel, changed);
    }
    panel.gifOnScreen = true;
}

// The idle screen's two brushes, made on the panel's target.
void MakePanelBrushes(VideoPanel& panel) {
    ID2D1RenderTarget* rt = DrawingTarget(panel.target);
    if (!rt) return;
    rt->CreateSolidColorBrush(Rgb255(panel.baseRed + 60, panel.baseGreen + 60, panel.baseBlue + 80),
                              &panel.titleBrush);
    rt->CreateSolidColorBrush(Rgb255(panel.baseRed + 100, panel.baseGreen + 100, panel.baseBlue + 100),
                              &panel.helpBrush);
}

// After a lost device the panel's target and everything made on it are gone
// for good: the brushes, the icon, the folder picture's upload and the GIF
// picture's bitmap are made again (the last two at their next paint). The
// text formats belong to DirectWrite and are kept.
void RemakePanelResources(VideoPanel& panel, PlayerState& state) {
    SafeRelease(&panel.titleBrush);
    SafeRelease(&panel.helpBrush);
    SafeRelease(&state.appIcon);
    // The folder picture itself is kept (its slot may be waiting for a new
    // decode); only its upload went with the target.
    SafeRelease(&panel.shownBitmap);
    panel.shownPlaced = false;
    SafeRelease(&panel.gifPictureBitmap);
    panel.gifOnScreen = false;
    RemakeWindowTarget(panel.target);
    MakePanelBrushes(panel);
    LoadPanelIcon(state);
}

// The idle screen's two fonts, sized from the panel's height at the window's DPI.
void MakePanelTextFormats(VideoPanel& panel) {
    SafeRelease(&panel.helpTextFormat);
    SafeRelease(&panel.titleTextFormat);
    const float k = ApplyWindowDpi(panel.hwnd, DrawingTarget(panel.target));
    const float h = static_cast<float>(panel.height);
    CreateUiTextFormat(h / 40.0f * k, &panel.helpTextFormat);
    CreateUiTextFormat(h / 30.0f * k, &panel.titleTextFormat);
}

// The idle screen or a folder picture through Direct2D; true when the target
// reported a lost device.
bool DrawPanelByDirect2D(VideoPanel& panel, PlayerState& state) {
    ID2D1RenderTarget* rt = BeginWindowDraw(panel.target);
    if (!rt) return false;
    switch (state.viewMode) {
        case ViewMode::None: PaintIdleScreen(panel, state, rt); break;
        case ViewMode::ImageFolder: PaintFolderImage(panel, state, rt); break;
        case ViewMode::AnimatedGif: break;  // put on screen by its own way
        case ViewMode::Video: break;  // never begun (PaintVideoPanel)
    }
    return EndWindowDraw(panel.target);
}

}  // namespace

void DrawPictureOnItsPixels(ID2D1RenderTarget* target, float dpi, ID2D1Bitmap* picture, const ScreenRect& place) {
    target->SetDpi(dpi, dpi);
    const float k = 96.0f / dpi;
    const D2D1_RECT_F dest = D2D1::RectF(static_cast<float>(place.left) * k, static_cast<float>(place.top) * k,
                                         static_cast<float>(place.left + place.width) * k,
                                         static_cast<float>(place.top + place.height) * k);
    target->DrawBitmap(picture, dest, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR);
}

void DrawGifPicture(VideoPanel& panel, ID2D1RenderTarget* target, float dpi, const GifRect& changed) {
    const GifRect& d = panel.gifFit.dest;
    const UINT32 pictureWidth = static_cast<UINT32>(d.right - d.left);
    if (panel.gifPictureBitmap && !changed.Empty()) {
        const D2D1_RECT_U part = D2D1::RectU(static_cast<UINT32>(changed.left), static_cast<UINT32>(changed.top),
                                             static_cast<UINT32>(changed.right),
                                             static_cast<UINT32>(changed.bottom));
        // A part that cannot be copied in would leave an old frame showing:
        // the bitmap is made again, whole, instead.
        if (FAILED(panel.gifPictureBitmap->CopyFromMemory(
                &part, panel.gifPicture.data() + static_cast<size_t>(changed.top) * pictureWidth + changed.left,
                pictureWidth * 4)))
            SafeRelease(&panel.gifPictureBitmap);
    }
    if (!d.Empty() && !panel.gifPictureBitmap) {
        // Made from the picture as it is now, the changed part included; one
        // that cannot be made leaves the panel black until the next frame.
        target->CreateBitmap(D2D1::SizeU(pictureWidth, static_cast<UINT32>(d.bottom - d.top)),
                             panel.gifPicture.data(), pictureWidth * 4,
                             D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM,
                                                                      D2D1_ALPHA_MODE_PREMULTIPLIED)),
                             &panel.gifPictureBitmap);
    }
    target->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
    if (panel.gifPictureBitmap)
        DrawPictureOnItsPixels(target, dpi, panel.gifPictureBitmap,
                               ScreenRect{d.left, d.top, d.right - d.left, d.bottom - d.top});
}

void LoadPanelIcon(PlayerState& state) {
    wchar_t iconPath[kPathChars] = {};
    if (state.videoPanel && BuildPathBesideExe(kAppIconFile, iconPath))
        LoadBitmapFromFile(iconPath, DrawingTarget(state.videoPanel->target), &state.appIcon);
}

void CreateVideoPanel(VideoPanel& panel, HWND parent, int width, int height) {
    RegisterWindowClass(kPanelClass, VideoPanelProc);

    panel.width = width;
    panel.height = height;
    panel.hwnd = CreateWindowExW(0, kPanelClass, kWindowTitle, WS_CHILD, 0, 0, width, height, parent,
                                 nullptr, nullptr, nullptr);
    SetWindowLongPtrW(panel.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&panel));
    CreateWindowTarget(panel.target, panel.hwnd, DrawThroughWindowDc());

    MakePanelBrushes(panel);
    MakePanelTextFormats(panel);
    ShowWindow(panel.hwnd, SW_SHOW);
}

void PaintVideoPanel(VideoPanel& panel) {
    PlayerState* state = CurrentState();
    if (!state) return;
    // The video's picture is the renderer's: a frame of ours, even an empty
    // one, would be presented over it (black or stale). The window procedure
    // asks the renderer to repaint instead.
    if (state->viewMode == ViewMode::Video) return;
    if (state->viewMode == ViewMode::ImageFolder && CopySizedPicturesByGdi() &&
        CopyFolderImageToDc(panel, *state)) {
        TraceStage("picture painted", panel.shownIndex);
        return;
    }
    // The GIF picture is put on screen by its own way, outside Direct2D's
    // drawing on the DC target (which would redraw the whole panel).
    if (state->viewMode == ViewMode::AnimatedGif) {
        PaintGifFrame(panel, *state);
        return;
    }
    if (DrawPanelByDirect2D(panel, *state)) {
        RemakePanelResources(panel, *state);
        DrawPanelByDirect2D(panel, *state);
    }
    if (state->viewMode == ViewMode::ImageFolder) TraceStage("picture painted", panel.shownIndex);
}

void ResizeVideoPanel(VideoPanel& panel, int width, int height) {
    panel.width = width;
    panel.height = height;
    SetWindowPos(panel.hwnd, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    ResizeWindowTarget(panel.target, width, height);
    MakePanelTextFormats(panel);
    // The folder picture is placed anew at its next paint, and kept: its
    // slot is emptied to be decoded for the new size, and until then the
    // old one is drawn fitted to the new panel rather than black.
    panel.shownPlaced = false;
    panel.paintedIndex = -1;
    // The GIF canvas is fitted to the new size at once, all of it re-scaled,
    // and put on screen whole at the next paint.
    panel.gifFit = GifFit{};
    panel.gifPicture.clear();
    SafeRelease(&panel.gifPictureBitmap);
    panel.gifOnScreen = false;
    const PlayerState* state = CurrentState();
    if (state && state->viewMode == ViewMode::AnimatedGif && PrepareGifPicture(panel, *state) &&
        !panel.gifComposition.canvas.empty()) {
        const GifRect& d = panel.gifFit.dest;
        ScaleIntoPicture(panel.gifFit, panel.gifComposition.canvas.data(), panel.gifPicture.data(),
                         GifRect{0, 0, d.right - d.left, d.bottom - d.top});
    }
}

void ResizePopupWindow(PopupWindow& popup, int width, int height) {
    popup.width = width;
    popup.height = height;
    SetWindowPos(popup.hwnd, nullptr, 0, 0, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    ResizeWindowTarget(popup.target, width, height);
}

void ClearPanelToBlack(VideoPanel& panel) {
    PlayerState* state = CurrentState();
    if (state && state->viewMode == ViewMode::AnimatedGif) {
        // Through the GIF's own way to the screen, with its picture made now:
        // the first frame's paint then costs no more than any other.
        PrepareGifPicture(panel, *state);
        if (CopySizedPicturesByGdi())
            PresentGifByGdi(panel, GifRect{}, true);
        else
            PresentGifByDirect2D(panel, GifRect{});
        panel.gifOnScreen = true;
        return;
    }
    ID2D1RenderTarget* rt = BeginWindowDraw(panel.target);
    if (!rt) return;
    rt->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
    EndWindowDraw(panel.target);
}

LRESULT CALLBACK VideoPanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    VideoPanel* panel = reinterpret_cast<VideoPanel*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    PlayerState* state = CurrentState();
    if (panel && state) {
        switch (message) {
            case WM_PAINT:
                PaintVideoPanel(*panel);
                RepaintVideoWindow(*state);
                ValidateRect(hwnd, nullptr);
                break;
            case WM_NCHITTEST:
                SetFocus(hwnd);  // keys follow the mouse
                break;
            case WM_CLOSE:  // the program closes; the panel never goes on its own
                SendMessageW(state->mainWindow, WM_CLOSE, 0, 0);
                return 0;
            case WM_KEYDOWN:
            case WM_KEYUP:
            case WM_LBUTTONDOWN:
            case WM_LBUTTONUP:
            case WM_APP_RESTART_VIDEO:
                SendMessageW(state->mainWindow, message, wParam, lParam);
                break;
            case WM_TIMER:
                if (state->viewMode == ViewMode::ImageFolder) {
                    ReleaseImagesOutsideWindow(*state);
                    ReleaseImagesOfAnotherSize(*state);
                    // A newly decoded picture reaches the screen at this tick;
                    // an unchanged one is not drawn again.
                    if (!FolderPictureChanged(*panel, *state)) break;
                }
                InvalidateRect(hwnd, nullptr, FALSE);
                UpdateWindow(hwnd);
                break;
            case WM_APP_SESSION_READY:
                g_sessionReady.store(true);
                break;
            default:
                break;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

namespace {

// One paint of the pop-up; true when its target reported a lost device.
bool DrawPopupOnce(PopupWindow& popup, const PlayerState& state) {
    ID2D1RenderTarget* rt = BeginWindowDraw(popup.target);
    if (!rt) return false;
    if (state.viewMode == ViewMode::Video) {
        rt->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
        if (state.posterBitmap) {
            ComPtr<ID2D1Bitmap> bitmap;
            if (SUCCEEDED(rt->CreateBitmapFromWicBitmap(state.posterBitmap, nullptr, bitmap.Put())) &&
                bitmap) {
                const D2D1_SIZE_F size = bitmap->GetSize();
                const float k = ApplyWindowDpi(popup.hwnd, rt);
                const RectF dest = FitIntoWindow(size.width, size.height,
                                                 static_cast<float>(popup.width),
                                                 static_cast<float>(popup.height), k);
                rt->DrawBitmap(bitmap.Get(), ToD2D(dest), 1.0f,
                               D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
            }
        }
    }
    return EndWindowDraw(popup.target);
}

}  // namespace

void PaintPopupWindow(PopupWindow& popup) {
    PlayerState* state = CurrentState();
    if (!state) return;
    if (DrawPopupOnce(popup, *state)) {
        // Nothing else is made on the pop-up's target (the poster is converted
        // at each paint): a new target, and the picture drawn on it at once.
        RemakeWindowTarget(popup.target);
        DrawPopupOnce(popup, *state);
    }
}

LRESULT CALLBACK PopupWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    PopupWindow* popup = reinterpret_cast<PopupWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    PlayerState* state = CurrentState();
    if (popup && state) {
        switch (message) {
            case WM_PAINT:
                PaintPopupWindow(*popup);
                ValidateRect(hwnd, nullptr);
                break;
            case WM_CLOSE:  // Alt+F4 or a window manager on the shown pop-up: the program closes
                SendMessageW(state->mainWindow, WM_CLOSE, 0, 0);
                return 0;
            case WM_KEYDOWN:
            case WM_MOUSEMOVE:
            case WM_LBUTTONDOWN:
            case WM_LBUTTONUP:
                SendMessageW(state->mainWindow, message, wParam, lParam);
                break;
            default:
                break;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
