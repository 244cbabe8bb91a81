#pragma once
// The drawing panel (idle screen, folder image, GIF frame; the video renderer
// draws into it in Video mode) and the pop-up window that covers a restarting video.
#include "app/PlayerState.h"

struct VideoPanel {
    HWND hwnd = nullptr;
    int width = 0;   // client size in pixels (the screen size)
    int height = 0;
    int baseRed = 0, baseGreen = 0, baseBlue = 0;  // brushes derive from this colour
    ID2D1HwndRenderTarget* renderTarget = nullptr;  // owned; UI thread only, never recreated
    // Owned; UI thread. Set instead of renderTarget where drawing is presented
    // through the window DC (see PresentThroughWindowDc).
    ID2D1DCRenderTarget* dcRenderTarget = nullptr;
    ID2D1SolidColorBrush* titleBrush = nullptr;     // owned
    ID2D1SolidColorBrush* helpBrush = nullptr;      // owned
    IDWriteTextFormat* helpTextFormat = nullptr;    // owned; size height/40 at creation DPI
    IDWriteTextFormat* titleTextFormat = nullptr;   // owned; size height/30 at creation DPI

    // The folder image on screen as a Direct2D bitmap, kept while the slot and
    // currentIndex stay the same so an unchanged picture is not uploaded again
    // on every tick. UI thread only; shownSource holds its own reference.
    ID2D1Bitmap* shownBitmap = nullptr;
    IWICBitmap* shownSource = nullptr;
    int32_t shownIndex = -1;
    // What the last folder paint found at currentIndex (compared only, never
    // dereferenced): the 100 ms tick repaints only when either has changed,
    // since an unchanged picture needs no new frame. UI thread only.
    int32_t paintedIndex = -1;
    const IWICBitmap* paintedSlot = nullptr;

    // AnimatedGif: the picture the frames build up, each drawn over the ones
    // before it, copied whole onto the panel at every paint. Neither target
    // keeps its pixels from one paint to the next (a DC target starts blank, a
    // swap chain may discard), so the picture lives here. Made on the panel's
    // target at the first GIF paint, black; owned; UI thread only.
    ID2D1BitmapRenderTarget* gifCanvas = nullptr;
};

struct PopupWindow {
    HWND hwnd = nullptr;
    int width = 0;
    int height = 0;
    ID2D1HwndRenderTarget* renderTarget = nullptr;  // owned; UI thread only
};

// The target the panel draws with and its bitmaps (icon, GIF frames) belong to.
ID2D1RenderTarget* PanelRenderTarget(const VideoPanel& panel);

bool CreateVideoPanel(VideoPanel& panel, HWND parent, int width, int height);
LRESULT CALLBACK VideoPanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool PaintVideoPanel(VideoPanel& panel);
LRESULT CALLBACK PopupWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool PaintPopupWindow(PopupWindow& popup);

// The screen changed size or scale: the panel and the pop-up cover the new
// W x H pixels; the panel's text is made again for the new height and DPI,
// and its target follows the new size. The caller repaints.
void ResizeVideoPanel(VideoPanel& panel, int width, int height);
void ResizePopupWindow(PopupWindow& popup, int width, int height);

// One opaque black frame on the panel (before the first GIF frame is drawn).
void ClearPanelToBlack(VideoPanel& panel);

// The idle screen's texts, exactly as drawn.
extern const wchar_t kIdleCaption[];
extern const wchar_t* const kIdleHelpLines[12];
