#pragma once
// Start-up, classification of the command-line file, mode start.
#include "app/PlayerState.h"

// Allocates the g_playerState cell and the record (screen size read now), clears g_clockBusy.
PlayerState* CreatePlayerState();

// The three process-wide factories (results not tested: a missing factory
// leaves its global null and the parts that need it do nothing).
void CreateFactories();

// Classifies `path` (null: no argument) into the state's path buffers.
ViewMode ClassifyCommandLineFile(const wchar_t* path);

// Starts the mode in state.viewMode; on failure sets it to None and returns false.
bool StartViewMode(PlayerState& state);

// The whole run: start-up, the message loop, shutdown. Returns the exit code (1).
int RunKestrelon();
