#include "video/OpenVideo.h"

#include <new>

#include "app/ComPtr.h"
#include "app/HResult.h"
#include "app/StageTrace.h"
#include "app/WineQuirks.h"
#include "video/ContainerSniff.h"
#include "video/MediaSource.h"
#include "video/PosterFrame.h"
#include "video/SessionCallback.h"

namespace {

// Waiting for the topology: up to 200 passes over the message queue with up
// to 5 ms between them, about one second in all.
constexpr int kReadyPasses = 200;
constexpr DWORD kReadyPauseMs = 5;
constexpr int64_t kShortestSeekableClip = 10'000'000;  // 1 s in 100-ns units
// At the program's end: time for a pausing session, then for a shut-down one,
// to finish what it has under way.
constexpr DWORD kPauseSettleMs = 150;
constexpr ULONGLONG kShutdownSettleMs = 100;
// The longest the program waits, as it closes, for the pipeline to shut down.
// (Wine's video renderer can deadlock its own threads at a restart; a session
// caught in that never finishes shutting down.)
constexpr ULONGLONG kShutdownLimitMs = 2000;

HWND PanelWindow(const PlayerState& state) { return state.panelWindow.load(); }

// The number of the latest session made, carried by its event sink's
// WM_APP_SESSION_STEP messages. UI thread only.
uint32_t g_sessionNumber = 0;

// The decoded type the video renderer is given, where the source offers
// decoded types (Wine's do, the I420 they list first among them; its video
// renderer takes NV12, YUY2 and RGB32 but cannot have a converter put in front
// of it). A Windows source offers its compressed type only, so nothing changes
// there. NV12 is the first choice, except for a width that is not a multiple
// of 4: the source may then pad each row of NV12's byte-wide planes to 4 bytes
// (Wine's GStreamer decoding does: an 854 wide frame arrives in 856 wide rows),
// while the renderer copies the sample byte for byte into unpadded rows and
// drops a sample that is larger than its buffer, so the picture stays black.
// YUY2's and RGB32's rows of such a width are already whole multiples of 4.
// NV12 is also the cheapest here: Wine 8.0's source offers I420, NV12, YV12,
// YUY2 and IYUV (no RGB32), and a 640x360 clip showed 25 frames a second
// through NV12 against 14 through YUY2.
void SelectRendererTypeWhereOffered(IMFMediaTypeHandler* handler) {
    DWORD count = 0;
    if (!handler || FAILED(handler->GetMediaTypeCount(&count))) return;
    ComPtr<IMFMediaType> nv12, yuy2, rgb32;
    UINT32 width = 0, height = 0;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IMFMediaType> type;
        GUID subtype = GUID_NULL;
        if (FAILED(handler->GetMediaTypeByIndex(i, type.Put())) || !type ||
            FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)))
            continue;
        if (subtype == MFVideoFormat_NV12 && !nv12) {
            MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &width, &height);
            nv12 = type;
        } else if (subtype == MFVideoFormat_YUY2 && !yuy2) {
            yuy2 = type;
        } else if (subtype == MFVideoFormat_RGB32 && !rgb32) {
            rgb32 = type;
        }
    }
    ComPtr<IMFMediaType> chosen = nv12;
    if (nv12 && width % 4 != 0) chosen = yuy2 ? yuy2 : (rgb32 ? rgb32 : nv12);
    // A type the handler refuses leaves the choice to the topology loader.
    if (chosen) (void)handler->SetCurrentMediaType(chosen.Get());
}

}  // namespace

namespace {

void HandleSentMessagesFor(ULONGLONG ms) { HandleSentMessagesUntil(nullptr, ms); }

// Shuts a session down from a paused state, on a worker thread that owns one
// reference to it: a session shut down while samples are on their way lets
// work queued inside the platform's pipeline run on objects already gone (seen
// under Wine as a crash as the program ends); a paused session has nothing in
// flight. Media Foundation's objects may be called from any thread.
DWORD WINAPI SessionShutdownProc(void* parameter) {
    auto* session = static_cast<IMFMediaSession*>(parameter);
    // The program is ending: a session that will not pause or shut down has
    // nobody left to tell, and the wait's limit covers one that hangs.
    (void)session->Pause();
    Sleep(kPauseSettleMs);
    (void)session->Shutdown();
    session->Release();
    return 0;
}

// Shuts a media source down on a worker thread that owns one reference to it.
DWORD WINAPI SourceShutdownProc(void* parameter) {
    auto* source = static_cast<IMFMediaSource*>(parameter);
    (void)source->Shutdown();  // as for the session: nobody left to tell
    source->Release();
    return 0;
}

// Runs `proc` on a worker thread with its own reference to `object`, handling
// sent messages meanwhile, for at most `limitMs`. True when it finished. A
// worker that does not finish keeps its reference: nothing is freed under it.
template <typename T>
bool RunShutdownWorker(T* object, LPTHREAD_START_ROUTINE proc, ULONGLONG limitMs) {
    if (!object) return true;
    object->AddRef();
    HANDLE worker = CreateThread(nullptr, 0, proc, object, 0, nullptr);
    if (!worker) {
        proc(object);  // no thread to spare: here, without a limit
        return true;
    }
    const bool finished = HandleSentMessagesUntil(worker, limitMs);
    CloseHandle(worker);
    return finished;
}

// Removes and dispatches every message waiting for this thread. A WM_QUIT
// (the user closed the program while the video was opening) is put back for
// the message loop, and ends the pumping: returns false then.
bool PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

// True once the panel has handled WM_APP_SESSION_READY (posted by the event
// sink); false when the time runs out or the program is closing. Between
// passes the thread sleeps until a message arrives, so the ready message is
// handled the moment it comes, not after the rest of a pause.
bool WaitForSessionReady(const PlayerState& state) {
    int budget = kReadyPasses;
    while (!g_sessionReady.load()) {
        if (!PumpMessages() || state.quitRequested.load()) return false;
        if (--budget == 0) return g_sessionReady.load();
        if (g_sessionReady.load()) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kReadyPauseMs, QS_ALLINPUT);
    }
    return !state.quitRequested.load();
}

void ReadDuration(PlayerState& state) {
    ComPtr<IMFPresentationDescriptor> descriptor;
    if (state.mediaSource && SUCCEEDED(state.mediaSource->CreatePresentationDescriptor(descriptor.Put())) &&
        descriptor) {
        UINT64 duration = 0;
        if (SUCCEEDED(descriptor->GetUINT64(MF_PD_DURATION, &duration)))
            state.duration.store(static_cast<int64_t>(duration));
    }
    // Clips under a second are neither seekable nor timed.
    if (state.duration.load() < kShortestSeekableClip) state.duration.store(0);
}

}  // namespace

bool CorrectVideoExtension(PlayerState& state, const wchar_t* path) {
    if (!path || !path[0]) return false;
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    uint8_t header[kSniffBytes] = {};  // zero past the end of a short file
    DWORD total = 0;
    while (total < kSniffBytes) {
        DWORD got = 0;
        if (!ReadFile(file, header + total, static_cast<DWORD>(kSniffBytes) - total, &got, nullptr) || got == 0)
            break;
        total += got;
    }
    CloseHandle(file);
    CorrectExtensionForContainer(state.filePath, state.videoExtension, header);
    return true;
}

HRESULT BuildPlaybackTopology(IMFMediaSource* source, HWND rendererWindow, IMFTopology** topologyOut,
                              TOPOID* videoNodeId, TOPOID* audioNodeId, IMFActivate* videoRenderer) {
    if (!source || !topologyOut || !videoNodeId || !audioNodeId) return E_POINTER;
    ComPtr<IMFTopology> topology;
    ComPtr<IMFPresentationDescriptor> descriptor;
    DWORD streamCount = 0;
    if (FAILED(MFCreateTopology(topology.Put())) ||
        FAILED(source->CreatePresentationDescriptor(descriptor.Put())) ||
        FAILED(descriptor->GetStreamDescriptorCount(&streamCount)))
        return E_FAIL;

    HRESULT hr = S_OK;
    for (DWORD i = 0; i < streamCount; ++i) {
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> stream;
        hr = descriptor->GetStreamDescriptorByIndex(i, &selected, stream.Put());
        if (FAILED(hr)) break;
        if (!selected) continue;

        GUID majorType = GUID_NULL;
        ComPtr<IMFMediaTypeHandler> handler;
        if (SUCCEEDED(stream->GetMediaTypeHandler(handler.Put())) && handler) handler->GetMajorType(&majorType);
        const bool video = majorType == MFMediaType_Video;
        const bool audio = majorType == MFMediaType_Audio;
        if (!video && !audio) {
            // Nothing could render it: leave it out of the presentation.
            hr = descriptor->DeselectStream(i);
            if (FAILED(hr)) break;
            continue;
        }

        ComPtr<IMFTopologyNode> sourceNode;
        hr = MFCreateTopologyNode(MF_TOPOLOGY_SOURCESTREAM_NODE, sourceNode.Put());
        if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_SOURCE, source);
        if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_PRESENTATION_DESCRIPTOR, descriptor.Get());
        if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_STREAM_DESCRIPTOR, stream.Get());
        if (FAILED(hr)) break;
        ComPtr<IMFTopologyNode> outputNode;
        hr = MFCreateTopologyNode(MF_TOPOLOGY_OUTPUT_NODE, outputNode.Put());
        if (FAILED(hr)) break;

        ComPtr<IMFActivate> renderer;
        if (video) {
            SelectRendererTypeWhereOffered(handler.Get());
            hr = outputNode->GetTopoNodeID(videoNodeId);
            if (SUCCEEDED(hr) && videoRenderer) {
                videoRenderer->AddRef();  // the first video stream takes the one made ahead
                renderer = ComPtr<IMFActivate>::Attach(videoRenderer);
                videoRenderer = nullptr;
            } else if (SUCCEEDED(hr)) {
                hr = MFCreateVideoRendererActivate(rendererWindow, renderer.Put());
            }
            if (SUCCEEDED(hr)) hr = outputNode->SetObject(renderer.Get());
            if (SUCCEEDED(hr)) hr = outputNode->SetUINT32(MF_TOPONODE_STREAMID, 0);
            if (SUCCEEDED(hr)) hr = outputNode->SetUINT32(MF_TOPONODE_NOSHUTDOWN_ON_REMOVE, FALSE);
        } else {
            hr = outputNode->GetTopoNodeID(audioNodeId);
            if (SUCCEEDED(hr)) hr = MFCreateAudioRendererActivate(renderer.Put());
            if (SUCCEEDED(hr)) hr = outputNode->SetObject(renderer.Get());
        }
        if (FAILED(hr)) break;
        hr = topology->AddNode(outputNode.Get());
        if (SUCCEEDED(hr)) hr = topology->AddNode(sourceNode.Get());
        if (SUCCEEDED(hr)) hr = sourceNode->ConnectOutput(0, outputNode.Get(), 0);
        if (FAILED(hr)) return E_FAIL;
    }
    *topologyOut = topology.Detach();
    return hr;
}

namespace {

// The longest the opening waits for a renderer made ahead, once the source is
// there; past it the topology makes its own.
constexpr ULONGLONG kRendererAheadLimitMs = 2000;

// A video renderer made while the source resolves. Making the renderer is
// the longest step of resolving the topology (under Wine about a quarter of a
// second at 1080p, most of it creating its Direct3D device), and it needs
// nothing of the file: it is activated on a worker thread while the UI thread
// waits for the source, and the topology is then given the activation object.
// Media Foundation documents that IMFActivate::ActivateObject hands out the
// same instance on later calls until ShutdownObject or DetachObject (Wine's
// activation objects keep it the same way), so the session's own activation
// of the output node finds the renderer made. Shared by the worker and the
// waiter; whichever lets go last frees it. The worker writes `activate` and
// `activated` before it ends; the waiter reads them only after that.
struct RendererAhead {
    std::atomic<int> owners{2};
    HWND window = nullptr;
    HANDLE thread = nullptr;  // the waiter's, closed by it
    IMFActivate* activate = nullptr;  // one reference, handed to the waiter
    bool activated = false;

    void Drop() {
        if (--owners > 0) return;
        if (activate) {
            if (activated) (void)activate->ShutdownObject();  // made, and nobody took it
            activate->Release();
        }
        delete this;
    }
};

DWORD WINAPI MakeRendererProc(void* parameter) {
    auto* job = static_cast<RendererAhead*>(parameter);
    // The renderer creates its mixer and presenter as COM objects.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(MFCreateVideoRendererActivate(job->window, &job->activate)) && job->activate) {
        ComPtr<IMFMediaSink> sink;
        job->activated = SUCCEEDED(job->activate->ActivateObject(IID_IMFMediaSink, sink.PutVoid()));
    }
    TraceStage("renderer made ahead");
    if (SUCCEEDED(com)) CoUninitialize();
    job->Drop();
    return 0;
}

// Starts making a renderer for `window` on a worker; null when no worker
// could be started (the topology then makes its own).
RendererAhead* BeginRendererAhead(HWND window) {
    auto* job = new (std::nothrow) RendererAhead;
    if (!job) return nullptr;
    job->window = window;
    job->thread = CreateThread(nullptr, 0, MakeRendererProc, job, 0, nullptr);
    if (!job->thread) {
        delete job;
        return nullptr;
    }
    return job;
}

// Waits (handling sent messages: the renderer may send to its window's
// thread, this one) for the renderer begun, and hands out its activation
// object with the renderer made behind it; null when it failed or is late.
// A renderer not handed out is shut down by whoever lets go of the job last.
ComPtr<IMFActivate> FinishRendererAhead(RendererAhead* job) {
    ComPtr<IMFActivate> made;
    if (!job) return made;
    const bool finished = HandleSentMessagesUntil(job->thread, kRendererAheadLimitMs);
    CloseHandle(job->thread);
    if (finished && job->activated) {
        made = ComPtr<IMFActivate>::Attach(job->activate);
        job->activate = nullptr;
    }
    job->Drop();
    return made;
}

// Made during the latest source resolution, taken by the next topology (UI
// thread); a renderer no topology took is shut down when replaced.
ComPtr<IMFActivate> g_rendererAhead;

void KeepRendererAhead(ComPtr<IMFActivate> made) {
    if (g_rendererAhead) (void)g_rendererAhead->ShutdownObject();
    g_rendererAhead = made;
}

// The state's source, made while a renderer for the video window is made
// ahead on a worker.
bool ResolveSourceWithRendererAhead(PlayerState& state) {
    RendererAhead* ahead = BeginRendererAhead(VideoPresentationWindow(PanelWindow(state)));
    state.mediaSource = nullptr;
    const bool resolved = SUCCEEDED(CreateReadOnlyMediaSource(state.diskPath, state.filePath, &state.mediaSource)) &&
                          state.mediaSource;
    TraceStage("session source resolved");
    ComPtr<IMFActivate> made = FinishRendererAhead(ahead);
    KeepRendererAhead(resolved ? made : ComPtr<IMFActivate>());
    if (made && !resolved) (void)made->ShutdownObject();
    return resolved;
}

}  // namespace

bool OpenVideoSource(PlayerState& state) {
    CorrectVideoExtension(state, state.diskPath);
    TraceStage("sniffed");
    if (!state.filePath[0] || !state.diskPath[0]) return false;

    // The source first, and the session only for a file that gave one: a file
    // refused here (unreadable, refused by the resolver, or no answer) is not
    // parsed again. (Asking again is not free: under Wine a second parse of a
    // damaged MP4 sometimes never ends, and the thread stuck in it crashes
    // the process as it exits.) The poster frame is read on a worker from
    // here on (BeginPosterFrame), so the first picture does not wait for a
    // second source and a second decoder.
    if (!ResolveSourceWithRendererAhead(state)) return false;
    // The file gave a source: its poster is read meanwhile, below the
    // priority of the opening and the playing video.
    BeginPosterFrame(state);
    return SUCCEEDED(MFCreateMediaSession(nullptr, &state.mediaSession)) && state.mediaSession;
}

namespace {

// The topology of the state's source with its renderer presenting into
// `rendererWindow`, given to the state's session with a new event sink
// numbered `session`. True when the topology is queued and the sink listens.
bool QueueTopology(PlayerState& state, HWND rendererWindow, uint32_t session) {
    IMFTopology* topology = nullptr;
    TOPOID videoNodeId = 0;
    TOPOID audioNodeId = 0;
    // A failure part of the way still hands out the streams built so far;
    // whether they hold a video renderer shows once the session is ready.
    ComPtr<IMFActivate> ahead = g_rendererAhead;
    g_rendererAhead.Reset();
    // The renderer made ahead presents into the window the session is for.
    if (ahead && rendererWindow != VideoPresentationWindow(PanelWindow(state))) {
        (void)ahead->ShutdownObject();
        ahead.Reset();
    }
    (void)BuildPlaybackTopology(state.mediaSource, rendererWindow, &topology, &videoNodeId, &audioNodeId,
                                ahead.Get());
    // No video branch took it (a file without video): nobody else will.
    if (ahead && videoNodeId == 0) (void)ahead->ShutdownObject();
    if (!topology) return false;
    TraceStage("topology built");
    state.topology = topology;  // the state keeps the caller's reference
    state.sessionCallback = new (std::nothrow)
        CMediaSessionCallback(state.mediaSession, topology, videoNodeId, audioNodeId, &state.videoDisplayControl,
                              &state.audioStreamVolume, PanelWindow(state), rendererWindow, session);
    return state.sessionCallback && SUCCEEDED(state.mediaSession->BeginGetEvent(state.sessionCallback, nullptr)) &&
           SUCCEEDED(state.mediaSession->SetTopology(0, topology));
}

}  // namespace

bool StartVideoSession(PlayerState& state, HWND rendererWindow) {
    if (!state.mediaSession || !state.mediaSource) return false;
    const bool started = QueueTopology(state, rendererWindow, ++g_sessionNumber);
    TraceStage("topology set");
    if (!started || !WaitForSessionReady(state)) return false;
    TraceStage("ready seen");
    if (!state.videoDisplayControl) {
        // Ready without a video renderer: a file without a video stream.
        g_sessionReady.store(false);
        return false;
    }
    ReadDuration(state);
    state.position.store(0);
    state.videoPlaying.store(false);
    state.videoPaused.store(false);
    return true;
}

namespace {

// Shuts an old session and then its source down on a worker thread that owns
// one reference to each (handed over in a heap pair). The session is paused
// first, for the reason SessionShutdownProc gives.
struct RetiredPipeline {
    IMFMediaSession* session;
    IMFMediaSource* source;
};

DWORD WINAPI RetireProc(void* parameter) {
    auto* old = static_cast<RetiredPipeline*>(parameter);
    if (old->session) {
        (void)old->session->Pause();  // nobody waits for these answers
        Sleep(kPauseSettleMs);
        (void)old->session->Shutdown();
        old->session->Release();
    }
    if (old->source) {
        (void)old->source->Shutdown();
        old->source->Release();
    }
    delete old;
    return 0;
}

// Takes the state's session objects out (holding the clock, so the timer
// thread never reads a session being let go) and shuts them down, waiting at
// most kShutdownLimitMs while handling sent messages (the old renderer may
// send to this thread as it goes). A pipeline that does not finish keeps its
// references and is marked stuck.
void RetireSession(PlayerState& state) {
    bool holding = false;
    for (int tries = 0; tries < 100 && !holding; ++tries) {
        holding = !g_clockBusy.exchange(true);
        if (!holding) Sleep(1);
    }
    auto* old = new (std::nothrow) RetiredPipeline{state.mediaSession, state.mediaSource};
    IMFVideoDisplayControl* control = state.videoDisplayControl;
    IMFAudioStreamVolume* volume = state.audioStreamVolume;
    IMFClock* clock = state.presentationClock;
    IMFTopology* topology = state.topology;
    CMediaSessionCallback* sink = state.sessionCallback;
    state.mediaSession = nullptr;
    state.mediaSource = nullptr;
    state.videoDisplayControl = nullptr;
    state.audioStreamVolume = nullptr;
    state.presentationClock = nullptr;
    state.topology = nullptr;
    state.sessionCallback = nullptr;
    if (holding) g_clockBusy.store(false);
    bool finished = true;
    if (old) {
        HANDLE worker = CreateThread(nullptr, 0, RetireProc, old, 0, nullptr);
        if (worker) {
            finished = HandleSentMessagesUntil(worker, kShutdownLimitMs);
            CloseHandle(worker);
        } else {
            RetireProc(old);
        }
    }
    if (!finished) {
        MarkVideoPipelineStuck();
        return;  // its threads may still use what it holds
    }
    SafeRelease(&control);
    SafeRelease(&volume);
    SafeRelease(&clock);
    SafeRelease(&topology);
    if (sink) sink->Release();  // the creation reference; the shut session let go of its own
}

}  // namespace

uint32_t VideoSessionNumber() { return g_sessionNumber; }

bool RebuildVideoSession(PlayerState& state) {
    const uint32_t session = ++g_sessionNumber;  // the old session's late events are told apart from now on
    RetireSession(state);
    if (state.quitRequested.load() || VideoPipelineStuck()) return false;
    if (!ResolveSourceWithRendererAhead(state) || FAILED(MFCreateMediaSession(nullptr, &state.mediaSession)))
        return false;
    return QueueTopology(state, VideoPresentationWindow(PanelWindow(state)), session);
}

bool OpenVideo(PlayerState& state, HWND rendererWindow) {
    return OpenVideoSource(state) && StartVideoSession(state, rendererWindow);
}

bool ShutdownVideo(PlayerState& state) {
    // A poster still being read holds its own source: it must end before
    // Media Foundation does.
    const bool posterDone = CollectPosterFrame(state, kShutdownLimitMs);
    KeepRendererAhead(ComPtr<IMFActivate>());  // one no topology took (an opening that failed after its source)
    const bool sessionDone = RunShutdownWorker(state.mediaSession, SessionShutdownProc, kShutdownLimitMs);
    // The source goes down even after a stuck session: its own threads (the
    // demuxer's) must not outlive the program's modules.
    const bool sourceDone = RunShutdownWorker(state.mediaSource, SourceShutdownProc, kShutdownLimitMs);
    if (posterDone && sessionDone && sourceDone) {
        HandleSentMessagesFor(kShutdownSettleMs);
        return true;
    }
    MarkVideoPipelineStuck();
    return false;
}
