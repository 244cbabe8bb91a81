#include "ui/Buttons.h"

// Placeholder until the buttons are built.
bool CreateButtonWindow(ButtonWindow&, HWND, int, int, int, int) { return true; }
LRESULT CALLBACK ButtonWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
bool DrawButtonFace(ButtonWindow&, ID2D1RenderTarget*, int, int, int, int) { return true; }
