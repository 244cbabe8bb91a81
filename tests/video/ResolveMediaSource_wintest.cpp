// Making the media source: the resolver works on its own thread while the
// opening thread keeps answering sent messages, and a resolver that never
// answers is given up on after the limit instead of hanging the program.
#include <gtest/gtest.h>

#include <atomic>

#include "app/ComPtr.h"
#include "tests/video/AnsweringWindow.h"
#include "tests/video/FakeSourceResolver.h"
#include "tests/video/FakeUnknown.h"
#include "video/MediaSource.h"
#include "video/OpenVideo.h"

namespace {

ComPtr<IMFByteStream> TempStream() {
    ComPtr<IMFByteStream> stream;
    MFCreateTempFile(MF_ACCESSMODE_READWRITE, MF_OPENMODE_DELETE_IF_EXIST, MF_FILEFLAGS_NONE, stream.Put());
    return stream;
}

struct Answered {
    const char* name;
    HRESULT answer;
    bool withSource;
    HRESULT expected;
};

TEST(ResolveMediaSourceTest, AnswersInTimeArePassedOn) {
    const Answered cases[] = {
        {"a source", S_OK, true, S_OK},
        {"success without an object", S_OK, false, E_FAIL},
    };
    AnsweringWindow window;
    ASSERT_NE(window.hwnd, nullptr);
    ComPtr<IMFByteStream> stream = TempStream();
    ASSERT_TRUE(stream);
    const bool stuckBefore = VideoPipelineStuck();
    for (const Answered& c : cases) {
        SCOPED_TRACE(c.name);
        auto* source = new FakeMediaSource();
        auto* resolver = new FakeSourceResolver();
        resolver->answerAfterMs = 100;
        resolver->answer = c.answer;
        resolver->source = c.withSource ? source : nullptr;
        // The answer comes only after the waiting thread took a sent message.
        resolver->asks = window.hwnd;
        resolver->askMessage = AnsweringWindow::kAsks;
        window.asked = 0;

        IMFMediaSource* made = nullptr;
        const HRESULT hr = ResolveMediaSource(resolver, stream.Get(), L"C:\\clip.mp4", 5000, &made);
        resolver->JoinAnswer();
        EXPECT_EQ(hr, c.expected);
        EXPECT_EQ(window.asked.load(), 1);
        EXPECT_TRUE(resolver->urlHintSeen.load());
        EXPECT_EQ(resolver->cancelCalls.load(), 0);
        if (c.withSource) {
            EXPECT_EQ(made, static_cast<IMFMediaSource*>(source));
            EXPECT_EQ(source->references.load(), 2);  // the test's and the caller's
            EXPECT_EQ(source->shutdownCalls.load(), 0);
        } else {
            EXPECT_EQ(made, nullptr);
        }
        if (made) made->Release();
        EXPECT_EQ(source->references.load(), 1);
        source->Release();
        resolver->Release();
    }
    EXPECT_EQ(VideoPipelineStuck(), stuckBefore);
}

// What the platform's resolver itself answers, asked and waited for directly.
struct DirectAnswer : FakeUnknown<IMFAsyncCallback> {
    IMFSourceResolver* resolver = nullptr;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HRESULT answer = E_PENDING;
    STDMETHODIMP GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(IMFAsyncResult* result) override {
        MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
        ComPtr<IUnknown> object;
        answer = resolver->EndCreateObjectFromByteStream(result, &type, object.Put());
        SetEvent(done);
        return S_OK;
    }
};

TEST(ResolveMediaSourceTest, ThePlatformsRefusalIsPassedOn) {
    // The real resolver on an empty file: its refusal comes back unchanged
    // (Wine's is E_POINTER here, where its synchronous call says E_FAIL).
    ComPtr<IMFSourceResolver> resolver;
    ASSERT_HRESULT_SUCCEEDED(MFCreateSourceResolver(resolver.Put()));
    auto* direct = new DirectAnswer();
    direct->resolver = resolver.Get();
    ComPtr<IUnknown> cookie;
    ASSERT_HRESULT_SUCCEEDED(resolver->BeginCreateObjectFromByteStream(
        TempStream().Get(), L"C:\\clip.mp4", MF_RESOLUTION_MEDIASOURCE, nullptr, cookie.Put(), direct, nullptr));
    ASSERT_EQ(WaitForSingleObject(direct->done, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(FAILED(direct->answer)) << std::hex << direct->answer;
    IMFMediaSource* made = nullptr;
    EXPECT_EQ(ResolveMediaSource(resolver.Get(), TempStream().Get(), L"C:\\clip.mp4", 5000, &made), direct->answer);
    EXPECT_EQ(made, nullptr);
    CloseHandle(direct->done);
    direct->Release();
}

TEST(ResolveMediaSourceTest, RefusesMissingArguments) {
    auto* resolver = new FakeSourceResolver();
    ComPtr<IMFByteStream> stream = TempStream();
    IMFMediaSource* made = reinterpret_cast<IMFMediaSource*>(1);
    EXPECT_EQ(ResolveMediaSource(resolver, nullptr, L"x.mp4", 100, &made), E_INVALIDARG);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(ResolveMediaSource(nullptr, stream.Get(), L"x.mp4", 100, &made), E_INVALIDARG);
    EXPECT_EQ(ResolveMediaSource(resolver, stream.Get(), L"x.mp4", 100, nullptr), E_POINTER);
    resolver->Release();
}

// Last in this file: a resolution given up on marks the pipeline stuck for the
// rest of the run.
TEST(ResolveMediaSourceTest, ResolverThatNeverAnswersIsGivenUpOnAndItsLateSourceShutDown) {
    ComPtr<IMFByteStream> stream = TempStream();
    ASSERT_TRUE(stream);
    auto* source = new FakeMediaSource();
    auto* resolver = new FakeSourceResolver();
    resolver->answerAfterMs = -1;
    resolver->source = source;

    IMFMediaSource* made = nullptr;
    const ULONGLONG started = GetTickCount64();
    const HRESULT hr = ResolveMediaSource(resolver, stream.Get(), L"C:\\clip.mp4", 300, &made);
    const ULONGLONG waited = GetTickCount64() - started;
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    EXPECT_EQ(made, nullptr);
    EXPECT_GE(waited, 290u);
    EXPECT_LT(waited, 3000u);
    EXPECT_EQ(resolver->cancelCalls.load(), 1);
    EXPECT_TRUE(resolver->cancelledTheCookie.load());
    EXPECT_TRUE(VideoPipelineStuck());

    // The answer comes after all: nobody takes the source, so it is shut down
    // and released at once.
    resolver->Answer();
    EXPECT_EQ(source->shutdownCalls.load(), 1);
    EXPECT_EQ(source->references.load(), 1);
    source->Release();
    resolver->Release();
}

}  // namespace
