#pragma once
// The prefetch thread that keeps the images around the current one decoded.
#include "app/PlayerState.h"

// Thread entry for _beginthreadex; the argument is the PlayerState.
unsigned __stdcall PrefetchThreadProc(void* argument);
