#pragma once
// What every window of the program does the same way: its class registration
// and its repaint now.
#include <windows.h>

// Registers the class `name` with `procedure`, the arrow cursor and redraw on
// resize; `icon` and `smallIcon` may be null (only the main window carries the
// application icon). Registering a class that already exists fails quietly,
// which is what the second window of a class relies on.
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HICON icon = nullptr,
                         HICON smallIcon = nullptr);

// Invalidates the whole client area of `window` and paints it before returning.
// A null window does nothing (InvalidateRect(NULL) would repaint every window).
void RepaintWindow(HWND window);
