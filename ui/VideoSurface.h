#pragma once
// The video's windows. The renderer presents into the drawing panel, or,
// where RenderVideoIntoMainWindow() holds (app/WineQuirks.h), into the main
// window (which the panel covers exactly) with the panel hidden while a video
// is open. The panel keeps receiving the session's messages (hidden windows
// do), and the main window takes the mouse and keys as before. The opening
// in video/ is handed the window to present into.
#include "app/PlayerState.h"

// The whole opening of the command-line video (UI thread): the file's media
// source first, then the window the renderer is to present into for the
// drawing panel (state.panelWindow) is readied and handed to the session: the
// panel, or the main window with the panel hidden. After an opening that
// failed the panel shows again. True when the session is ready with a video
// renderer.
bool OpenVideoOnPanel(PlayerState& state);

// Whether the renderer presents into the main window itself, whose painting
// must then leave the picture to the renderer.
bool VideoPresentsIntoMainWindow(const PlayerState& state);

// The video window is painting (UI thread, from its WM_PAINT): the renderer
// is asked to present its current frame again (RepaintVideo), as the video
// display control expects of its window's paint; nothing else paints over the
// video's rectangle. While the session is paused no new frame would cover
// what was uncovered (a restore after minimizing), so a renderer that cannot
// repaint (E_NOTIMPL) has its current picture drawn into the window instead.
// Where RepaintVideoOnlyWhilePaused() holds (app/WineQuirks.h), the renderer
// is left alone while playing.
void RepaintVideoWindow(const PlayerState& state);

// The screen changed: the renderer is to present into the whole width x height
// client area of its window. The destination is handed to it only where it
// takes the call safely: at once while the session is paused, or while it
// plays where the platform's renderer takes calls then
// (RendererTakesCallsWhilePlaying in app/WineQuirks.h); otherwise it is kept
// and handed over by RepaintVideoWindow, at the first paint of the video
// window in a pause. Nothing once the program is closing: the renderer is
// being shut down. UI thread.
void PlaceVideo(PlayerState& state, int width, int height);
