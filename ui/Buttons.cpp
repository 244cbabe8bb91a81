#include "ui/Buttons.h"

#include "ui/ControlBar.h"
#include "ui/MainWindow.h"

namespace {

constexpr wchar_t kButtonClass[] = L"CLASS_BUTTON";
constexpr wchar_t kButtonTitle[] = L"Button";

HWND BarWindow() {
    PlayerState* state = CurrentState();
    return state && state->controlWindow ? state->controlWindow->hwnd : nullptr;
}

// The bar draws the button faces, so a button shows a new face by repainting the bar.
void RepaintBar() {
    const HWND bar = BarWindow();
    if (!bar) return;  // InvalidateRect(NULL) would repaint every window
    InvalidateRect(bar, nullptr, FALSE);
    UpdateWindow(bar);
}

// A release that follows a press on this button, wherever the pointer now is.
void Click(ButtonWindow& button) {
    const bool toggled = !button.toggled;
    button.toggled = toggled;
    PlayerState* state = CurrentState();
    if (button.buttonId == ButtonClose) {
        // The main window closes the program; this button's window goes with it.
        if (state) SendMessageW(state->mainWindow, WM_CLOSE, 0, 0);
    } else if (button.buttonId == ButtonPlayPause) {
        if (const HWND bar = BarWindow()) SendMessageW(bar, toggled ? WM_APP_PLAY : WM_APP_PAUSE, 0, 0);
    }
    InvalidateRect(button.hwnd, nullptr, FALSE);
    UpdateWindow(button.hwnd);
    // The click decides the toggle state, whatever the receiver did to it meanwhile.
    button.toggled = toggled;
}

}  // namespace

bool CreateButtonWindow(ButtonWindow& button, HWND parent, int x, int y, int width, int height) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ButtonWindowProc;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kButtonClass;
    RegisterClassExW(&wc);  // the second button finds the class registered

    button.width = width;
    button.height = height;
    button.x = x;
    button.y = y;
    button.hwnd = CreateWindowExW(0, kButtonClass, kButtonTitle, WS_CHILD | WS_VISIBLE, x, y, width,
                                  height, parent, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(button.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&button));
    return true;
}

ID2D1Bitmap* ChooseButtonFace(const ButtonWindow& button) {
    if (button.pressed) return button.toggled ? button.toggledPressedFace : button.pressedFace;
    return button.toggled ? button.toggledFace : button.face;
}

bool DrawButtonFace(ButtonWindow& button, ID2D1RenderTarget* renderTarget, int x, int y, int width,
                    int height) {
    ID2D1Bitmap* face = ChooseButtonFace(button);
    if (!face || !renderTarget) return true;
    renderTarget->DrawBitmap(face,
                             D2D1::RectF(static_cast<float>(x), static_cast<float>(y),
                                         static_cast<float>(x + width), static_cast<float>(y + height)),
                             1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
    return true;
}

LRESULT CALLBACK ButtonWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ButtonWindow* button = reinterpret_cast<ButtonWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (button) {
        switch (message) {
            case WM_CLOSE:
                return CloseFromOwnedWindow();
            case WM_LBUTTONDOWN:
                SetCapture(hwnd);
                button->pressed = true;
                RepaintBar();
                break;
            case WM_LBUTTONUP: {
                // The press ends before the capture goes: the WM_CAPTURECHANGED
                // that ReleaseCapture sends must find no press to cancel.
                const bool click = button->pressed;
                button->pressed = false;
                ReleaseCapture();
                if (click) Click(*button);
                RepaintBar();
                break;
            }
            case WM_CAPTURECHANGED:
                // The capture was taken before the release (Alt+Tab, another
                // window's SetCapture): no click, and the face is no longer pressed.
                if (reinterpret_cast<HWND>(lParam) != hwnd && button->pressed) {
                    button->pressed = false;
                    RepaintBar();
                }
                break;
            default:
                break;  // paints nothing: the bar draws the face
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
