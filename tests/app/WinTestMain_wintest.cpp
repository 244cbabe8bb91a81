// The Windows-side test program's entry point. It ends the way the program
// does: when a test left a media pipeline stuck in its own threads (a resolver
// or a session given up on), the process ends at once instead of waiting in
// Media Foundation's shutdown for work that never finishes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "video/MediaSource.h"
#include "video/OpenVideo.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (VideoPipelineStuck()) {
        std::fflush(nullptr);
        ExitProcess(static_cast<UINT>(result));
    }
    return result;
}
