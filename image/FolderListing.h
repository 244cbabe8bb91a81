#pragma once
// Listing the command-line image's folder in natural order.
#include "app/PlayerState.h"

bool ListFolderImages(PlayerState& state);
