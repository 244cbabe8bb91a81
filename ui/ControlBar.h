#pragma once
// The translucent control bar: buttons, seek track, file name, time or index text.
#include "app/PlayerState.h"

struct ButtonWindow;

constexpr int kControlBarWidth = 700;
constexpr int kControlBarHeight = 80;

struct ControlWindow {
    HWND hwnd = nullptr;
    ID2D1HwndRenderTarget* renderTarget = nullptr;  // owned; UI thread only
    ID2D1SolidColorBrush* frameBrush = nullptr;
    ID2D1SolidColorBrush* trackOutlineBrush = nullptr;
    ID2D1SolidColorBrush* trackFillBrush = nullptr;
    ID2D1SolidColorBrush* knobOutlineBrush = nullptr;
    ID2D1SolidColorBrush* knobFillBrush = nullptr;
    ID2D1SolidColorBrush* textBrush = nullptr;
    ID2D1LinearGradientBrush* backgroundBrush = nullptr;
    ID2D1GradientStopCollection* backgroundStops = nullptr;
    IDWriteTextFormat* smallTextFormat = nullptr;  // video file name and time text
    IDWriteTextFormat* largeTextFormat = nullptr;  // image name and index, GIF name, error line
    int width = kControlBarWidth;
    int height = kControlBarHeight;
    int x = 0, y = 0;  // screen position
    bool mouseDown = false;
    bool seekDragging = false;
    bool resumeAfterSeek = false;
    ButtonWindow* closeButton = nullptr;  // owned, never freed
    ButtonWindow* playButton = nullptr;   // owned, never freed
    ID2D1Bitmap* closeFace = nullptr;     // faces: owned, made for renderTarget
    ID2D1Bitmap* closeDownFace = nullptr;
    ID2D1Bitmap* playFace = nullptr;
    ID2D1Bitmap* playDownFace = nullptr;
    ID2D1Bitmap* pauseFace = nullptr;
    ID2D1Bitmap* pauseDownFace = nullptr;
    int seekLeft = 0, seekTop = 0, seekWidth = 0, seekHeight = 0;  // bar pixels
    int baseRed = 130, baseGreen = 130, baseBlue = 150;
};

// Creates the bar window (hidden), its resources and its two buttons. A
// missing button image shows the "Load Error" box and ends the process (1).
bool CreateControlWindow(ControlWindow& bar, HWND owner, int x, int y);
bool CreateControlResources(ControlWindow& bar);
bool PaintControlWindow(ControlWindow& bar);
LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// x, y in bar pixels, as unsigned 16-bit values. True when a seek was issued.
bool SeekFromPoint(ControlWindow& bar, uint16_t x, uint16_t y);
