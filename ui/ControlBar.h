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
// process; its target and everything made on it are released only when a
// whole new set has been made to take their place (RemakeControlBarResources).
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
    UINT textDpi = 0;  // the DPI both formats are sized for; 0: to be made again at the next paint
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
// missing button image shows the "Load Error" box and ends the process (1):
// at start-up only, never later.
bool CreateControlWindow(ControlWindow& bar, HWND owner, int x, int y);
// Paints the bar; after a lost device it makes its target and resources again
// and paints once more, and text formats made for another DPI are made again first.
void PaintControlWindow(ControlWindow& bar);
// The clock tick's paint of a shown bar: a video's bar is painted only when
// its time text or its knob would change (a draw of the bar is software work
// on the UI thread under Wine, which the video's renderer waits for); any
// other bar is painted at every tick. UI thread.
void TickControlWindow(ControlWindow& bar);
// The screen changed: the bar goes to (x, y) on it, keeping its place in the z-order.
void MoveControlWindow(ControlWindow& bar, int x, int y);
// After a lost device: a new target, brushes, gradient and faces, taken (with
// the buttons' face pointers) only when every one was made. False when
// something failed: the old ones stay, and the next paint tries again. No
// message box and no exit.
bool RemakeControlBarResources(ControlWindow& bar);
// The bar's DPI changed: only the text formats (sized by the DPI) are made
// again, now or, should that fail, at the next paint.
void ControlBarDpiChanged(ControlWindow& bar);
LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// x, y in bar pixels, as unsigned 16-bit values. True when a seek was issued.
bool SeekFromPoint(ControlWindow& bar, uint16_t x, uint16_t y);

// The bar's geometry in bar pixels, from its fields.
ControlBarLayout ControlBarLayoutOf(const ControlWindow& bar);
// Test seam: when set, every face load hands its result (true: made) through
// it, so a test can make one fail. Null in the product.
using FaceLoadFilter = bool (*)(const wchar_t* relativeName, bool loaded);
extern FaceLoadFilter g_faceLoadFilter;

// The text of the "Load Error" box for a missing image (its relative name).
std::wstring MissingImageMessage(const wchar_t* relativeName);
