#include "video/SessionCallback.h"

#include <new>

#include "app/ComPtr.h"
#include "app/DrawingResources.h"
#include "app/HResult.h"
#include "app/StageTrace.h"
#include "app/WineQuirks.h"
#include "video/SessionSteps.h"

namespace {

// The service `service`/`iid` of the object attached to topology node `nodeId`.
template <typename T>
HRESULT GetNodeService(IMFTopology* topology, TOPOID nodeId, REFGUID service, T** out) {
    if (!topology) return E_POINTER;
    ComPtr<IMFTopologyNode> node;
    RETURN_IF_FAILED(topology->GetNodeByID(nodeId, node.Put()));
    ComPtr<IUnknown> object;
    RETURN_IF_FAILED(node->GetObject(object.Put()));
    ComPtr<IMFGetService> services;
    RETURN_IF_FAILED(object->QueryInterface(IID_IMFGetService, services.PutVoid()));
    return services->GetService(service, __uuidof(T), reinterpret_cast<void**>(out));
}

// The presentation clock's time while it runs; -1 where it is not running
// (nothing more will be presented then) or the session has none to give.
int64_t RunningClockTime(IMFMediaSession* session) {
    ComPtr<IMFClock> clock;
    MFCLOCK_STATE clockState = MFCLOCK_STATE_INVALID;
    LONGLONG time = 0;
    MFTIME systemTime = 0;
    if (!session || FAILED(session->GetClock(clock.Put())) || !clock || FAILED(clock->GetState(0, &clockState)))
        return -1;
    if (clockState != MFCLOCK_STATE_RUNNING || FAILED(clock->GetCorrelatedTime(0, &time, &systemTime))) return -1;
    return time;
}

}  // namespace

CMediaSessionCallback::CMediaSessionCallback(IMFMediaSession* session, IMFTopology* topology,
                                             TOPOID videoNodeId, TOPOID audioNodeId,
                                             IMFVideoDisplayControl** videoDisplayControlOut,
                                             IMFAudioStreamVolume** audioStreamVolumeOut,
                                             HWND videoWindow, HWND rendererWindow, uint32_t sessionNumber)
    : refCount(1),
      mediaSession(session),
      topology(topology),
      videoNodeId(videoNodeId),
      audioNodeId(audioNodeId),
      videoDisplayControlOut(videoDisplayControlOut),
      audioStreamVolumeOut(audioStreamVolumeOut),
      videoWindow(videoWindow),
      rendererWindow(rendererWindow),
      sessionNumber(sessionNumber) {
    if (mediaSession) mediaSession->AddRef();
    if (this->topology) this->topology->AddRef();
}

CMediaSessionCallback::~CMediaSessionCallback() {
    SafeRelease(&mediaSession);
    SafeRelease(&topology);
}

STDMETHODIMP CMediaSessionCallback::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMFAsyncCallback) {
        *object = static_cast<IMFAsyncCallback*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaSessionCallback::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount));
}

STDMETHODIMP_(ULONG) CMediaSessionCallback::Release() {
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP CMediaSessionCallback::GetParameters(DWORD* flags, DWORD* queue) {
    if (flags) *flags = 0;
    if (queue) *queue = MFASYNC_CALLBACK_QUEUE_STANDARD;
    return S_OK;
}

// The video display control comes from the renderer's topology node; where
// the platform's renderer does not hand its services out that way (Wine), the
// session's own service lookup finds the same renderer. Only for a file that
// has a video stream: without one, no renderer must be reported.
void CMediaSessionCallback::AttachRenderers() {
    if (videoDisplayControlOut && videoNodeId != 0) {
        IMFVideoDisplayControl* control = nullptr;
        HRESULT hr = GetNodeService(topology, videoNodeId, MR_VIDEO_RENDER_SERVICE, &control);
        if (FAILED(hr) || !control) {
            control = nullptr;
            hr = MFGetService(mediaSession, MR_VIDEO_RENDER_SERVICE, __uuidof(IMFVideoDisplayControl),
                              reinterpret_cast<void**>(&control));
        }
        if (SUCCEEDED(hr) && control) {
            // The renderer was made for this window already, so both are
            // restatements; one it refuses leaves it presenting as it was.
            (void)control->SetVideoWindow(rendererWindow);
            (void)control->SetAspectRatioMode(MFVideoARMode_PreservePicture);
            // Published only now, configured, and with a full barrier: the UI
            // thread may call it as soon as it sees it. Keeps GetService's
            // reference for the process.
            InterlockedExchangePointer(reinterpret_cast<void* volatile*>(videoDisplayControlOut), control);
        }
    }
    if (audioStreamVolumeOut && audioNodeId != 0) {
        IMFAudioStreamVolume* volume = nullptr;
        if (SUCCEEDED(GetNodeService(topology, audioNodeId, MR_STREAM_VOLUME_SERVICE, &volume)) && volume)
            *audioStreamVolumeOut = volume;
    }
}

STDMETHODIMP CMediaSessionCallback::Invoke(IMFAsyncResult* result) {
    if (!mediaSession) return E_POINTER;
    ComPtr<IMFMediaEvent> event;
    const HRESULT hr = mediaSession->EndGetEvent(result, event.Put());
    if (FAILED(hr)) return hr;  // no new request: event delivery ends here
    // An event with a failed status says that the step it names did not
    // happen (a topology that could not be resolved, a start that did not
    // start); like MEError, and like an event that cannot be read, it drives
    // nothing but the report that the command failed. The opening then runs
    // out of time waiting and gives up.
    MediaEventType type = MEUnknown;
    HRESULT status = S_OK;
    if (!event || FAILED(event->GetType(&type)) || FAILED(event->GetStatus(&status))) type = MEUnknown;
    const bool failed = FAILED(status);

    PlayerState* state = CurrentState();
    const HWND mainWindow = state ? state->mainWindow : nullptr;
    // Once the program is closing its windows are going away: events are
    // still taken and asked for, but drive nothing.
    if (state && state->quitRequested.load()) type = MEUnknown;
    // The confirmations the commands wait for (video/Playback.h).
    const auto step = [&](WPARAM what) {
        if (mainWindow) PostMessageW(mainWindow, WM_APP_SESSION_STEP, what, static_cast<LPARAM>(sessionNumber));
    };
    switch (failed ? static_cast<MediaEventType>(MEUnknown) : type) {
        case MESessionTopologyStatus: {
            UINT32 topologyStatus = MF_TOPOSTATUS_INVALID;
            if (SUCCEEDED(event->GetUINT32(MF_EVENT_TOPOLOGY_STATUS, &topologyStatus)) &&
                topologyStatus == MF_TOPOSTATUS_READY) {
                TraceStage("topology ready");
                AttachRenderers();
                PostMessageW(videoWindow, WM_APP_SESSION_READY, 0, 0);
                step(MESessionTopologyStatus);
            }
            break;
        }
        case MESessionStarted:
            TraceStage("session started");
            if (mainWindow) SendMessageW(mainWindow, WM_APP_HIDE_POPUP, 0, 0);
            step(MESessionStarted);
            break;
        case MESessionPaused:
        case MESessionStopped:
            step(type);
            break;
        case MEEndOfPresentation: {
            // The frames the renderer still holds are shown before the pop-up
            // covers them (video/SessionSteps.h). Waited for here, on the
            // event's thread, so the restart below follows them too; nothing
            // else waits for this thread meanwhile but the session's next
            // event. Only while the clock runs: Wine 8.0's session has
            // stopped it already when it reports the end, and the frames
            // still queued in its renderer are then never presented (they
            // wait for a time the stopped clock never reaches), so there it
            // waits for nothing.
            const uint32_t waitMs = EndOfPresentationWaitMs(RunningClockTime(mediaSession),
                                                            state ? state->duration.load() : 0);
            TraceStage("end of presentation", static_cast<int64_t>(waitMs));
            if (waitMs > 0) Sleep(waitMs);
            if (state && state->quitRequested.load()) break;
            if (mainWindow) SendMessageW(mainWindow, WM_APP_SHOW_POPUP, 0, 0);
            // Where MESessionEnded may never come, the end of the
            // presentation is the clip's end.
            if (RebuildSessionToMove()) SendMessageW(videoWindow, WM_APP_RESTART_VIDEO, 0, 0);
            break;
        }
        case MESessionEnded:
            if (!RebuildSessionToMove()) SendMessageW(videoWindow, WM_APP_RESTART_VIDEO, 0, 0);
            break;
        case MEUnknown:
            // A command's confirmation that reports failure: the command
            // waits no longer.
            if (failed && (type == MESessionStarted || type == MESessionPaused || type == MESessionStopped))
                step(MEError);
            break;
        default:
            break;
    }
    // A session that takes no further request delivers no further events.
    return mediaSession->BeginGetEvent(this, nullptr);
}
