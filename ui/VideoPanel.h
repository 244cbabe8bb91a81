#pragma once
// The drawing panel (idle screen, folder image, GIF frame; the video renderer
// draws into it in Video mode) and the pop-up window that covers a restarting video.
#include "app/PlayerState.h"
#include "image/GifCompose.h"
#include "ui/GifPicture.h"
#include "image/ScreenFit.h"

struct VideoPanel {
    HWND hwnd = nullptr;
    int width = 0;   // client size in pixels (the screen size)
    int height = 0;
    int baseRed = 0, baseGreen = 0, baseBlue = 0;  // brushes derive from this colour
    // What the panel draws with (DC or HWND kind, DrawThroughWindowDc) and
    // its brushes and bitmaps belong to; owned. UI thread only.
    WindowTarget target;
    ID2D1SolidColorBrush* titleBrush = nullptr;     // owned
    ID2D1SolidColorBrush* helpBrush = nullptr;      // owned
    IDWriteTextFormat* helpTextFormat = nullptr;    // owned; size height/40 at creation DPI
    IDWriteTextFormat* titleTextFormat = nullptr;   // owned; size height/30 at creation DPI

    // The folder image on screen, kept while the slot and currentIndex stay
    // the same, and while its slot waits to be decoded again for a new screen
    // size: shownSource (its own reference) and, where it is drawn by
    // Direct2D, its Direct2D copy, uploaded once rather than on every tick.
    // A picture copied 1:1 to the window DC has no Direct2D copy. UI thread only.
    ID2D1Bitmap* shownBitmap = nullptr;
    IWICBitmap* shownSource = nullptr;
    int32_t shownIndex = -1;
    // Where shownSource lands, from its original size (the ring keeps it at
    // its on-screen size); shownExact when it has exactly the size of
    // shownFit.rect, so the paint is a copy of its pixels.
    ImageSize shownOriginal;
    ScreenFit shownFit;
    bool shownExact = false;
    // shownFit, shownExact and the Direct2D copy are for the panel as it is
    // now; false after a resize or a new target, so the next paint places the
    // picture again.
    bool shownPlaced = false;
    // The shown picture was kept for another screen size and its slot is
    // empty until it is decoded for this one: drawn fitted meanwhile.
    bool shownStale = false;
    // What the last folder paint found at currentIndex (compared only, never
    // dereferenced): the 100 ms tick repaints only when either has changed,
    // since an unchanged picture needs no new frame. UI thread only.
    int32_t paintedIndex = -1;
    const IWICBitmap* paintedSlot = nullptr;

    // AnimatedGif, UI thread only. The frames are composed at the logical
    // screen's size (gifComposition); the changed part of that canvas is then
    // re-scaled into gifPicture, the canvas at its size on screen (gifFit.dest),
    // and only that part is put on screen: the whole screen is never resampled
    // per frame. gifPictureBitmap (owned) is the same picture on the panel's
    // HWND target, where the platform presents through one; made on first use.
    GifComposition gifComposition;
    GifFit gifFit;
    std::vector<uint32_t> gifPicture;
    ID2D1Bitmap* gifPictureBitmap = nullptr;
    bool gifOnScreen = false;  // margins and picture have been put on screen once
};

struct PopupWindow {
    HWND hwnd = nullptr;
    int width = 0;
    int height = 0;
    // An HWND target on every platform (a top-level window without
    // children); owned. UI thread only.
    WindowTarget target;
};

// A panel window that could not be made leaves panel.hwnd null.
void CreateVideoPanel(VideoPanel& panel, HWND parent, int width, int height);
// The idle screen's icon (pict/AppIcon.png beside the program) into
// state.appIcon, made on the panel's target.
void LoadPanelIcon(PlayerState& state);
LRESULT CALLBACK VideoPanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PaintVideoPanel(VideoPanel& panel);
LRESULT CALLBACK PopupWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PaintPopupWindow(PopupWindow& popup);

// The screen changed size or scale: the panel and the pop-up cover the new
// W x H pixels; the panel's text is made again for the new height and DPI,
// and its target follows the new size. The caller repaints.
void ResizeVideoPanel(VideoPanel& panel, int width, int height);
void ResizePopupWindow(PopupWindow& popup, int width, int height);

// Draws `picture`, which has exactly the size of `place` (device pixels),
// onto those pixels of `target`, drawn at `dpi`: a copy, with no resampling.
// Between the target's BeginDraw and EndDraw, on the UI thread.
void DrawPictureOnItsPixels(ID2D1RenderTarget* target, float dpi, ID2D1Bitmap* picture, const ScreenRect& place);

// The GIF's frame through Direct2D onto `target` (the panel's HWND target,
// drawn at `dpi`): the `changed` part of panel.gifPicture is copied into
// panel.gifPictureBitmap (made on `target` from the whole picture when there
// is none), then black and the picture on its pixels panel.gifFit.dest.
// Between the target's BeginDraw and EndDraw, on the UI thread.
void DrawGifPicture(VideoPanel& panel, ID2D1RenderTarget* target, float dpi, const GifRect& changed);

// One opaque black frame on the panel (before the first GIF frame is drawn).
void ClearPanelToBlack(VideoPanel& panel);

// The idle screen's texts, exactly as drawn.
extern const wchar_t kIdleCaption[];
extern const wchar_t* const kIdleHelpLines[12];
