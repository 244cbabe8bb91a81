#pragma once
// A media session of our own for Windows-side tests: implements IMFMediaSession,
// does no media work, and records every Start, Pause, Stop and GetClock with
// its arguments and thread. GetClock hands out one FakeClock whose time the
// test sets; a test can also queue the events it hands out and the video
// display control it answers as a service. Self-contained (Windows and Media Foundation headers only), so
// any test can use it; safe to call from the multimedia timer thread while
// the test thread reads the records.
//
//   FakeMediaSession* session = new FakeMediaSession();  // one reference, the caller's
//   state.mediaSession = session;
//   session->clock->time = 5 * 10'000'000;
//   ... PlayVideo(state) ...
//   EXPECT_EQ(session->Count(FakeSessionCall::Start), 1);
//   session->Release();
#include <windows.h>
#include <evr.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "app/PlayerState.h"
#include "tests/video/FakeUnknown.h"

enum class FakeSessionCall { Start, Pause, Stop, Close, Shutdown, GetClock, SetTopology, ClearTopologies };

struct FakeSessionRecord {
    FakeSessionCall kind;
    GUID timeFormat = GUID_NULL;  // Start only
    bool hadTimeFormat = false;   // Start was given a time-format pointer
    VARTYPE vt = VT_EMPTY;        // Start only: the start position's type
    LONGLONG position = 0;        // Start only: the VT_I8 value
    DWORD threadId = 0;
};

// The presentation clock the fake session hands out. GetCorrelatedTime reports
// `time` and returns `correlatedResult`; `references` counts the live
// references, so a test can see that every fetched clock was released again.
// With `correlatedGate` set, the next GetCorrelatedTime takes the gate,
// signals `reading` and waits for it (one clock reading that takes its time;
// later readings pass); neither handle is owned.
class FakeClock : public FakeUnknown<IMFClock> {
public:
    std::atomic<LONGLONG> time{0};
    std::atomic<HRESULT> correlatedResult{S_OK};
    std::atomic<int> correlatedCalls{0};
    std::atomic<HANDLE> correlatedGate{nullptr};
    std::atomic<HANDLE> reading{nullptr};

    STDMETHODIMP GetClockCharacteristics(DWORD* characteristics) override {
        if (!characteristics) return E_POINTER;
        *characteristics = MFCLOCK_CHARACTERISTICS_FLAG_FREQUENCY_10MHZ;
        return S_OK;
    }
    STDMETHODIMP GetCorrelatedTime(DWORD, LONGLONG* clockTime, MFTIME* systemTime) override {
        ++correlatedCalls;
        if (HANDLE gate = correlatedGate.exchange(nullptr)) {
            if (HANDLE signal = reading.load()) SetEvent(signal);
            WaitForSingleObject(gate, INFINITE);
        }
        const HRESULT hr = correlatedResult.load();
        if (FAILED(hr)) return hr;
        if (clockTime) *clockTime = time.load();
        if (systemTime) *systemTime = static_cast<MFTIME>(GetTickCount64()) * 10'000;
        return hr;
    }
    STDMETHODIMP GetContinuityKey(DWORD* key) override {
        if (!key) return E_POINTER;
        *key = 0;
        return S_OK;
    }
    STDMETHODIMP GetState(DWORD, MFCLOCK_STATE* state) override {
        if (!state) return E_POINTER;
        *state = MFCLOCK_STATE_RUNNING;
        return S_OK;
    }
    STDMETHODIMP GetProperties(MFCLOCK_PROPERTIES*) override { return E_NOTIMPL; }

private:
    virtual ~FakeClock() = default;
};

class FakeMediaSession : public FakeUnknown<IMFMediaSession, IMFMediaEventGenerator>, public IMFGetService {
public:
    // Owned: one reference held by the session until it is destroyed.
    FakeClock* const clock = new FakeClock();
    // What GetClock returns; on failure it hands out no clock.
    std::atomic<HRESULT> getClockResult{S_OK};
    // What Start and Pause return (recorded either way).
    std::atomic<HRESULT> startResult{S_OK};
    std::atomic<HRESULT> pauseResult{S_OK};
    // When set, Shutdown waits for this event first (a pipeline stuck in its
    // own threads). Not owned.
    std::atomic<HANDLE> shutdownGate{nullptr};
    // When set, Pause sends `pauseMessage` to this window first and waits for
    // the answer (a pipeline that needs the window's thread).
    std::atomic<HWND> pauseSendsTo{nullptr};
    // When set, each Start, Pause and Stop it takes is confirmed as a session
    // confirms it: WM_APP_SESSION_STEP posted to this window with the event
    // and `confirmNumber`, to be handled once the test pumps its messages.
    std::atomic<HWND> confirmTo{nullptr};
    std::atomic<uint32_t> confirmNumber{0};
    UINT pauseMessage = WM_NULL;
    // Events, for a test that plays the work queue itself (one thread):
    // BeginGetEvent counts `eventRequests`; EndGetEvent fails with
    // `endEventResult`, or hands out `nextEvent` (an owned reference, given
    // away), or has no event to give.
    std::atomic<int> eventRequests{0};
    IMFMediaEvent* nextEvent = nullptr;
    HRESULT endEventResult = S_OK;
    // The session's own MR_VIDEO_RENDER_SERVICE, when set (not owned).
    IMFVideoDisplayControl* videoDisplay = nullptr;

    // Two IUnknown bases (the session's and IMFGetService's) share one count.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out && iid == __uuidof(IMFGetService)) {
            *out = static_cast<IMFGetService*>(this);
            AddRef();
            return S_OK;
        }
        return FakeUnknown::QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return FakeUnknown::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return FakeUnknown::Release(); }
    STDMETHODIMP GetService(REFGUID service, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (service == MR_VIDEO_RENDER_SERVICE && videoDisplay) return videoDisplay->QueryInterface(iid, out);
        return MF_E_UNSUPPORTED_SERVICE;
    }

    std::vector<FakeSessionRecord> Records() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_;
    }
    int Count(FakeSessionCall kind) const {
        std::lock_guard<std::mutex> lock(mutex_);
        int n = 0;
        for (const FakeSessionRecord& r : records_) n += r.kind == kind;
        return n;
    }
    // The calls of the given kinds, in order (all kinds when none is given).
    std::vector<FakeSessionRecord> Calls(std::initializer_list<FakeSessionCall> kinds = {}) const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<FakeSessionRecord> out;
        for (const FakeSessionRecord& r : records_) {
            bool wanted = kinds.size() == 0;
            for (FakeSessionCall k : kinds) wanted = wanted || r.kind == k;
            if (wanted) out.push_back(r);
        }
        return out;
    }
    void ClearRecords() {
        std::lock_guard<std::mutex> lock(mutex_);
        records_.clear();
    }

    // IMFMediaEventGenerator
    STDMETHODIMP GetEvent(DWORD, IMFMediaEvent** event) override {
        if (event) *event = nullptr;
        return MF_E_NO_EVENTS_AVAILABLE;
    }
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback*, IUnknown*) override {
        ++eventRequests;
        return S_OK;
    }
    STDMETHODIMP EndGetEvent(IMFAsyncResult*, IMFMediaEvent** event) override {
        if (!event) return E_POINTER;
        *event = nullptr;
        if (FAILED(endEventResult)) return endEventResult;
        if (!nextEvent) return MF_E_NO_EVENTS_AVAILABLE;
        *event = nextEvent;
        nextEvent = nullptr;
        return S_OK;
    }
    STDMETHODIMP QueueEvent(MediaEventType, REFGUID, HRESULT, const PROPVARIANT*) override { return S_OK; }

    // IMFMediaSession
    STDMETHODIMP SetTopology(DWORD, IMFTopology*) override { return Record(FakeSessionCall::SetTopology); }
    STDMETHODIMP ClearTopologies() override { return Record(FakeSessionCall::ClearTopologies); }
    STDMETHODIMP Start(const GUID* timeFormat, const PROPVARIANT* startPosition) override {
        FakeSessionRecord r{FakeSessionCall::Start};
        r.hadTimeFormat = timeFormat != nullptr;
        if (timeFormat) r.timeFormat = *timeFormat;
        if (startPosition) {
            r.vt = startPosition->vt;
            if (startPosition->vt == VT_I8) r.position = startPosition->hVal.QuadPart;
        }
        Add(r);
        return Confirm(startResult.load(), MESessionStarted);
    }
    STDMETHODIMP Pause() override {
        if (HWND window = pauseSendsTo.load()) SendMessageW(window, pauseMessage, 0, 0);
        Record(FakeSessionCall::Pause);
        return Confirm(pauseResult.load(), MESessionPaused);
    }
    STDMETHODIMP Stop() override { return Confirm(Record(FakeSessionCall::Stop), MESessionStopped); }
    STDMETHODIMP Close() override { return Record(FakeSessionCall::Close); }
    STDMETHODIMP Shutdown() override {
        if (HANDLE gate = shutdownGate.load()) WaitForSingleObject(gate, INFINITE);
        return Record(FakeSessionCall::Shutdown);
    }
    STDMETHODIMP GetClock(IMFClock** out) override {
        Record(FakeSessionCall::GetClock);
        if (!out) return E_POINTER;
        const HRESULT hr = getClockResult.load();
        if (FAILED(hr)) {
            *out = nullptr;
            return hr;
        }
        clock->AddRef();
        *out = clock;
        return S_OK;
    }
    STDMETHODIMP GetSessionCapabilities(DWORD* capabilities) override {
        if (!capabilities) return E_POINTER;
        *capabilities = MFSESSIONCAP_START | MFSESSIONCAP_SEEK | MFSESSIONCAP_PAUSE;
        return S_OK;
    }
    STDMETHODIMP GetFullTopology(DWORD, TOPOID, IMFTopology** topology) override {
        if (topology) *topology = nullptr;
        return MF_E_INVALIDREQUEST;
    }

private:
    virtual ~FakeMediaSession() {
        clock->Release();
        if (nextEvent) nextEvent->Release();
    }

    HRESULT Record(FakeSessionCall kind) {
        Add(FakeSessionRecord{kind});
        return S_OK;
    }
    void Add(FakeSessionRecord r) {
        r.threadId = GetCurrentThreadId();
        std::lock_guard<std::mutex> lock(mutex_);
        records_.push_back(r);
    }

    mutable std::mutex mutex_;
    std::vector<FakeSessionRecord> records_;

    HRESULT Confirm(HRESULT result, MediaEventType event) {
        if (HWND window = confirmTo.load(); window && SUCCEEDED(result))
            PostMessageW(window, WM_APP_SESSION_STEP, event, static_cast<LPARAM>(confirmNumber.load()));
        return result;
    }
};
