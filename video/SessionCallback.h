#pragma once
// The media session's event sink: turns session events into the custom window
// messages of the UI thread and attaches the video renderer to its window once
// the topology is ready.
#include "app/PlayerState.h"

class CMediaSessionCallback final : public IMFAsyncCallback {
public:
    // Takes one reference on `session` and on `topology`; starts with a count of
    // 1, which belongs to the creator. `videoDisplayControlOut` and
    // `audioStreamVolumeOut` are where the renderer services go (the state's
    // fields); `videoWindow` is the video panel, the messages' target;
    // `rendererWindow` is the window the renderer presents into; `sessionNumber`
    // goes with every WM_APP_SESSION_STEP, so that the events of a session
    // already replaced are told apart.
    CMediaSessionCallback(IMFMediaSession* session, IMFTopology* topology, TOPOID videoNodeId,
                          TOPOID audioNodeId, IMFVideoDisplayControl** videoDisplayControlOut,
                          IMFAudioStreamVolume** audioStreamVolumeOut, HWND videoWindow,
                          HWND rendererWindow, uint32_t sessionNumber = 0);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetParameters(DWORD* flags, DWORD* queue) override;
    // Runs on a Media Foundation work-queue thread, one event per call.
    STDMETHODIMP Invoke(IMFAsyncResult* result) override;

private:
    ~CMediaSessionCallback();  // only through Release
    void AttachRenderers();

    volatile LONG refCount;  // interlocked only; the only field that changes after creation
    IMFMediaSession* mediaSession;  // one reference, released with the object
    IMFTopology* topology;          // one reference, released with the object
    TOPOID videoNodeId;             // 0 when the file has no video stream
    TOPOID audioNodeId;             // 0 when the file has no audio stream
    // Written once on the work-queue thread, before WM_APP_SESSION_READY is
    // posted; the UI thread reads them only after handling that message.
    IMFVideoDisplayControl** videoDisplayControlOut;
    IMFAudioStreamVolume** audioStreamVolumeOut;
    HWND videoWindow;     // the video panel: message target
    HWND rendererWindow;  // where the renderer presents (the panel, or its main window)
    uint32_t sessionNumber;  // WM_APP_SESSION_STEP's lParam
};
