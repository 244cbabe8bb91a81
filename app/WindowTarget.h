#pragma once
// A window's Direct2D render target, with what every drawing window does with
// it: make it, draw one frame on it, follow the window's size, and make it
// again after a lost device.
#include <windows.h>
#include <d2d1.h>

// The process's Direct2D factory, every target's maker: created once at
// start-up (single-threaded), never released. UI thread only.
extern ID2D1Factory* g_d2dFactory;

// One per drawing window, a field of that window's record (the state's main
// window, the drawing panel, the control bar, the pop-up), which owns the
// targets here. UI thread only. At most one of the two targets is set: an HWND
// render target for the window's client area, or, for a window made to draw
// through its window DC (DrawThroughWindowDc in app/WineQuirks.h), a DC render
// target bound to the window DC at each draw. Brushes and bitmaps made on the
// target belong to it and are lost with it.
struct WindowTarget {
    HWND window = nullptr;
    bool throughWindowDc = false;  // the kind asked for at creation, kept by a remake
    ID2D1HwndRenderTarget* hwndTarget = nullptr;  // owned
    ID2D1DCRenderTarget* dcTarget = nullptr;      // owned
    HDC drawDc = nullptr;  // the window DC, held from BeginWindowDraw to EndWindowDraw
};

// Makes the target of `window` into `target` (which holds none): a DC render
// target when `throughWindowDc`, else an HWND render target for the whole
// client area, never resized by itself. A window that draws through its DC
// must get no HWND target at all: a Direct3D swap chain on it would hide its
// own GDI output. Both targets stay null when creation fails.
void CreateWindowTarget(WindowTarget& target, HWND window, bool throughWindowDc);

// Releases the target; the window and the kind are kept.
void ReleaseWindowTarget(WindowTarget& target);

// After a lost device: the target is released and made again, of the same
// kind. Whatever was made on the old one must be made again by the caller.
void RemakeWindowTarget(WindowTarget& target);

// The window's client area is now width x height pixels. A DC target is bound
// to the client area at each draw and needs nothing.
void ResizeWindowTarget(WindowTarget& target, int width, int height);

// The target brushes and bitmaps are made on and drawing goes to; null when
// there is none.
ID2D1RenderTarget* DrawingTarget(const WindowTarget& target);

// Begins one frame on the target and returns the target to draw with; null
// when there is none (nothing to end then). For a DC target the window DC is
// taken (not BeginPaint's, so a WM_PAINT sent without an update region paints
// in full) and bound to the whole client area.
ID2D1RenderTarget* BeginWindowDraw(WindowTarget& target);

// Ends the frame begun by BeginWindowDraw and puts it on screen (a DC target
// copies it to the window DC, which is then given back). True when EndDraw
// reported D2DERR_RECREATE_TARGET (a driver update, a remote session, sleep):
// the target and everything made on it are lost for good, and the window
// makes them again (RemakeWindowTarget) and repaints.
bool EndWindowDraw(WindowTarget& target);

// Test seam: when set, EndWindowDraw hands every EndDraw result through it,
// so a test can make one window's paint report a lost device. Null in the product.
using EndDrawFilter = HRESULT (*)(HWND window, HRESULT result);
extern EndDrawFilter g_endDrawFilter;
