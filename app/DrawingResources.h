#pragma once
// Helpers every window uses to draw (its render target is in
// app/WindowTarget.h): PNG bitmaps, GDI copies, text formats and the DPI.
#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>

#include "app/ComPtr.h"  // SafeRelease, for the COM fields of every window

// A picture that is already in its on-screen size goes to the window DC by
// GDI where CopySizedPicturesByGdi() holds (app/WineQuirks.h): copies the
// top-down premultiplied BGRA rows (`stride` bytes apart, a multiple of 4) 1:1 to
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
