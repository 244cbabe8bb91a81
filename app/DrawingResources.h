#pragma once
// Helpers every window uses to draw: its render target, PNG bitmaps for it,
// and the release of COM fields.
#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>

// Releases *p and clears the field first, so nobody sees a dangling pointer.
template <typename T>
void SafeRelease(T** p) {
    if (p && *p) {
        T* old = *p;
        *p = nullptr;
        old->Release();
    }
}

// A render target for the whole client area of `window`, made once and never
// resized. Asks for R8G8B8A8 premultiplied first; where the platform refuses
// that format for window targets (Wine does), asks for B8G8R8A8 with the same
// alpha mode. Returns the result of the last creation; *out stays null on failure.
HRESULT CreateWindowRenderTarget(HWND window, ID2D1HwndRenderTarget** out);

// Wine 8 does not show what Direct3D presents into a child window, and once a
// top-level window presents through Direct3D the GDI output of its children is
// hidden under it. There, the main window and the drawing panel draw through a
// DC render target bound to their window DC instead: the same Direct2D drawing,
// copied to the screen by GDI. Windows keeps the HWND render targets.
// True under Wine (ntdll exports wine_get_version); decided once.
bool PresentThroughWindowDc();

// Makes the one target `window` draws with: an HWND render target, or a DC
// render target where PresentThroughWindowDc() holds. The window must not get an
// HWND target then: a Direct3D swap chain on it hides its own GDI output too.
void CreatePresentableTargets(HWND window, ID2D1HwndRenderTarget** hwndOut,
                              ID2D1DCRenderTarget** dcOut);

// The target resources (brushes, bitmaps) are made on and drawing goes to.
inline ID2D1RenderTarget* DrawTargetOf(ID2D1HwndRenderTarget* hwndTarget,
                                       ID2D1DCRenderTarget* dcTarget) {
    if (dcTarget) return dcTarget;
    return hwndTarget;
}

// One BeginDraw/EndDraw on a window's target. For a DC target the window DC is
// taken (not BeginPaint's, so a WM_PAINT sent without an update region paints
// in full) and bound to the whole client area.
struct WindowDraw {
    HWND window = nullptr;
    ID2D1RenderTarget* target = nullptr;
    HDC dc = nullptr;
};
bool BeginWindowDraw(HWND window, ID2D1HwndRenderTarget* hwndTarget, ID2D1DCRenderTarget* dcTarget,
                     WindowDraw& draw);
// Ends the draw; answers EndDraw's result. D2DERR_RECREATE_TARGET (a driver
// update, a remote session, sleep) means the target and everything made on it
// are lost for good: the window releases them, makes them again and repaints.
HRESULT EndWindowDraw(WindowDraw& draw);
inline bool DrawTargetLost(HRESULT endDrawResult) {
    return endDrawResult == static_cast<HRESULT>(D2DERR_RECREATE_TARGET);
}

// Test seam: when set, EndWindowDraw hands every EndDraw result through it,
// so a test can make one window's paint report a lost device. Null in the product.
using EndDrawFilter = HRESULT (*)(HWND window, HRESULT result);
extern EndDrawFilter g_endDrawFilter;

// Where PresentThroughWindowDc() holds, a DC render target is software work
// under Wine (the whole client area is drawn, read back and copied at every
// EndDraw), so a picture that is already in its on-screen size goes to the
// window DC by GDI instead: one copy of its pixels. Copies the top-down
// premultiplied BGRA rows (`stride` bytes apart, a multiple of 4) 1:1 to
// (x, y) of `dc`. Over black, premultiplied values are exactly what Direct2D
// would show. False when GDI refused the copy.
bool BlitBgraToDc(HDC dc, int x, int y, int width, int height, const void* pixels, UINT stride);
// Fills `rect` of `dc` with opaque black (the margins around a picture).
void FillBlack(HDC dc, const RECT& rect);

// The first frame of the image file at `path` as a premultiplied BGRA bitmap
// of `renderTarget`. True when *out holds a new bitmap; otherwise *out is untouched.
bool LoadBitmapFromFile(const wchar_t* path, ID2D1RenderTarget* renderTarget, ID2D1Bitmap** out);

// The application icon of the executable's resources (group 101) at the
// system's size for `widthMetric` x `heightMetric` (SM_CXICON/SM_CYICON, or
// the small pair); null when the module carries none. Shared: never destroyed.
constexpr int kAppIconResource = 101;
HICON LoadAppIcon(int widthMetric, int heightMetric);

// "<folder of the executable>\<relative>" into `out` (kPathChars wide
// characters). False when the result would not fit.
bool BuildPathBesideExe(const wchar_t* relative, wchar_t* out);

// A text format of the interface's one font ("メイリオ", normal weight, style
// and stretch, locale "ja-jp") at `size` device-independent units, made on
// g_dwriteFactory. *out stays null when it cannot be made.
void CreateUiTextFormat(float size, IDWriteTextFormat** out);

// Scale that turns physical pixels into device-independent units for `window`:
// reads GetDpiForWindow, applies it to the target with SetDpi and returns 96 / dpi.
float ApplyWindowDpi(HWND window, ID2D1RenderTarget* target);
