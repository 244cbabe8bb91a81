#include "video/DisplayAwake.h"

#include <windows.h>

void KeepDisplayAwake(bool awake) {
    // ES_CONTINUOUS keeps the request until the next call; without the other
    // flags it clears what an earlier call asked for.
    const EXECUTION_STATE flags =
        awake ? ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED : ES_CONTINUOUS;
    SetThreadExecutionState(flags);
}
