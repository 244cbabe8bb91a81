#pragma once
// What one run of the viewer shows, decided once from the command-line file.
// Pure header: no Windows types.
#include <cstdint>

enum class ViewMode : int32_t {
    None = 0,         // idle screen: no file, an unsupported one, or a mode that failed to start
    ImageFolder = 1,  // a still image and the rest of its folder
    Video = 2,        // a video played through Media Foundation
    AnimatedGif = 3,  // a GIF played frame by frame
};
