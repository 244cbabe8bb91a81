// The prefetch thread on real files, the release of images that left the
// window, and the panel's copy of the picture on screen.
#include <windows.h>
#include <process.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ComPtr.h"
#include "app/Startup.h"
#include "image/FolderListing.h"
#include "image/Prefetch.h"
#include "image/PrefetchOrder.h"
#include "image/StillImage.h"
#include "tests/image/ImageTestFiles.h"
#include "ui/MainWindow.h"
#include "ui/VideoPanel.h"

namespace {

// Polls `done` for up to `ms` milliseconds.
template <typename Done>
bool WaitFor(Done done, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!done()) {
        if (GetTickCount64() > end) return false;
        Sleep(20);
    }
    return true;
}

int Filled(const PlayerState& state, std::vector<int>* which = nullptr) {
    int n = 0;
    for (int i = 0; i < state.imageCount; ++i) {
        if (state.imageBitmaps[i].load(std::memory_order_acquire)) {
            ++n;
            if (which) which->push_back(i);
        }
    }
    return n;
}

UINT WidthOf(IWICBitmap* bitmap) {
    UINT width = 0, height = 0;
    if (bitmap) bitmap->GetSize(&width, &height);
    return width;
}

// A folder of 40 small pictures, p00.png to p39.png, one of them damaged.
class PrefetchFolder : public ::testing::Test {
protected:
    static constexpr int kCount = 40;
    static constexpr int kDamaged = 8;
    void SetUp() override {
        for (int i = 0; i < kCount; ++i) {
            wchar_t name[16];
            swprintf_s(name, L"p%02d.png", i);
            if (i == kDamaged) folder.File(name, "damaged");
            else folder.Copy(SampleImage(L"quad.png"), name);
        }
        state = CreatePlayerState();
        wcscpy_s(state->filePath, folder.Path().c_str());
        wcscpy_s(state->startFileName, L"p05.png");
        ASSERT_TRUE(ListFolderImages(*state));
        ASSERT_EQ(state->currentIndex.load(), 5);
    }
    void TearDown() override {
        if (state) {
            state->quitRequested.store(true);
            WaitFor([&] { return state->prefetchThread.load() == nullptr; }, 3000);
        }
    }
    bool WindowFilled(int current) {
        for (int i = 0; i < kCount; ++i) {
            if (i == kDamaged || !InPrefetchWindow(i, current, kCount)) continue;
            if (!state->imageBitmaps[i].load(std::memory_order_acquire)) return false;
        }
        return true;
    }
    void Start() {
        const uintptr_t thread = _beginthreadex(nullptr, 0, PrefetchThreadProc, state, 0, nullptr);
        ASSERT_NE(thread, 0u);
        state->prefetchThread.store(reinterpret_cast<HANDLE>(thread));
    }
    TempFolder folder;
    PlayerState* state = nullptr;
};

TEST_F(PrefetchFolder, KeepsTheWindowDecodedAndFollowsTheIndex) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return WindowFilled(5); }, 10000));
    // Five ahead of 10 .. behind: 35..39, 0..15; the damaged one stays empty.
    std::vector<int> which;
    EXPECT_EQ(Filled(*state, &which), 20);
    for (int i : which) EXPECT_TRUE(InPrefetchWindow(i, 5, kCount)) << i;
    EXPECT_EQ(state->imageBitmaps[kDamaged].load(), nullptr);

    // Stepping on: the next pass works around the new index.
    state->currentIndex.store(20);
    ASSERT_TRUE(WaitFor([&] { return WindowFilled(20); }, 10000));
    EXPECT_EQ(state->imageBitmaps[kDamaged].load(), nullptr);

    // A display change: the slots kept for the old size are made again for
    // the new one, and nothing of the old size is published after it.
    SetRingPanelSize(*state, 32, 18);
    ReleaseImagesOfAnotherSize(*state);
    ASSERT_TRUE(WaitFor([&] { return WindowFilled(20); }, 10000));
    for (int i = 0; i < kCount; ++i)
        if (IWICBitmap* b = state->imageBitmaps[i].load()) {
            EXPECT_EQ(WidthOf(b), 24u) << i;
        }

    // The UI thread empties what is outside the window around 20 ...
    ReleaseImagesOutsideWindow(*state);
    which.clear();
    Filled(*state, &which);
    EXPECT_EQ(which.size(), 21u);
    for (int i : which) EXPECT_TRUE(InPrefetchWindow(i, 20, kCount)) << i;

    // ... and the thread ends after its pause once asked to, clearing its handle.
    state->quitRequested.store(true);
    EXPECT_TRUE(WaitFor([&] { return state->prefetchThread.load() == nullptr; }, 2000));
}

TEST_F(PrefetchFolder, WhileStepsComeQuicklyOnlyThePictureOnScreenIsDecoded) {
    // Steps still coming (the last move stamped an hour ahead): the passes
    // wait for the index to settle, the landing decoder does not.
    state->ringIndexMovedMs.store(GetTickCount64() + 3600 * 1000);
    Start();
    for (int current : {5, 20, 21}) {
        state->currentIndex.store(current);
        WakePrefetch(*state);
        ASSERT_TRUE(WaitFor([&] { return state->imageBitmaps[current].load() != nullptr; }, 5000)) << current;
    }
    std::vector<int> which;
    Filled(*state, &which);
    EXPECT_EQ(which, (std::vector<int>{5, 20, 21}));
}

TEST_F(PrefetchFolder, ThePictureOnScreenIsRepaintedWhenItsSlotFills) {
    // A stand-in for the panel: filling the slot on screen invalidates it,
    // filling any other slot does not.
    const HWND panel = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 64, 36, nullptr, nullptr,
                                       nullptr, nullptr);
    ASSERT_NE(panel, nullptr);
    state->panelWindow.store(panel);
    // A picture stepped past is published if it is still in the window,
    // never if it has left it.
    struct Case {
        int current, index;
        bool filled, repainted;
    };
    for (const Case c : {Case{5, 6, true, false}, Case{5, 5, true, true}, Case{5, 5, true, false} /* already */,
                         Case{25, 7, false, false}, Case{25, 15, true, false}}) {
        state->currentIndex.store(c.current);
        ValidateRect(panel, nullptr);
        FillImageSlot(*state, c.index);
        EXPECT_EQ(state->imageBitmaps[c.index].load() != nullptr, c.filled) << c.index;
        EXPECT_EQ(GetUpdateRect(panel, nullptr, FALSE) != FALSE, c.repainted) << c.index;
    }
    DestroyWindow(panel);
}

TEST_F(PrefetchFolder, ADisplayChangeHasTheRingDecodedAgainForTheNewSize) {
    // 64 x 48 pictures: on a 32 x 18 panel kept at 24 x 18; on a larger one at their own size.
    SetRingPanelSize(*state, 32, 18);
    FillImageSlot(*state, 5);
    FillImageSlot(*state, 6);
    EXPECT_EQ(WidthOf(state->imageBitmaps[5].load()), 24u);

    ReleaseImagesOfAnotherSize(*state);  // the same size: nothing to do
    EXPECT_EQ(Filled(*state), 2);

    SetRingPanelSize(*state, 1280, 720);
    ReleaseImagesOfAnotherSize(*state);
    EXPECT_EQ(Filled(*state), 0);
    FillImageSlot(*state, 5);
    EXPECT_EQ(WidthOf(state->imageBitmaps[5].load()), 64u);
    ReleaseImagesOfAnotherSize(*state);
    EXPECT_EQ(Filled(*state), 1);
}

// A gate that answers yes `openFor` times, counting the questions.
struct GateCounter {
    int asked = 0, openFor = 0;
    DecodeGate Gate() {
        return DecodeGate{[](void* p) {
                              GateCounter& n = *static_cast<GateCounter*>(p);
                              return n.asked++ < n.openFor;
                          },
                          this};
    }
};

TEST(DecodeGate, OurReductionStopsBeforeTheStripWhereTheGateCloses) {
    // 8 x 200 pixels: four strips.
    std::vector<uint32_t> pixels(8 * 200, 0xFF808080u);
    ComPtr<IWICBitmap> source;
    ASSERT_HRESULT_SUCCEEDED(g_wicFactory->CreateBitmapFromMemory(
        8, 200, GUID_WICPixelFormat32bppPBGRA, 32, 32 * 200, reinterpret_cast<BYTE*>(pixels.data()), source.Put()));
    struct Case {
        int openFor;  // strips let through
        bool reduced;
        int asked;
    };
    for (const Case c : {Case{99, true, 4}, Case{0, false, 1}, Case{2, false, 3}}) {
        GateCounter counter{0, c.openFor};
        ComPtr<IWICBitmap> reduced;
        EXPECT_EQ(ReduceIntoNewBitmap(g_wicFactory, source.Get(), 4, 100, 0, reduced.Put(), counter.Gate()),
                  c.reduced);
        EXPECT_EQ(counter.asked, c.asked) << c.openFor;
    }
}

// A noisy width x height JPEG at `path`, made by the platform's encoder:
// compressed data long enough to be read in many pieces.
bool WriteNoisyJpeg(const std::wstring& path, UINT width, UINT height) {
    std::vector<BYTE> pixels(static_cast<size_t>(width) * height * 3);
    uint32_t seed = 12345;
    for (BYTE& b : pixels) b = static_cast<BYTE>((seed = seed * 1664525u + 1013904223u) >> 24);
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    return SUCCEEDED(g_wicFactory->CreateStream(stream.Put())) &&
           SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
           SUCCEEDED(g_wicFactory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, encoder.Put())) &&
           SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(frame.Put(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
           SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
           IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) &&
           SUCCEEDED(frame->WritePixels(height, width * 3, static_cast<UINT>(pixels.size()), pixels.data())) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

// The platform's codec decodes a JPEG in one call, which no strip of ours
// can cut short; it reads the file as it goes, and those reads stop it.
TEST(DecodeGate, TheCodecStopsReadingTheFileOnceTheGateCloses) {
    TempFolder folder;
    const std::wstring path = folder.Child(L"noise.jpg");
    ASSERT_TRUE(WriteNoisyJpeg(path, 1600, 1200));
    struct Case {
        int openFor;  // questions answered yes
        bool decoded;
    };
    for (const Case c : {Case{1 << 30, true}, Case{3, false}, Case{60, false}}) {
        GateCounter counter{0, c.openFor};
        IWICBitmap* out = nullptr;
        EXPECT_EQ(DecodeStillImage(path.c_str(), 800, 600, &out, nullptr, counter.Gate()), c.decoded) << c.openFor;
        EXPECT_EQ(out != nullptr, c.decoded);
        if (out) out->Release();
        // Read in many pieces (about a thousand); once closed, asked a few
        // times more (the codec's own retries, our next strip), not to the end.
        EXPECT_GT(counter.asked, c.decoded ? 500 : c.openFor) << c.openFor;
        EXPECT_LE(counter.asked, c.decoded ? counter.asked : c.openFor + 40) << c.openFor;
    }
    // Closed at each read in turn, in a PNG with text chunks (whose metadata
    // readers Wine makes on demand and which need not survive a failed read):
    // never a crash, and a picture only when no read was refused.
    bool whole = false;
    for (int openFor = 0; openFor < 100 && !whole; ++openFor) {
        GateCounter counter{0, openFor};
        IWICBitmap* out = nullptr;
        whole = DecodeStillImage(SampleImage(L"deep.png").c_str(), 200, 150, &out, nullptr, counter.Gate());
        EXPECT_EQ(out != nullptr, whole) << openFor;
        if (out) out->Release();
        EXPECT_LE(whole ? counter.asked : 0, openFor);
    }
    EXPECT_TRUE(whole);
}

TEST_F(PrefetchFolder, EndsAtOnceWhenAskedBeforeTheFirstPass) {
    state->quitRequested.store(true);
    Start();
    EXPECT_TRUE(WaitFor([&] { return state->prefetchThread.load() == nullptr; }, 2000));
    EXPECT_EQ(Filled(*state), 0);
}

// ---- the panel: the picture on screen is uploaded once, kept safely ----

class PanelCache : public ::testing::Test {
protected:
    static constexpr int kCount = 30;
    void SetUp() override {
        state = CreatePlayerState();
        CreateAppWindows(*state);
        state->viewMode = ViewMode::ImageFolder;
        state->imageCount = kCount;
        state->imageBitmaps.reset(new ImageSlot[kCount]);
        for (int i = 0; i < kCount; ++i) state->imageBitmaps[i].store(nullptr);
        panel = state->videoPanel;
    }
    void TearDown() override {
        for (int i = 0; i < kCount; ++i)
            if (IWICBitmap* b = state->imageBitmaps[i].exchange(nullptr)) b->Release();
        if (IsWindow(state->mainWindow)) DestroyWindow(state->mainWindow);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    // A small solid picture; the slot takes one reference, the caller keeps one.
    IWICBitmap* Put(int index) {
        std::vector<uint32_t> pixels(16 * 9, 0xFF2080C0u);
        IWICBitmap* bitmap = nullptr;
        g_wicFactory->CreateBitmapFromMemory(16, 9, GUID_WICPixelFormat32bppPBGRA, 64, 64 * 9,
                                             reinterpret_cast<BYTE*>(pixels.data()), &bitmap);
        bitmap->AddRef();
        if (IWICBitmap* old = state->imageBitmaps[index].exchange(bitmap)) old->Release();
        return bitmap;
    }
    static ULONG Refs(IUnknown* object) {
        object->AddRef();
        return object->Release();
    }
    void Paint() { SendMessageW(panel->hwnd, WM_PAINT, 0, 0); }
    PlayerState* state = nullptr;
    VideoPanel* panel = nullptr;
};

TEST_F(PanelCache, UploadsOncePerPictureAndIndex) {
    IWICBitmap* first = Put(3);
    state->currentIndex.store(3);
    Paint();
    ASSERT_NE(panel->shownBitmap, nullptr);
    EXPECT_EQ(panel->shownSource, first);
    EXPECT_EQ(panel->shownIndex, 3);
    ID2D1Bitmap* uploaded = panel->shownBitmap;
    uploaded->AddRef();
    const ULONG uploadedRefs = uploaded->Release();

    // Later paints of an unchanged picture draw the kept copy.
    for (int tick = 0; tick < 5; ++tick) Paint();
    EXPECT_EQ(panel->shownBitmap, uploaded);
    EXPECT_EQ(Refs(uploaded), uploadedRefs);

    // The slot filled with another bitmap: made again from that one.
    IWICBitmap* second = Put(3);
    Paint();
    EXPECT_EQ(panel->shownSource, second);
    EXPECT_NE(panel->shownBitmap, nullptr);
    EXPECT_EQ(Refs(first), 1u);  // only ours: the panel let go of it

    // Stepping onto an empty slot shows black and keeps nothing.
    state->currentIndex.store(4);
    Paint();
    EXPECT_EQ(panel->shownBitmap, nullptr);
    EXPECT_EQ(panel->shownSource, nullptr);
    EXPECT_EQ(Refs(second), 2u);  // ours and the slot's
    first->Release();
    second->Release();
}

TEST_F(PanelCache, ADisplayChangeKeepsThePictureUntilItsSlotIsMadeAgain) {
    ShowWindow(state->mainWindow, SW_SHOWNA);  // its pixels are read back
    IWICBitmap* old = Put(3);
    state->currentIndex.store(3);
    Paint();
    // The screen shrinks and the slot is emptied to be decoded for it.
    ResizeVideoPanel(*panel, 320, 180);
    state->imageBitmaps[3].exchange(nullptr)->Release();
    Paint();
    EXPECT_EQ(panel->shownSource, old);  // still drawn, fitted to the new panel
    EXPECT_EQ(panel->shownFit.rect.width, 320);
    const HDC dc = GetDC(panel->hwnd);
    EXPECT_EQ(GetPixel(dc, 160, 90), RGB(0x20, 0x80, 0xC0));
    ReleaseDC(panel->hwnd, dc);
    IWICBitmap* fresh = Put(3);
    Paint();
    EXPECT_EQ(panel->shownSource, fresh);
    EXPECT_EQ(Refs(old), 1u);  // only ours: the panel let go of the old one
    old->Release();
    fresh->Release();
}

TEST_F(PanelCache, ReleasingASlotNeverTakesThePanelsPicture) {
    IWICBitmap* shown = Put(3);
    state->currentIndex.store(3);
    Paint();
    ASSERT_EQ(panel->shownSource, shown);
    EXPECT_EQ(Refs(shown), 3u);  // ours, the slot's, the panel's

    // The index moves far away; the next tick empties slot 3 before painting.
    state->currentIndex.store(20);
    EXPECT_EQ(Refs(shown), 3u);
    ReleaseImagesOutsideWindow(*state);
    EXPECT_EQ(state->imageBitmaps[3].load(), nullptr);
    EXPECT_EQ(Refs(shown), 2u);  // the panel still holds what it drew
    Paint();
    EXPECT_EQ(Refs(shown), 1u);  // and lets go when it paints another index
    shown->Release();
}

TEST_F(PanelCache, TimerTickReleasesOnlyOutsideTheWindow) {
    std::vector<IWICBitmap*> ours;
    for (int i = 0; i < kCount; ++i) ours.push_back(Put(i));
    state->currentIndex.store(0);
    SendMessageW(panel->hwnd, WM_TIMER, kRepaintTimerId, 0);
    std::vector<int> which;
    EXPECT_EQ(Filled(*state, &which), 21);
    for (int i : which) EXPECT_TRUE(InPrefetchWindow(i, 0, kCount)) << i;
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(Refs(ours[i]), InPrefetchWindow(i, 0, kCount) ? 2u : 1u) << i;
        ours[i]->Release();
    }
}

}  // namespace
