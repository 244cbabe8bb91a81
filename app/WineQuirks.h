#pragma once
// Every decision the program takes because it runs under Wine (8.0, as
// observed), each with what Wine does there that Windows does not. The rest
// of the program asks these functions and never checks for Wine itself; on
// Windows every answer is the plain one. Wine is recognised once, by ntdll's
// export of wine_get_version; every function here may be called on any thread.
//
// Other accommodations of Wine's behaviour are not decided here: they probe
// what the platform does and take a fallback when it falls short, so they
// work the same wherever the shortfall is met. Where they live:
//   - image/StillImage.* AveragingScalerMode: Wine's WIC scaler samples points
//     when it shrinks, in every mode; found by shrinking stripes, and the
//     picture is then reduced by the program's own averaging
//     (ReduceIntoNewBitmap). CreateTurnedBitmap: pixels cannot be pulled
//     through the flip-rotator (E_NOTIMPL); the turn is applied by the
//     program. ReadFileExifOrientation: JPEG frames answer no orientation
//     query; the Exif block is read from the file.
//   - app/WindowTarget.cpp CreateHwndTarget: R8G8B8A8 is refused for window
//     targets (E_INVALIDARG); B8G8R8A8 is asked for next.
//   - ui/VideoSurface.cpp RepaintVideoWindow: RepaintVideo answers E_NOTIMPL;
//     the renderer's current image (GetCurrentImage) is drawn by GDI instead.
//   - video/OpenVideo.cpp SelectRendererTypeWhereOffered: decoded types are
//     offered (I420 first) and no converter can be put before the renderer;
//     NV12, YUY2 or RGB32 is chosen on the stream.
//   - video/PosterFrame.cpp BuildPosterFrom: decoded NV12 rows may be padded
//     to 4 bytes; the stride is taken from the buffer's length.
//     StreamCoefficientRow: no colour matrix on the types; the size decides.
//   - video/MediaSource.cpp OpenReadOnlyByteStream: MFCreateFile does not
//     share writing even when asked; a shell stream with full sharing follows.
//     HandleSentMessagesUntil: the renderer sends to the window's thread while
//     the pipeline works, so waits handle sent messages.
//   - video/SessionCallback.cpp AttachRenderers: the renderer node hands out no
//     display control; the session's own service lookup does. The end of the
//     presentation waits for the frames still due only while the clock runs:
//     Wine's session has stopped it when it reports the end.
//   - video/MediaSource.h kVideoOpenLimitMs, video/OpenVideo.cpp
//     kShutdownLimitMs and OpenVideo: Wine's GStreamer glue may never answer
//     for a damaged MP4, and its renderer may never finish shutting down;
//     every wait has a limit, and a file refused once is not parsed again.
#include <windows.h>

// Whether the main window, the drawing panel and the control bar draw through
// a Direct2D DC render target bound to their window DC (the same drawing,
// copied to the screen by GDI) instead of an HWND render target. Under Wine:
// it does not show what Direct3D presents into a child window (the panel), it
// shows nothing at all of an HWND target on the layered bar (not even its
// background), and once a top-level window presents through Direct3D the GDI
// output of its children is hidden under it (the main window). Such a window
// must then get no HWND target at all: a swap chain on it hides its own GDI
// output too. The pop-up, a top-level window with no children, keeps its
// HWND target everywhere.
bool DrawThroughWindowDc();

// Whether the panel puts a picture that already has its on-screen size (a
// folder picture, the GIF's scaled frame) on screen by a 1:1 GDI copy to its
// window DC. Where DrawThroughWindowDc() holds, a DC render target is software
// work under Wine: the whole client area is drawn, read back and copied at
// every EndDraw (100-200 ms for a full-screen paint at 1920x1080), while the
// copy moves the picture's pixels once.
bool CopySizedPicturesByGdi();

// Whether the video renderer presents into the main window, with the drawing
// panel hidden while a video is open, instead of into the panel. Under Wine
// Direct3D output presented into a child window is not shown, nor output
// into a window covered by a visible child. The main window is covered
// exactly by the panel, so the picture lands in the same place; the hidden
// panel still receives the session's messages.
bool RenderVideoIntoMainWindow();

// The window the video renderer presents into for the drawing panel `panel`:
// the panel itself, or its top-level window where
// RenderVideoIntoMainWindow() holds. Any thread.
HWND VideoPresentationWindow(HWND panel);

// Whether the video renderer may be called from the UI thread while the
// session plays (a new destination after a display change). Not under Wine:
// its renderer can deadlock its own threads at a clip's restart, and a call
// into it then freezes the caller too; there the renderer is called only
// while the session is paused (ui/VideoSurface.cpp PlaceVideo).
bool RendererTakesCallsWhilePlaying();

// Whether the video window's paint calls into the renderer (RepaintVideo)
// only while the session is paused. Under Wine the renderer can deadlock its
// own threads at a clip's restart, and a call into it from the window's
// thread then freezes the program; while playing, the next frame repaints
// anyway. Elsewhere every paint of the video window asks for RepaintVideo, as
// Media Foundation's video display control expects.
bool RepaintVideoOnlyWhilePaused();

// Test seam: while set, every decision above gives the answer it gives on
// Windows, so a test under Wine runs the branches Windows users take (HWND
// targets on the main window, the panel and the bar, the panel's paint in
// video mode). Set and cleared on one thread while no window draws; false in
// the product.
void ForceWindowsAnswers(bool windows);

// Whether a media session is started once only, and every later move - a
// resume after a pause, a seek (playing or paused), the restart at a clip's
// end - is made by a new session (a new source, topology and renderer)
// started at the wanted position, instead of the documented commands on the
// running one (Start with VT_EMPTY from paused, Start with a VT_I8 position
// while started or paused, Stop then Start at 0 after MESessionEnded). Wine
// 8.0's session takes Pause, but a Start after it reaches the renderer's
// preroll and never reports MESessionStarted, so every later command waits
// behind it for good; a Start with a position while started is ignored
// ("Seeking is not implemented"); a Start from stopped reports
// MESessionStarted but the picture stays on its first frame and no end event
// follows; at a clip's end MESessionEnded may never come (the restart is
// taken from MEEndOfPresentation there). A first Start at a position of a new
// session plays from that position (0 included: told no position, a new
// session made for the loop ended a second in, again and again). Its
// renderer presents nothing once paused, so a paused seek pauses only once
// the new session's clock has passed the target (video/Playback.cpp).
bool RebuildSessionToMove();
// Tests force RebuildSessionToMove's answer: 0 or 1, or -1 for the
// platform's own again.
void ForceRebuildSessionToMove(int answer);
