#pragma once
// What the windows the main window owns share: the bar, its buttons.
#include "app/PlayerState.h"

// For WM_CLOSE reaching any other window of ours (the system turns Alt+F4,
// the taskbar's close and a window manager's close into SC_CLOSE and then
// WM_CLOSE of the window that had them): the program closes through the main
// window, and the window itself is not destroyed on its own. The caller
// returns the result (0) without passing WM_CLOSE on to DefWindowProcW.
LRESULT CloseFromOwnedWindow();
