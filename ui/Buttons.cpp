#include "ui/Buttons.h"

#include "app/WindowPlumbing.h"
#include "ui/OwnedWindow.h"

namespace {

constexpr wchar_t kButtonClass[] = L"CLASS_BUTTON";
constexpr wchar_t kButtonTitle[] = L"Button";

// The buttons are children of the bar.
HWND BarWindow(const ButtonWindow& button) { return GetParent(button.hwnd); }

// The bar draws the button faces, so a button shows a new face by repainting the bar.
void RepaintBar(const ButtonWindow& button) {
    const HWND bar = BarWindow(button);
    if (!bar) return;  // InvalidateRect(NULL) would repaint every window
    InvalidateRect(bar, nullptr, FALSE);
    UpdateWindow(bar);
}

// A release that follows a press on this button, wherever the pointer now is.
void Click(ButtonWindow& button) {
    PlayerState* state = CurrentState();
    if (button.buttonId == ButtonClose) {
        // The main window closes the program; this button's window goes with it.
        if (state) SendMessageW(state->mainWindow, WM_CLOSE, 0, 0);
    } else if (button.buttonId == ButtonPlayPause) {
        if (const HWND bar = BarWindow(button))
            SendMessageW(bar, ButtonToggled(button) ? WM_APP_PAUSE : WM_APP_PLAY, 0, 0);
    }
    RepaintWindow(button.hwnd);
}

}  // namespace

void CreateButtonWindow(ButtonWindow& button, HWND parent, int x, int y, int width, int height) {
    RegisterWindowClass(kButtonClass, ButtonWindowProc);

    button.width = width;
    button.height = height;
    button.x = x;
    button.y = y;
    button.hwnd = CreateWindowExW(0, kButtonClass, kButtonTitle, WS_CHILD | WS_VISIBLE, x, y, width,
                                  height, parent, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(button.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&button));
}

bool ButtonToggled(const ButtonWindow& button) {
    const PlayerState* state = CurrentState();
    return button.buttonId == ButtonPlayPause && state && state->videoPlaying.load();
}

ID2D1Bitmap* ChooseButtonFace(const ButtonWindow& button) {
    const bool toggled = ButtonToggled(button);
    if (button.pressed) return toggled ? button.toggledPressedFace : button.pressedFace;
    return toggled ? button.toggledFace : button.face;
}

void DrawButtonFace(ButtonWindow& button, ID2D1RenderTarget* renderTarget, int x, int y, int width,
                    int height) {
    ID2D1Bitmap* face = ChooseButtonFace(button);
    if (!face || !renderTarget) return;
    renderTarget->DrawBitmap(face,
                             D2D1::RectF(static_cast<float>(x), static_cast<float>(y),
                                         static_cast<float>(x + width), static_cast<float>(y + height)),
                             1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
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
                RepaintBar(*button);
                break;
            case WM_LBUTTONUP: {
                // The press ends before the capture goes: the WM_CAPTURECHANGED
                // that ReleaseCapture sends must find no press to cancel.
                const bool click = button->pressed;
                button->pressed = false;
                ReleaseCapture();
                if (click) Click(*button);
                RepaintBar(*button);
                break;
            }
            case WM_CAPTURECHANGED:
                // The capture was taken before the release (Alt+Tab, another
                // window's SetCapture): no click, and the face is no longer pressed.
                if (reinterpret_cast<HWND>(lParam) != hwnd && button->pressed) {
                    button->pressed = false;
                    RepaintBar(*button);
                }
                break;
            default:
                break;  // paints nothing: the bar draws the face
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
