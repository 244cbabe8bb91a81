#pragma once
// Opening the command-line video into a ready media session on the panel window.
#include "app/PlayerState.h"

bool OpenVideo(PlayerState& state);
