#include "ui/OwnedWindow.h"

LRESULT CloseFromOwnedWindow() {
    PlayerState* state = CurrentState();
    if (state && IsWindow(state->mainWindow)) SendMessageW(state->mainWindow, WM_CLOSE, 0, 0);
    return 0;
}
