#include "app/PlayerState.h"

#include "kestrelon_version.h"  // written by CMake

const wchar_t kWindowTitle[] = L"Kestrelon" KESTRELON_VERSION;

PlayerState** g_playerState = nullptr;
ID2D1Factory* g_d2dFactory = nullptr;
IDWriteFactory* g_dwriteFactory = nullptr;
IWICImagingFactory* g_wicFactory = nullptr;
std::atomic<bool> g_clockBusy{false};
std::atomic<bool> g_sessionReady{false};
uint64_t g_lastSeekTick = 0;
