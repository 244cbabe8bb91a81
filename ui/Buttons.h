#pragma once
// The control bar's two push buttons (close, play/pause). They paint nothing
// themselves: the bar draws their faces; they turn a press and release into a click.
#include "app/PlayerState.h"

constexpr int ButtonClose = 1;
constexpr int ButtonPlayPause = 2;

// One button's record: allocated by CreateControlWindow, reached through the
// ControlWindow and the button window's GWLP_USERDATA, never freed. UI thread only.
struct ButtonWindow {
    HWND hwnd = nullptr;
    int width = 100, height = 100;
    int x = 0, y = 0;  // in the bar's client area
    bool pressed = false;  // the left button went down here and is not released yet
    int buttonId = 0;
    // Faces belong to the ControlWindow; not owned here.
    ID2D1Bitmap* face = nullptr;
    ID2D1Bitmap* pressedFace = nullptr;
    ID2D1Bitmap* toggledFace = nullptr;
    ID2D1Bitmap* toggledPressedFace = nullptr;
};

// A button window that could not be made leaves button.hwnd null.
void CreateButtonWindow(ButtonWindow& button, HWND parent, int x, int y, int width, int height);
LRESULT CALLBACK ButtonWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Draws the face for the button's state into (x, y, x + width, y + height) of
// the bar's target, between the bar's BeginDraw and EndDraw.
void DrawButtonFace(ButtonWindow& button, ID2D1RenderTarget* renderTarget, int x, int y, int width,
                    int height);
// Whether the button shows its toggled face: the play/pause button while the
// video plays (the Pause face), whoever started it; the close button never.
bool ButtonToggled(const ButtonWindow& button);
// The face for the button's pressed and toggled state; null when that face is missing.
ID2D1Bitmap* ChooseButtonFace(const ButtonWindow& button);
