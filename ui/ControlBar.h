#pragma once
// The translucent control bar: buttons, seek track, file name, time or index text.
#include "app/PlayerState.h"
#include "ui/ControlBarGeometry.h"

struct ButtonWindow;

constexpr int kControlBarWidth = 700;
constexpr int kControlBarHeight = 80;
constexpr BYTE kControlBarAlpha = 220;  // the whole bar is drawn at 220/255 opacity

// The bar's record. One instance, allocated by CreateAppWindows and reached
// through PlayerState::controlWindow and the bar window's GWLP_USERDATA. Every
// field is used on the UI thread only. The record lives as long as the
// process; its target and everything made on it are released only to be made
// again (RemakeControlBarResources).
struct ControlWindow {
    HWND hwnd = nullptr;
    // What the bar draws with (DC or HWND kind, DrawThroughWindowDc); brushes
    // and faces belong to it. Owned.
    WindowTarget target;
    ID2D1SolidColorBrush* frameBrush = nullptr;         // owned, like every resource below
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
    bool mouseDown = false;        // left button held after a press on the bar
    bool seekDragging = false;     // the press landed in the seek zone: moves go on seeking
    bool resumeAfterSeek = false;  // the press paused running playback: the release resumes it
    ButtonWindow* closeButton = nullptr;  // owned, never freed
    ButtonWindow* playButton = nullptr;   // owned, never freed
    ID2D1Bitmap* closeFace = nullptr;     // faces: owned, made for the bar's target
    ID2D1Bitmap* closeDownFace = nullptr;
    ID2D1Bitmap* playFace = nullptr;
    ID2D1Bitmap* playDownFace = nullptr;
    ID2D1Bitmap* pauseFace = nullptr;
    ID2D1Bitmap* pauseDownFace = nullptr;
    int seekLeft = 0, seekTop = 0, seekWidth = 0, seekHeight = 0;  // bar pixels
    int baseRed = 130, baseGreen = 130, baseBlue = 150;
};

// The six button images beside the executable, in the order they are loaded.
extern const wchar_t* const kButtonImageFiles[6];

// Creates the bar window (hidden), its resources and its two buttons. A
// missing button image shows the "Load Error" box and ends the process (1).
bool CreateControlWindow(ControlWindow& bar, HWND owner, int x, int y);
void CreateControlResources(ControlWindow& bar);
void PaintControlWindow(ControlWindow& bar);
// The screen changed: the bar goes to (x, y) on it, keeping its place in the z-order.
void MoveControlWindow(ControlWindow& bar, int x, int y);
// Makes the bar's target and everything drawn with it again (a lost device, or
// a new DPI, which the text sizes are taken at).
void RemakeControlBarResources(ControlWindow& bar);
LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// x, y in bar pixels, as unsigned 16-bit values. True when a seek was issued.
bool SeekFromPoint(ControlWindow& bar, uint16_t x, uint16_t y);

// The bar's geometry in bar pixels, from its fields.
ControlBarLayout ControlBarLayoutOf(const ControlWindow& bar);
// The text of the "Load Error" box for a missing image (its relative name).
std::wstring MissingImageMessage(const wchar_t* relativeName);
