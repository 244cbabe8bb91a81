#pragma once
// A source resolver and a media source of our own for Windows-side tests.
// The resolver answers BeginCreateObjectFromByteStream from a thread of its
// own when the test says so (Answer), or never; what it answers is set by the
// test. The source does no media work and counts its Shutdown calls.
//
//   auto* resolver = new FakeSourceResolver();   // one reference, the caller's
//   resolver->answerAfterMs = 50;                // or -1: only when Answer() is called
//   ResolveMediaSource(resolver, stream, L"x.mp4", 1000, &source);
//   resolver->Release();
#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "tests/video/FakeUnknown.h"

class FakeMediaSource : public FakeUnknown<IMFMediaSource, IMFMediaEventGenerator> {
public:
    std::atomic<int> shutdownCalls{0};

    STDMETHODIMP GetEvent(DWORD, IMFMediaEvent**) override { return MF_E_NO_EVENTS_AVAILABLE; }
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback*, IUnknown*) override { return E_NOTIMPL; }
    STDMETHODIMP EndGetEvent(IMFAsyncResult*, IMFMediaEvent**) override { return E_NOTIMPL; }
    STDMETHODIMP QueueEvent(MediaEventType, REFGUID, HRESULT, const PROPVARIANT*) override { return S_OK; }
    STDMETHODIMP GetCharacteristics(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP CreatePresentationDescriptor(IMFPresentationDescriptor**) override { return E_NOTIMPL; }
    STDMETHODIMP Start(IMFPresentationDescriptor*, const GUID*, const PROPVARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return E_NOTIMPL; }
    STDMETHODIMP Pause() override { return E_NOTIMPL; }
    STDMETHODIMP Shutdown() override {
        ++shutdownCalls;
        return S_OK;
    }

private:
    virtual ~FakeMediaSource() = default;
};

class FakeSourceResolver : public FakeUnknown<IMFSourceResolver> {
public:
    // Milliseconds from Begin to the answer; -1: the answer waits for Answer().
    int answerAfterMs = 0;
    // When set, the answering thread first sends `askMessage` to this window
    // and waits for the reply (a resolver that needs the waiting thread).
    HWND asks = nullptr;
    UINT askMessage = WM_NULL;
    // What End hands out: `answer`, and on success a new reference to `source`.
    HRESULT answer = S_OK;
    FakeMediaSource* source = nullptr;  // not owned
    std::atomic<int> cancelCalls{0};
    std::atomic<bool> cancelledTheCookie{false};
    std::atomic<bool> urlHintSeen{false};

    // Delivers the pending answer now (from a thread of its own) and waits
    // until the callback has run.
    void Answer() {
        std::thread([this] { Deliver(); }).join();
    }
    // Waits for an answer started by Begin.
    void JoinAnswer() {
        if (answering_.joinable()) answering_.join();
    }

    STDMETHODIMP CreateObjectFromURL(LPCWSTR, DWORD, IPropertyStore*, MF_OBJECT_TYPE*, IUnknown**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP CreateObjectFromByteStream(IMFByteStream*, LPCWSTR, DWORD, IPropertyStore*, MF_OBJECT_TYPE*,
                                            IUnknown**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP BeginCreateObjectFromURL(LPCWSTR, DWORD, IPropertyStore*, IUnknown**, IMFAsyncCallback*,
                                          IUnknown*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP EndCreateObjectFromURL(IMFAsyncResult*, MF_OBJECT_TYPE*, IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP BeginCreateObjectFromByteStream(IMFByteStream* stream, LPCWSTR url, DWORD flags, IPropertyStore*,
                                                 IUnknown** cancelCookie, IMFAsyncCallback* callback,
                                                 IUnknown* state) override {
        if (!stream || !callback || !(flags & MF_RESOLUTION_MEDIASOURCE)) return E_INVALIDARG;
        urlHintSeen = url && url[0];
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (pending_) return E_UNEXPECTED;  // one at a time
            const HRESULT hr = MFCreateAsyncResult(nullptr, callback, state, &pending_);
            if (FAILED(hr)) return hr;
            callback_ = callback;
            callback_->AddRef();
            if (cancelCookie) {
                *cancelCookie = pending_;
                pending_->AddRef();
            }
        }
        if (answerAfterMs >= 0) {
            const int delay = answerAfterMs;
            answering_ = std::thread([this, delay] {
                Sleep(static_cast<DWORD>(delay));
                Deliver();
            });
        }
        return S_OK;
    }
    STDMETHODIMP EndCreateObjectFromByteStream(IMFAsyncResult*, MF_OBJECT_TYPE* type, IUnknown** object) override {
        if (!type || !object) return E_POINTER;
        *object = nullptr;
        *type = MF_OBJECT_INVALID;
        if (FAILED(answer)) return answer;
        if (source) {
            source->AddRef();
            *object = static_cast<IMFMediaSource*>(source);
            *type = MF_OBJECT_MEDIASOURCE;
        }
        return answer;
    }
    STDMETHODIMP CancelObjectCreation(IUnknown* cookie) override {
        ++cancelCalls;
        std::lock_guard<std::mutex> lock(mutex_);
        cancelledTheCookie = cookie && cookie == pending_;
        return S_OK;
    }

private:
    virtual ~FakeSourceResolver() { JoinAnswer(); }

    void Deliver() {
        IMFAsyncResult* result = nullptr;
        IMFAsyncCallback* callback = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            result = pending_;
            callback = callback_;
            pending_ = nullptr;
            callback_ = nullptr;
        }
        if (!result) return;
        // Bounded, so a waiter that never answers fails the test instead of hanging it.
        if (asks) SendMessageTimeoutW(asks, askMessage, 0, 0, SMTO_NORMAL, 8000, nullptr);
        callback->Invoke(result);
        callback->Release();
        result->Release();
    }

    std::mutex mutex_;
    // One reference each while an answer is due.
    IMFAsyncResult* pending_ = nullptr;
    IMFAsyncCallback* callback_ = nullptr;
    std::thread answering_;
};
