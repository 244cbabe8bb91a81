#include "ui/ControlBar.h"

// Placeholder until the control bar is built: no window, so callers skip it.
bool CreateControlWindow(ControlWindow& bar, HWND, int x, int y) {
    bar.x = x;
    bar.y = y;
    return false;
}
bool CreateControlResources(ControlWindow&) { return true; }
bool PaintControlWindow(ControlWindow&) { return true; }
LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
bool SeekFromPoint(ControlWindow&, uint16_t, uint16_t) { return false; }
