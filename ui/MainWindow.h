#pragma once
// The full-screen main window: it creates every other window and owns every
// keyboard and mouse command.
#include "app/PlayerState.h"

// Creates the main window, the drawing panel, the pop-up window, their render
// targets, the application icon and the control bar (hidden). Always true.
bool CreateAppWindows(PlayerState& state);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// One WM_KEYDOWN's virtual-key code, by view mode.
void HandleKeyCommand(PlayerState& state, UINT key);

// For WM_CLOSE reaching any other window of ours (the system turns Alt+F4,
// the taskbar's close and a window manager's close into SC_CLOSE and then
// WM_CLOSE of the window that had them): the program closes through the main
// window, and the window itself is not destroyed on its own. The caller
// returns the result (0) without passing WM_CLOSE on to DefWindowProcW.
LRESULT CloseFromOwnedWindow();

// ShowCursor until the display count is negative / zero or more, whatever it was.
void HideMouseCursor();
void ShowMouseCursor();

// The control bar's screen position for a screen of the given size.
POINT ControlBarPosition(int screenWidth, int screenHeight);

// The display changed resolution, orientation or scaling: every window covers
// the new W x H screen, the bar moves to its place for it, and the picture,
// GIF or video is fitted again. `newDpi` remakes what is sized by the DPI.
void ApplyScreenChange(PlayerState& state, int width, int height, bool newDpi);
