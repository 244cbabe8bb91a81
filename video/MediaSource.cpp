#include "video/MediaSource.h"

#include <shlwapi.h>

#include <atomic>
#include <new>

#include "app/ComPtr.h"
#include "app/HResult.h"

#if defined(__MINGW32__)
// In mfplat (Windows 7 on) and the Windows SDK's mfidl.h; MinGW's headers lack it.
STDAPI MFCreateMFByteStreamOnStream(IStream* stream, IMFByteStream** byteStream);
#endif

namespace {

// Set once a shutdown or a resolution gave up waiting: by the UI thread, or
// by the poster's worker (its own resolution), read by the UI thread.
std::atomic<bool> g_pipelineStuck{false};

}  // namespace

// The pipeline may need this thread while it works or winds down (under Wine
// the renderer asks the thread of the window it presents into for changes to
// that window), while posted messages (keys, clicks) must wait for the message
// loop.
bool HandleSentMessagesUntil(HANDLE signal, ULONGLONG ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    const DWORD handles = signal ? 1 : 0;
    for (;;) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return signal && WaitForSingleObject(signal, 0) == WAIT_OBJECT_0;
        const DWORD step = static_cast<DWORD>(end - now);
        // With no handle, WAIT_OBJECT_0 means a sent message arrived.
        if (MsgWaitForMultipleObjects(handles, &signal, FALSE, step, QS_SENDMESSAGE) == WAIT_OBJECT_0 && signal)
            return true;
    }
}

namespace {

// Receives the one answer of an asynchronous source resolution. Media
// Foundation's work-queue thread calls Invoke; the UI thread waits on done().
// Whoever comes second of the two - the answer, or the waiter giving up -
// owns the result: a source that arrives after the waiter left is shut down
// here, so its threads and its hold on the file do not linger.
class ResolutionCallback final : public IMFAsyncCallback {
public:
    explicit ResolutionCallback(IMFSourceResolver* resolver)
        : resolver_(resolver), done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        resolver_->AddRef();
    }
    ResolutionCallback(const ResolutionCallback&) = delete;
    ResolutionCallback& operator=(const ResolutionCallback&) = delete;

    HANDLE done() const { return done_; }

    // Waiter (UI thread), once done() is signalled or the wait ran out: true
    // when the answer is here and belongs to the waiter.
    bool TakeAnswer() { return answered_.exchange(true); }
    HRESULT result() const { return result_; }
    IUnknown* object() const { return object_.Get(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMFAsyncCallback) {
            *object = static_cast<IMFAsyncCallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(IMFAsyncResult* asyncResult) override {
        MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
        result_ = resolver_->EndCreateObjectFromByteStream(asyncResult, &type, object_.Put());
        if (SUCCEEDED(result_) && !object_) result_ = E_FAIL;
        if (answered_.exchange(true)) {
            // Nobody waits for it any more, nor for word of its shutdown.
            ComPtr<IMFMediaSource> late;
            if (object_ && SUCCEEDED(object_->QueryInterface(IID_IMFMediaSource, late.PutVoid())) && late)
                (void)late->Shutdown();
            object_.Reset();
        }
        SetEvent(done_);
        return S_OK;
    }

private:
    ~ResolutionCallback() {
        if (done_) CloseHandle(done_);
        resolver_->Release();
    }

    LONG references_ = 1;
    IMFSourceResolver* resolver_;  // one reference, held until the callback goes
    HANDLE done_;
    std::atomic<bool> answered_{false};
    HRESULT result_ = E_PENDING;   // written by Invoke before done_ is set
    ComPtr<IUnknown> object_;
};

}  // namespace

HRESULT ResolveMediaSource(IMFSourceResolver* resolver, IMFByteStream* stream, const wchar_t* urlHint,
                           ULONGLONG limitMs, IMFMediaSource** source) {
    if (!source) return E_POINTER;
    *source = nullptr;
    if (!resolver || !stream) return E_INVALIDARG;
    ComPtr<ResolutionCallback> callback = ComPtr<ResolutionCallback>::Attach(new (std::nothrow)
                                                                                ResolutionCallback(resolver));
    if (!callback || !callback->done()) return E_OUTOFMEMORY;
    ComPtr<IUnknown> cancelCookie;
    RETURN_IF_FAILED(resolver->BeginCreateObjectFromByteStream(stream, urlHint, MF_RESOLUTION_MEDIASOURCE, nullptr,
                                                               cancelCookie.Put(), callback.Get(), nullptr));
    HandleSentMessagesUntil(callback->done(), limitMs);
    if (!callback->TakeAnswer()) {
        // Its thread may never come back, and Media Foundation cannot be
        // shut down under it.
        if (cancelCookie) resolver->CancelObjectCreation(cancelCookie.Get());
        g_pipelineStuck = true;
        return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
    // The answer came first; Invoke sets done() right after handing it over.
    WaitForSingleObject(callback->done(), INFINITE);
    RETURN_IF_FAILED(callback->result());
    return callback->object()->QueryInterface(IID_IMFMediaSource, reinterpret_cast<void**>(source));
}

namespace {

// The file as a read-only byte stream that leaves other programs free to read
// and write it. Wine's MFCreateFile does not share writing even when asked, so
// a file another program is writing gives a sharing violation there; the same
// stream is then made over a shell file stream opened with full sharing.
HRESULT OpenReadOnlyByteStream(const wchar_t* path, IMFByteStream** stream) {
    HRESULT hr = MFCreateFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST, MF_FILEFLAGS_ALLOW_WRITE_SHARING,
                              path, stream);
    if (hr != HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)) return hr;
    ComPtr<IStream> file;
    RETURN_IF_FAILED(SHCreateStreamOnFileEx(path, STGM_READ | STGM_SHARE_DENY_NONE, FILE_ATTRIBUTE_NORMAL, FALSE,
                                            nullptr, file.Put()));
    return MFCreateMFByteStreamOnStream(file.Get(), stream);
}

}  // namespace

HRESULT CreateReadOnlyMediaSource(const wchar_t* diskPath, const wchar_t* urlHint, IMFMediaSource** source,
                                  ULONGLONG limitMs) {
    if (!source) return E_POINTER;
    *source = nullptr;
    if (!diskPath || !diskPath[0] || !urlHint || !urlHint[0]) return E_INVALIDARG;
    ComPtr<IMFByteStream> stream;
    RETURN_IF_FAILED(OpenReadOnlyByteStream(diskPath, stream.Put()));
    ComPtr<IMFSourceResolver> resolver;
    RETURN_IF_FAILED(MFCreateSourceResolver(resolver.Put()));
    return ResolveMediaSource(resolver.Get(), stream.Get(), urlHint, limitMs, source);
}

bool VideoPipelineStuck() { return g_pipelineStuck.load(); }

void MarkVideoPipelineStuck() { g_pipelineStuck.store(true); }
