// Entry point of the GUI program; everything else lives in the core library.
#include <windows.h>

#include "app/Startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return RunKestrelon();
}
