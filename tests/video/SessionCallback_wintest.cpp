// The session event sink against a fake media session and fake renderer
// services: which event becomes which message for which window, when the
// renderer services are taken (and from where), and that every handled event
// asks for the next one.
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <evr.h>
#include <mferror.h>

#include <gtest/gtest.h>

#include <vector>

#include "app/Startup.h"
#include "app/WineQuirks.h"
#include "video/SessionCallback.h"
#include "tests/video/FakeDisplayControl.h"
#include "tests/video/FakeMediaSession.h"
#include "tests/video/FakeUnknown.h"
#include "tests/video/VideoFixture.h"

namespace {

// ---- fakes ----

class FakeVolume : public FakeUnknown<IMFAudioStreamVolume> {
public:
    STDMETHODIMP GetChannelCount(UINT32*) override { return E_NOTIMPL; }
    STDMETHODIMP SetChannelVolume(UINT32, const float) override { return E_NOTIMPL; }
    STDMETHODIMP GetChannelVolume(UINT32, float*) override { return E_NOTIMPL; }
    STDMETHODIMP SetAllVolumes(UINT32, const float*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAllVolumes(UINT32, float*) override { return E_NOTIMPL; }
};

// A renderer as seen through its topology node: it hands out its services, or
// refuses the lookup as Wine's renderers do (E_NOTIMPL).
class FakeRenderer : public FakeUnknown<IMFGetService> {
public:
    FakeDisplayControl* display = nullptr;  // not owned
    FakeVolume* volume = nullptr;           // not owned
    HRESULT refusal = S_OK;
    STDMETHODIMP GetService(REFGUID service, REFIID riid, void** out) override {
        *out = nullptr;
        if (FAILED(refusal)) return refusal;
        if (service == MR_VIDEO_RENDER_SERVICE && display) return display->QueryInterface(riid, out);
        if (service == MR_STREAM_VOLUME_SERVICE && volume) return volume->QueryInterface(riid, out);
        return MF_E_UNSUPPORTED_SERVICE;
    }
};

// ---- windows that record what reaches them ----

struct Received {
    HWND window;
    UINT message;
    WPARAM wParam;
};
std::vector<Received> g_received;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP) g_received.push_back({hwnd, message, wParam});
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND RecordingWindow() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = L"KestrelonTestRecorder";
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
    return CreateWindowExW(0, L"KestrelonTestRecorder", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
}

// ---- the sink under test, with a real topology whose output nodes carry fake renderers ----

class SessionCallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        videotest::StartPlatformOnce();
        state = CreatePlayerState();
        panel = RecordingWindow();
        state->mainWindow = RecordingWindow();
        ASSERT_TRUE(SUCCEEDED(MFCreateTopology(&topology)));
        videoRenderer->display = display;
        audioRenderer->volume = volume;
        videoNode = AddOutputNode(videoRenderer);
        audioNode = AddOutputNode(audioRenderer);
        g_received.clear();
    }
    void TearDown() override {
        if (sink) sink->Release();
        if (topology) topology->Release();
        DestroyWindow(panel);
        DestroyWindow(state->mainWindow);
        state->videoDisplayControl = nullptr;  // the sink's reference, left to the fake's count
        state->audioStreamVolume = nullptr;
        display->Release();
        sessionDisplay->Release();
        volume->Release();
        videoRenderer->Release();
        audioRenderer->Release();
        session->Release();
    }

    TOPOID AddOutputNode(IUnknown* renderer) {
        IMFTopologyNode* node = nullptr;
        MFCreateTopologyNode(MF_TOPOLOGY_OUTPUT_NODE, &node);
        node->SetObject(renderer);
        topology->AddNode(node);
        TOPOID id = 0;
        node->GetTopoNodeID(&id);
        node->Release();
        return id;
    }

    void MakeSink(TOPOID video, TOPOID audio) {
        sink = new CMediaSessionCallback(session, topology, video, audio, &state->videoDisplayControl,
                                         &state->audioStreamVolume, panel, state->mainWindow);
    }

    // What was received, with the commands' confirmations (WM_APP_SESSION_STEP)
    // taken out and their events listed apart.
    std::vector<WPARAM> TakeSteps() {
        std::vector<WPARAM> steps;
        std::vector<Received> rest;
        for (const Received& r : g_received) {
            if (r.message == WM_APP_SESSION_STEP) {
                EXPECT_EQ(r.window, state->mainWindow);
                steps.push_back(r.wParam);
            } else {
                rest.push_back(r);
            }
        }
        g_received = rest;
        return steps;
    }

    // Delivers one event the way the work queue does; returns Invoke's result.
    HRESULT Deliver(MediaEventType type, UINT32 topologyStatus = 0, HRESULT status = S_OK) {
        IMFMediaEvent* event = nullptr;
        MFCreateMediaEvent(type, GUID_NULL, status, nullptr, &event);
        if (type == MESessionTopologyStatus) event->SetUINT32(MF_EVENT_TOPOLOGY_STATUS, topologyStatus);
        session->nextEvent = event;
        IMFAsyncResult* result = nullptr;
        MFCreateAsyncResult(nullptr, sink, nullptr, &result);
        const HRESULT hr = sink->Invoke(result);
        result->Release();
        MSG message;  // the ready message is posted
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        return hr;
    }

    PlayerState* state = nullptr;
    HWND panel = nullptr;
    // Each fake holds the test's reference until TearDown; the sink and the
    // topology take their own.
    FakeMediaSession* session = new FakeMediaSession();
    FakeDisplayControl* display = new FakeDisplayControl();
    FakeDisplayControl* sessionDisplay = new FakeDisplayControl();
    FakeVolume* volume = new FakeVolume();
    FakeRenderer* videoRenderer = new FakeRenderer();
    FakeRenderer* audioRenderer = new FakeRenderer();
    IMFTopology* topology = nullptr;
    TOPOID videoNode = 0, audioNode = 0;
    CMediaSessionCallback* sink = nullptr;
};

TEST_F(SessionCallbackTest, EventsBecomeMessagesForTheirWindows) {
    MakeSink(videoNode, audioNode);
    struct Case {
        MediaEventType event;
        HRESULT status;  // the event's own status
        UINT message;    // 0: none
        bool toMainWindow;
        WPARAM step;  // the confirmation posted for the commands, 0: none
    };
    // A failed status means the step did not happen: nothing is driven but the
    // report that a command failed, the renderers are not taken, and the next
    // event is still asked for. The failed cases come first, before a ready
    // topology attaches the renderers.
    const Case cases[] = {
        {MESessionTopologyStatus, MF_E_TOPO_CODEC_NOT_FOUND, 0, false, 0},
        {MESessionStarted, MF_E_INVALIDREQUEST, 0, false, MEError},
        {MESessionPaused, E_FAIL, 0, false, MEError},
        {MEEndOfPresentation, E_FAIL, 0, false, 0},
        {MESessionEnded, MF_E_SHUTDOWN, 0, false, 0},
        {MESessionTopologyStatus, S_OK, WM_APP_SESSION_READY, false, MESessionTopologyStatus},
        {MESessionStarted, S_OK, WM_APP_HIDE_POPUP, true, MESessionStarted},
        {MEEndOfPresentation, S_OK, WM_APP_SHOW_POPUP, true, 0},
        {MESessionEnded, S_OK, WM_APP_RESTART_VIDEO, false, 0},
        {MESessionPaused, S_OK, 0, false, MESessionPaused},
        {MESessionStopped, S_OK, 0, false, MESessionStopped},
        {MESessionClosed, S_OK, 0, false, 0},
        {MEError, S_OK, 0, false, 0},
        {MEError, E_FAIL, 0, false, 0},
    };
    ForceRebuildSessionToMove(0);  // the documented sequence's answer
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "event " << c.event << " status 0x" << std::hex << c.status);
        g_received.clear();
        const int requestsBefore = session->eventRequests.load();
        EXPECT_EQ(Deliver(c.event, MF_TOPOSTATUS_READY, c.status), S_OK);
        EXPECT_EQ(session->eventRequests.load(), requestsBefore + 1) << "not re-armed";
        EXPECT_EQ(TakeSteps(), c.step ? std::vector<WPARAM>{c.step} : std::vector<WPARAM>{});
        if (c.message == 0) {
            EXPECT_TRUE(g_received.empty());
        } else {
            ASSERT_EQ(g_received.size(), 1u);
            EXPECT_EQ(g_received[0].message, c.message);
            EXPECT_EQ(g_received[0].window, c.toMainWindow ? state->mainWindow : panel);
        }
        if (FAILED(c.status) && c.event == MESessionTopologyStatus) {
            EXPECT_EQ(state->videoDisplayControl, nullptr) << "renderers taken from a failed topology";
        }
    }
    ForceRebuildSessionToMove(-1);
}

// The restart comes at MESessionEnded, or, where a session is rebuilt to move
// (Wine: MESessionEnded may never come), at the end of the presentation.
TEST_F(SessionCallbackTest, EndOfClipShowsThenRestartsThenHides) {
    MakeSink(videoNode, audioNode);
    for (int rebuild : {0, 1}) {
        SCOPED_TRACE(rebuild);
        ForceRebuildSessionToMove(rebuild);
        g_received.clear();
        Deliver(MEEndOfPresentation);
        Deliver(MESessionEnded);
        Deliver(MESessionStarted);
        TakeSteps();
        ASSERT_EQ(g_received.size(), 3u);
        EXPECT_EQ(g_received[0].message, WM_APP_SHOW_POPUP);
        EXPECT_EQ(g_received[1].message, WM_APP_RESTART_VIDEO);
        EXPECT_EQ(g_received[2].message, WM_APP_HIDE_POPUP);
    }
    ForceRebuildSessionToMove(-1);
}

TEST_F(SessionCallbackTest, ReadyTopologyAttachesTheRenderers) {
    MakeSink(videoNode, audioNode);
    display->publishedCell = &state->videoDisplayControl;
    EXPECT_EQ(Deliver(MESessionTopologyStatus, MF_TOPOSTATUS_READY), S_OK);
    EXPECT_EQ(state->videoDisplayControl, display);
    EXPECT_FALSE(display->publishedBeforeConfigured) << "the UI thread could call it unconfigured";
    EXPECT_EQ(state->audioStreamVolume, volume);
    // The renderer presents into the window the sink was handed; the
    // messages still go to the panel.
    EXPECT_EQ(display->window, state->mainWindow);
    EXPECT_EQ(display->aspectMode, static_cast<DWORD>(MFVideoARMode_PreservePicture));
    TakeSteps();
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].message, WM_APP_SESSION_READY);
    EXPECT_EQ(g_received[0].window, panel);
    EXPECT_EQ(session->eventRequests.load(), 1);
}

TEST_F(SessionCallbackTest, RendererThatRefusesItsNodeLookupIsFoundThroughTheSession) {
    videoRenderer->refusal = E_NOTIMPL;  // as Wine's renderer answers
    session->videoDisplay = sessionDisplay;
    MakeSink(videoNode, audioNode);
    Deliver(MESessionTopologyStatus, MF_TOPOSTATUS_READY);
    EXPECT_EQ(state->videoDisplayControl, sessionDisplay);
    EXPECT_EQ(sessionDisplay->window, state->mainWindow);  // the window it was handed
    EXPECT_EQ(sessionDisplay->aspectMode, static_cast<DWORD>(MFVideoARMode_PreservePicture));
}

TEST_F(SessionCallbackTest, FileWithoutVideoGetsNoDisplayControlEvenFromTheSession) {
    session->videoDisplay = sessionDisplay;
    MakeSink(0, audioNode);
    Deliver(MESessionTopologyStatus, MF_TOPOSTATUS_READY);
    EXPECT_EQ(state->videoDisplayControl, nullptr);
    EXPECT_EQ(state->audioStreamVolume, volume);
    TakeSteps();
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].message, WM_APP_SESSION_READY);  // posted all the same
}

TEST_F(SessionCallbackTest, FileWithoutAudioStillGetsItsVideo) {
    MakeSink(videoNode, 0);
    Deliver(MESessionTopologyStatus, MF_TOPOSTATUS_READY);
    EXPECT_EQ(state->videoDisplayControl, display);
    EXPECT_EQ(state->audioStreamVolume, nullptr);
    TakeSteps();
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].message, WM_APP_SESSION_READY);
}

TEST_F(SessionCallbackTest, OtherTopologyStatusesAreOnlyReArmed) {
    MakeSink(videoNode, audioNode);
    for (UINT32 status : {static_cast<UINT32>(MF_TOPOSTATUS_INVALID), static_cast<UINT32>(MF_TOPOSTATUS_STARTED_SOURCE),
                          static_cast<UINT32>(MF_TOPOSTATUS_ENDED)}) {
        Deliver(MESessionTopologyStatus, status);
    }
    EXPECT_EQ(state->videoDisplayControl, nullptr);
    EXPECT_TRUE(g_received.empty());
    EXPECT_EQ(session->eventRequests.load(), 3);
}

TEST_F(SessionCallbackTest, ClosingProgramIsNotDrivenAnyMore) {
    MakeSink(videoNode, audioNode);
    state->quitRequested.store(true);
    Deliver(MEEndOfPresentation);
    Deliver(MESessionEnded);
    Deliver(MESessionStarted);
    Deliver(MESessionTopologyStatus, MF_TOPOSTATUS_READY);
    EXPECT_TRUE(g_received.empty());
    EXPECT_EQ(state->videoDisplayControl, nullptr);
    EXPECT_EQ(session->eventRequests.load(), 4);  // still asked for: the session may still be talking
}

TEST_F(SessionCallbackTest, FailedEventEndsDelivery) {
    MakeSink(videoNode, audioNode);
    session->endEventResult = MF_E_SHUTDOWN;
    EXPECT_EQ(Deliver(MEEndOfPresentation), MF_E_SHUTDOWN);
    EXPECT_EQ(session->eventRequests.load(), 0);
    EXPECT_TRUE(g_received.empty());
}

TEST_F(SessionCallbackTest, ComIdentityAndLifetime) {
    const long sessionRefs = session->references.load();
    MakeSink(videoNode, audioNode);
    EXPECT_EQ(session->references.load(), sessionRefs + 1);  // the sink holds the session
    EXPECT_EQ(sink->QueryInterface(IID_IMFAsyncCallback, nullptr), E_POINTER);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(sink->QueryInterface(IID_IMFMediaSession, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(sink->QueryInterface(IID_IMFAsyncCallback, &out), S_OK);
    EXPECT_EQ(out, static_cast<IMFAsyncCallback*>(sink));
    EXPECT_EQ(sink->Release(), 1u);  // the count rose by one with the query
    EXPECT_EQ(sink->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(sink->AddRef(), 3u);
    EXPECT_EQ(sink->Release(), 2u);
    EXPECT_EQ(sink->Release(), 1u);

    DWORD flags = 7, queue = 7;
    EXPECT_EQ(sink->GetParameters(&flags, &queue), S_OK);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(queue, static_cast<DWORD>(MFASYNC_CALLBACK_QUEUE_STANDARD));
    EXPECT_EQ(sink->GetParameters(nullptr, nullptr), S_OK);

    EXPECT_EQ(sink->Release(), 0u);  // the last reference frees it and lets go of the session
    sink = nullptr;
    EXPECT_EQ(session->references.load(), sessionRefs);
}

}  // namespace
