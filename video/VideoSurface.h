#pragma once
// Where the video renderer presents. On Windows that is the drawing panel.
// Wine 8 does not show Direct3D output presented into a child window such as
// the panel, nor into a window covered by a visible child. So where
// PresentThroughWindowDc() holds, the renderer presents into the main window
// (which the panel covers exactly) and the panel is hidden while a video is
// open. The panel keeps receiving the session's messages (hidden windows do),
// and the main window takes the mouse and keys as before.
#include "app/PlayerState.h"

// Readies the window the renderer is to present into for the drawing panel
// (state.panelWindow; UI thread, before the topology is built) and returns
// it: the panel, or, under Wine, the main window with the panel hidden.
HWND PrepareVideoWindow(PlayerState& state);

// Undoes PrepareVideoWindow after an opening that failed: the panel shows
// the idle screen again.
void RestorePanelAfterVideo(PlayerState& state);

// The window the renderer presents into for the panel `panel`: the panel
// itself, or its top-level window where PresentThroughWindowDc() holds. Any
// thread.
HWND VideoPresentationWindow(HWND panel);

// Whether the renderer presents into the main window itself, whose painting
// must then leave the picture to the renderer.
bool VideoPresentsIntoMainWindow(const PlayerState& state);

// The video window is painting (UI thread, from its WM_PAINT): while the
// session is paused no new frame comes to cover what was uncovered (a restore
// after minimizing), so the renderer is asked to present its last one again;
// a renderer that cannot has its current picture drawn into the window.
// While playing the renderer is left alone: the next frame repaints, and
// Wine's renderer can deadlock its own threads at a clip's restart, when a
// call into it would freeze this thread too.
void RepaintPausedVideo(const PlayerState& state);

// How the pop-up window is shown at the end of a clip. SW_SHOW, except under
// Wine: there the main window is restacked above the control bar when it is
// activated again as the pop-up hides, so the pop-up is shown without
// activation (the main window keeps the keys, as the pop-up hands them on).
int PopupShowCommand();
