#pragma once
// The full-screen main window: it creates every other window and owns every
// keyboard and mouse command.
#include "app/PlayerState.h"

// Creates the main window, the drawing panel, the pop-up window, their render
// targets, the application icon and the control bar (hidden).
void CreateAppWindows(PlayerState& state);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// One WM_KEYDOWN's virtual-key code, by view mode.
void HandleKeyCommand(PlayerState& state, UINT key);

// ShowCursor until the display count is negative / zero or more, whatever it was.
void HideMouseCursor();
void ShowMouseCursor();

// The control bar's screen position for a screen of the given size.
POINT ControlBarPosition(int screenWidth, int screenHeight);

// The display changed resolution, orientation or scaling: every window covers
// the new W x H screen, the bar moves to its place for it, and the picture,
// GIF or video is fitted again. `newDpi` remakes what is sized by the DPI.
// Does nothing once the program is closing.
void ApplyScreenChange(PlayerState& state, int width, int height, bool newDpi);

// The size in pixels of the monitor `window` is on (MonitorFromWindow,
// nearest monitor; GetMonitorInfo). 0 x 0 when the system answers nothing.
SIZE ScreenSizeOf(HWND window);

// Test seam: when set, ScreenSizeOf hands the monitor's rectangle through it,
// so a test can give the window a monitor of another size than the display it
// runs on. Null in the product.
using MonitorAreaFilter = RECT (*)(HWND window, RECT area);
extern MonitorAreaFilter g_monitorAreaFilter;
