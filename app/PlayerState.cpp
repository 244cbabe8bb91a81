#include "app/PlayerState.h"

const wchar_t kWindowTitle[] = L"Kestrelon1.0.3";

PlayerState** g_playerState = nullptr;
ID2D1Factory* g_d2dFactory = nullptr;
IDWriteFactory* g_dwriteFactory = nullptr;
IWICImagingFactory* g_wicFactory = nullptr;
std::atomic<bool> g_clockBusy{false};
std::atomic<bool> g_sessionReady{false};
uint64_t g_lastSeekTick = 0;
