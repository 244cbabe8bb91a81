#include "video/OpenVideo.h"

// Placeholder until video opening is built.
bool OpenVideo(PlayerState&) { return false; }
