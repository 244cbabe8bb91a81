#include "ui/VideoPanel.h"

#include "app/ComPtr.h"
#include "app/DrawingResources.h"
#include "image/Prefetch.h"
#include "ui/FitGeometry.h"

const wchar_t kIdleCaption[] = L"Kestrelon [version 1.0.3]";
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

constexpr wchar_t kPanelClass[] = L"CLASS_VIDEOPANEL";
constexpr wchar_t kFontFamily[] = L"メイリオ";
constexpr wchar_t kFontLocale[] = L"ja-jp";

D2D1_COLOR_F Rgb255(int r, int g, int b) {
    return D2D1::ColorF(static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
                        static_cast<float>(b) / 255.0f, 1.0f);
}

D2D1_RECT_F ToD2D(const RectF& r) { return D2D1::RectF(r.left, r.top, r.right, r.bottom); }

UINT32 TextLength(const wchar_t* text) { return static_cast<UINT32>(wcslen(text)); }

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

void PaintFolderImage(VideoPanel& panel, PlayerState& state, ID2D1RenderTarget* rt) {
    rt->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
    const int32_t index = state.currentIndex.load();
    IWICBitmap* slot = CurrentImageSlot(state, index);
    panel.paintedIndex = index;
    panel.paintedSlot = slot;
    // The picture is uploaded once, when the slot or the index changes; every
    // other paint draws the kept copy. The reference taken on the source keeps
    // it alive even after its slot is emptied (the window moved on).
    if (slot != panel.shownSource || index != panel.shownIndex) {
        ForgetShownImage(panel);
        if (!slot) return;  // not decoded yet: black until a later tick
        slot->AddRef();
        panel.shownSource = slot;
        panel.shownIndex = index;
        // A failed conversion leaves no bitmap and is not retried for this source.
        ID2D1RenderTarget* target = PanelRenderTarget(panel);
        if (target) target->CreateBitmapFromWicBitmap(slot, nullptr, &panel.shownBitmap);
    }
    if (!panel.shownBitmap) return;
    const D2D1_SIZE_F size = panel.shownBitmap->GetSize();
    const float k = ApplyWindowDpi(panel.hwnd, rt);
    const RectF dest = FitIntoWindow(size.width, size.height, static_cast<float>(panel.width),
                                     static_cast<float>(panel.height), k);
    rt->DrawBitmap(panel.shownBitmap, ToD2D(dest), 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
}

// The GIF picture of the panel's size in pixels, black when made; null when
// it cannot be made (the frames are then drawn straight onto the panel).
ID2D1BitmapRenderTarget* GifCanvas(VideoPanel& panel, ID2D1RenderTarget* rt, float k) {
    if (panel.gifCanvas) return panel.gifCanvas;
    const D2D1_SIZE_F size = D2D1::SizeF(static_cast<float>(panel.width) * k,
                                         static_cast<float>(panel.height) * k);
    const D2D1_SIZE_U pixels = D2D1::SizeU(static_cast<UINT32>(panel.width),
                                           static_cast<UINT32>(panel.height));
    if (FAILED(rt->CreateCompatibleRenderTarget(&size, &pixels, nullptr,
                                                D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS_NONE,
                                                &panel.gifCanvas)) ||
        !panel.gifCanvas)
        return nullptr;
    panel.gifCanvas->BeginDraw();
    panel.gifCanvas->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
    panel.gifCanvas->EndDraw();
    return panel.gifCanvas;
}

void PaintGifFrame(VideoPanel& panel, PlayerState& state, ID2D1RenderTarget* rt) {
    // No Clear: a frame that covers part of the canvas builds on the picture before it.
    const float k = ApplyWindowDpi(panel.hwnd, rt);
    ID2D1BitmapRenderTarget* canvas = GifCanvas(panel, rt, k);
    const uint32_t index = state.gifFrameIndex.load();
    ID2D1Bitmap* frame = nullptr;
    if (index < state.gifFrames.size() && index < state.gifFrameRects.size() &&
        state.gifWidth > 0.0f && state.gifHeight > 0.0f)
        frame = state.gifFrames[index];
    if (frame) {
        frame->AddRef();
        ComPtr<ID2D1Bitmap> held = ComPtr<ID2D1Bitmap>::Attach(frame);
        const D2D1_RECT_F r = state.gifFrameRects[index];
        const RectF dest = PlaceGifFrame(RectF{r.left, r.top, r.right, r.bottom}, state.gifWidth,
                                         state.gifHeight, static_cast<float>(panel.width),
                                         static_cast<float>(panel.height), k);
        ID2D1RenderTarget* target = canvas ? canvas : rt;
        if (canvas) canvas->BeginDraw();
        target->DrawBitmap(held.Get(), ToD2D(dest), 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
        if (canvas) canvas->EndDraw();
    }
    if (!canvas) return;
    ComPtr<ID2D1Bitmap> picture;
    if (FAILED(canvas->GetBitmap(picture.Put())) || !picture) return;
    const D2D1_SIZE_F size = canvas->GetSize();
    rt->DrawBitmap(picture.Get(), D2D1::RectF(0.0f, 0.0f, size.width, size.height), 1.0f,
                   D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR);
}

}  // namespace

ID2D1RenderTarget* PanelRenderTarget(const VideoPanel& panel) {
    return DrawTargetOf(panel.renderTarget, panel.dcRenderTarget);
}

bool CreateVideoPanel(VideoPanel& panel, HWND parent, int width, int height) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = VideoPanelProc;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kPanelClass;
    RegisterClassExW(&wc);

    panel.width = width;
    panel.height = height;
    panel.hwnd = CreateWindowExW(0, kPanelClass, kWindowTitle, WS_CHILD, 0, 0, width, height, parent,
                                 nullptr, nullptr, nullptr);
    SetWindowLongPtrW(panel.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&panel));
    CreatePresentableTargets(panel.hwnd, &panel.renderTarget, &panel.dcRenderTarget);

    ID2D1RenderTarget* rt = PanelRenderTarget(panel);
    if (rt) {
        rt->CreateSolidColorBrush(
            Rgb255(panel.baseRed + 60, panel.baseGreen + 60, panel.baseBlue + 80), &panel.titleBrush);
        rt->CreateSolidColorBrush(
            Rgb255(panel.baseRed + 100, panel.baseGreen + 100, panel.baseBlue + 100), &panel.helpBrush);
    }
    const float k = ApplyWindowDpi(panel.hwnd, rt);
    if (g_dwriteFactory) {
        const float h = static_cast<float>(height);
        g_dwriteFactory->CreateTextFormat(kFontFamily, nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                          DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                          h / 40.0f * k, kFontLocale, &panel.helpTextFormat);
        g_dwriteFactory->CreateTextFormat(kFontFamily, nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                          DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                          h / 30.0f * k, kFontLocale, &panel.titleTextFormat);
    }
    ShowWindow(panel.hwnd, SW_SHOW);
    return true;
}

bool PaintVideoPanel(VideoPanel& panel) {
    PlayerState* state = CurrentState();
    WindowDraw draw;
    if (!state || !BeginWindowDraw(panel.hwnd, panel.renderTarget, panel.dcRenderTarget, draw))
        return true;
    switch (state->viewMode) {
        case ViewMode::None: PaintIdleScreen(panel, *state, draw.target); break;
        case ViewMode::ImageFolder: PaintFolderImage(panel, *state, draw.target); break;
        case ViewMode::AnimatedGif: PaintGifFrame(panel, *state, draw.target); break;
        case ViewMode::Video: break;  // the video renderer presents into this window
    }
    EndWindowDraw(draw);
    return true;
}

void ClearPanelToBlack(VideoPanel& panel) {
    WindowDraw draw;
    if (!BeginWindowDraw(panel.hwnd, panel.renderTarget, panel.dcRenderTarget, draw)) return;
    draw.target->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
    EndWindowDraw(draw);
}

LRESULT CALLBACK VideoPanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    VideoPanel* panel = reinterpret_cast<VideoPanel*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    PlayerState* state = CurrentState();
    if (panel && state) {
        switch (message) {
            case WM_PAINT:
                // A GIF tick invalidates the panel from the timer thread and
                // then sends its paint with UpdateWindow; the queued WM_PAINT
                // often runs first, and the sent one then finds nothing left
                // to update. Drawing the same frame again would only add a
                // paint time to the frame's schedule.
                if (state->viewMode == ViewMode::AnimatedGif && !GetUpdateRect(hwnd, nullptr, FALSE))
                    break;
                PaintVideoPanel(*panel);
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

bool PaintPopupWindow(PopupWindow& popup) {
    PlayerState* state = CurrentState();
    ID2D1HwndRenderTarget* rt = popup.renderTarget;
    if (!state || !rt) return true;
    rt->BeginDraw();
    if (state->viewMode == ViewMode::Video) {
        rt->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
        if (state->posterBitmap) {
            ComPtr<ID2D1Bitmap> bitmap;
            if (SUCCEEDED(rt->CreateBitmapFromWicBitmap(state->posterBitmap, nullptr, bitmap.Put())) &&
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
    rt->EndDraw();
    return true;
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
