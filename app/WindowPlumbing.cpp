#include "app/WindowPlumbing.h"

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HICON icon, HICON smallIcon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.hIcon = icon;
    wc.hIconSm = smallIcon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

void RepaintWindow(HWND window) {
    if (!window) return;
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}
