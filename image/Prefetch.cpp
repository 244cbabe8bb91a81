#include "image/Prefetch.h"

// Placeholder until the prefetch thread is built.
unsigned __stdcall PrefetchThreadProc(void* argument) {
    PlayerState* state = static_cast<PlayerState*>(argument);
    HANDLE self = state->prefetchThread.exchange(nullptr);
    if (self) CloseHandle(self);
    return 1;
}
