// The animated GIF on the real platform: DecodeGif against GIF files written
// byte by byte (so each case controls exactly which blocks a file has), and
// the mode start on a real panel with its self-re-arming frame timer.
#include <windows.h>
#include <d2d1.h>
#include <mmsystem.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "app/ComPtr.h"
#include "app/Startup.h"
#include "app/WineQuirks.h"
#include "image/AnimatedGif.h"
#include "ui/VideoPanel.h"

namespace {

// ---- GIF files ----

// Palette indices of the files written here.
enum Colour : uint8_t { kBlack = 0, kRed = 1, kGreen = 2, kBlue = 3, kWhite = 4 };
const uint8_t kPalette[][3] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

struct FrameSpec {
    uint16_t left, top, width, height;
    uint8_t colour;
    int delay;  // hundredths of a second; negative: the frame has no Graphic Control Extension
    uint8_t disposal = 0;
    int transparent = -1;  // the transparent palette index, or none
};

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// A GIF89a with a 128-entry global colour table and one solid-colour image per
// frame. The LZW stream uses 8-bit codes and a clear code every 100 pixels, so
// the code width never grows and every code is one byte.
std::vector<uint8_t> BuildGif(uint16_t width, uint16_t height, const std::vector<FrameSpec>& frames) {
    constexpr uint8_t kMinCodeSize = 7;
    constexpr uint8_t kClear = 1 << kMinCodeSize, kEnd = kClear + 1;
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    PutU16(out, width);
    PutU16(out, height);
    out.push_back(0xF6);  // global table of 2^(6+1) entries, 8-bit colour resolution
    out.push_back(0);     // background index
    out.push_back(0);     // no aspect ratio
    for (int i = 0; i < 128; ++i)
        for (int c = 0; c < 3; ++c) out.push_back(i < 5 ? kPalette[i][c] : 0);
    for (const FrameSpec& f : frames) {
        if (f.delay >= 0) {
            const uint8_t packed = static_cast<uint8_t>((f.disposal << 2) | (f.transparent >= 0 ? 1 : 0));
            out.insert(out.end(), {0x21, 0xF9, 0x04, packed});
            PutU16(out, static_cast<uint16_t>(f.delay));
            out.insert(out.end(), {static_cast<uint8_t>(f.transparent >= 0 ? f.transparent : 0), 0x00});
        }
        out.push_back(0x2C);
        PutU16(out, f.left);
        PutU16(out, f.top);
        PutU16(out, f.width);
        PutU16(out, f.height);
        out.push_back(0x00);  // no local table, not interlaced
        std::vector<uint8_t> codes;
        const size_t pixels = static_cast<size_t>(f.width) * f.height;
        for (size_t i = 0; i < pixels; ++i) {
            if (i % 100 == 0) codes.push_back(kClear);
            codes.push_back(f.colour);
        }
        codes.push_back(kEnd);
        out.push_back(kMinCodeSize);
        for (size_t at = 0; at < codes.size(); at += 255) {
            const size_t n = std::min<size_t>(255, codes.size() - at);
            out.push_back(static_cast<uint8_t>(n));
            out.insert(out.end(), codes.begin() + at, codes.begin() + at + n);
        }
        out.push_back(0x00);
    }
    out.push_back(0x3B);
    return out;
}

std::wstring WriteTempFile(const wchar_t* name, const std::vector<uint8_t>& bytes) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"kestrelon-" + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    return path;
}

const std::vector<FrameSpec> kThreeColours = {
    {0, 0, 40, 30, kRed, 10}, {0, 0, 40, 30, kGreen, 20}, {0, 0, 40, 30, kBlue, 50}};

void EnsureFactories() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (!g_wicFactory || !g_d2dFactory) CreateFactories();
}

// The colour (R, G, B) at the middle of a decoded frame; 0x1000000 when the
// pixel there is transparent.
uint32_t CentreColour(const GifFrame& f) {
    if (f.pixels.empty()) return 0xFFFFFFFFu;
    const uint32_t p = f.pixels[static_cast<size_t>(f.height / 2) * f.width + f.width / 2];
    return (p >> 24) ? (p & 0xFFFFFFu) : 0x1000000u;
}

uint32_t Rgb(Colour c) {
    return (uint32_t{kPalette[c][0]} << 16) | (uint32_t{kPalette[c][1]} << 8) | kPalette[c][2];
}

struct Decoded {
    bool ok = false;
    std::vector<GifFrame> frames;
    std::vector<uint32_t> delays;
    std::vector<D2D1_RECT_F> rects;
    uint32_t count = 0;
    float width = 0, height = 0;
};

Decoded Decode(const std::wstring& path) {
    Decoded d;
    d.ok = DecodeGif(path.c_str(), &d.frames, &d.delays, &d.rects, &d.count, &d.width,
                     &d.height);
    return d;
}

struct DecodeCase {
    const wchar_t* name;
    uint16_t width, height;
    std::vector<FrameSpec> frames;
    std::vector<uint32_t> delays;  // expected stored values
};

TEST(GifDecodeWin, FramesDelaysAndRectangles) {
    EnsureFactories();
    const DecodeCase cases[] = {
        {L"colours.gif", 40, 30, kThreeColours, {100, 200, 500}},
        // Frames that cover part of the canvas keep their own size and place.
        {L"partial.gif", 200, 100,
         {{0, 0, 200, 100, kRed, 10}, {20, 30, 50, 40, kBlue, 0}, {120, 60, 60, 20, kGreen, 4}},
         {100, 100, 40}},
        {L"rect.gif", 64, 64, {{10, 20, 30, 40, kWhite, 1}}, {10}},
        // No Graphic Control Extension at all: every frame plays at the floor.
        {L"nogce.gif", 40, 30,
         {{0, 0, 40, 30, kRed, -1}, {0, 0, 40, 30, kGreen, -1}, {0, 0, 40, 30, kBlue, -1}},
         {30, 30, 30}},
        // One frame without a delay: it gets 30, the frames after it keep their own.
        {L"middle-nogce.gif", 40, 30,
         {{0, 0, 40, 30, kRed, 10}, {0, 0, 40, 30, kGreen, -1}, {0, 0, 40, 30, kBlue, 50}},
         {100, 30, 500}},
        // Disposal methods and transparency as the Graphic Control Extension
        // gives them; a transparent index other than the frame's colour leaves it opaque.
        {L"disposal.gif", 40, 30,
         {{0, 0, 40, 30, kRed, 10, 1, kGreen}, {5, 5, 10, 10, kGreen, 10, 2, kGreen},
          {0, 0, 40, 30, kBlue, 10, 3, -1}, {0, 0, 40, 30, kWhite, 10, 0, kWhite}},
         {100, 100, 100, 100}},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        const Decoded d = Decode(WriteTempFile(c.name, BuildGif(c.width, c.height, c.frames)));
        ASSERT_TRUE(d.ok);
        ASSERT_EQ(d.count, c.frames.size());
        EXPECT_EQ(d.width, c.width);
        EXPECT_EQ(d.height, c.height);
        EXPECT_EQ(d.delays, c.delays);
        ASSERT_EQ(d.rects.size(), c.frames.size());
        ASSERT_EQ(d.frames.size(), c.frames.size());
        for (size_t i = 0; i < c.frames.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "frame " << i);
            const FrameSpec& f = c.frames[i];
            EXPECT_EQ(d.rects[i].left, f.left);
            EXPECT_EQ(d.rects[i].top, f.top);
            EXPECT_EQ(d.rects[i].right, f.left + f.width);
            EXPECT_EQ(d.rects[i].bottom, f.top + f.height);
            const GifFrame& frame = d.frames[i];
            EXPECT_EQ(frame.left, f.left);
            EXPECT_EQ(frame.top, f.top);
            EXPECT_EQ(frame.width, f.width);  // the frame's size, not the canvas'
            EXPECT_EQ(frame.height, f.height);
            EXPECT_EQ(frame.pixels.size(), static_cast<size_t>(f.width) * f.height);
            EXPECT_EQ(frame.disposal, f.disposal);
            EXPECT_EQ(CentreColour(frame), f.transparent == f.colour ? 0x1000000u
                                                                      : Rgb(static_cast<Colour>(f.colour)));
        }
    }
}

TEST(GifDecodeWin, FilesWithoutFramesOrWithoutADecoder) {
    EnsureFactories();
    // Header, screen descriptor and trailer only: opened, nothing to play.
    const Decoded empty = Decode(WriteTempFile(L"empty.gif", BuildGif(40, 30, {})));
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.count, 0u);
    EXPECT_TRUE(empty.frames.empty());
    EXPECT_TRUE(empty.delays.empty());
    EXPECT_TRUE(empty.rects.empty());

    const std::string text = "this is not a picture";
    const struct {
        const wchar_t* name;
        std::vector<uint8_t> bytes;
    } refused[] = {
        {L"text.gif", std::vector<uint8_t>(text.begin(), text.end())},
        {L"zero-bytes.gif", {}},
        {L"header-only.gif", {'G', 'I', 'F', '8', '9', 'a'}},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        const Decoded d = Decode(WriteTempFile(c.name, c.bytes));
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.count, 0u);
        EXPECT_TRUE(d.frames.empty());
    }
    EXPECT_FALSE(Decode(L"Z:\\no\\such\\folder\\missing.gif").ok);
}

// ---- the mode on a real panel ----

struct PaintRecord {
    LARGE_INTEGER start, end;
    uint32_t index;  // gifFrameIndex while the paint ran
};

std::vector<PaintRecord>* g_paints = nullptr;
WNDPROC g_panelProc = nullptr;
// Called at the end of a recorded paint (UI thread, inside the tick's UpdateWindow).
void (*g_afterPaint)(size_t paintCount) = nullptr;

LRESULT CALLBACK RecordingPanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // A tick sends its paint with no update region; one that finds a region
    // is the system's (showing, uncovering) and is not a tick.
    if (message != WM_PAINT || !g_paints || GetUpdateRect(hwnd, nullptr, FALSE))
        return CallWindowProcW(g_panelProc, hwnd, message, wParam, lParam);
    PaintRecord record{};
    QueryPerformanceCounter(&record.start);
    record.index = CurrentState()->gifFrameIndex.load();
    const LRESULT result = CallWindowProcW(g_panelProc, hwnd, message, wParam, lParam);
    QueryPerformanceCounter(&record.end);
    g_paints->push_back(record);
    if (g_afterPaint) g_afterPaint(g_paints->size());
    return result;
}

void PumpFor(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

// Pumps until `done()` holds, at most `ms` milliseconds (a busy machine runs
// timers late); returns done().
template <typename Done>
bool PumpUntil(DWORD ms, Done done) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!done() && GetTickCount64() < end) PumpFor(10);
    return done();
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// A fresh state with a shown parent window and a real drawing panel in it,
// its paints recorded from the mode start on.
class GifModeWin : public testing::Test {
protected:
    static constexpr int kWidth = 320, kHeight = 180;

    void SetUp() override {
        EnsureFactories();
        state_ = CreatePlayerState();
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = L"KestrelonGifTestParent";
        RegisterClassExW(&wc);
        state_->mainWindow = CreateWindowExW(0, wc.lpszClassName, L"gif test", WS_POPUP | WS_CLIPCHILDREN,
                                             0, 0, kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
        state_->videoPanel = new VideoPanel();
        CreateVideoPanel(*state_->videoPanel, state_->mainWindow, kWidth, kHeight);
        ShowWindow(state_->mainWindow, SW_SHOW);
        PumpFor(100);  // the idle screen's first paints, before anything is recorded
        g_panelProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            state_->videoPanel->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingPanelProc)));
        g_paints = &paints_;
    }

    void TearDown() override {
        // As the close does: no tick re-arms once the flag is up.
        state_->quitRequested.store(true);
        if (state_->mmTimerId.load()) timeKillEvent(state_->mmTimerId.load());
        Sleep(50);
        g_paints = nullptr;
        g_afterPaint = nullptr;
        DestroyWindow(state_->mainWindow);
        PumpFor(20);
    }

    bool Start(const wchar_t* name, const std::vector<uint8_t>& bytes) {
        const std::wstring path = WriteTempFile(name, bytes);
        wcscpy_s(state_->filePath, path.c_str());
        state_->viewMode = ViewMode::AnimatedGif;
        return StartViewMode(*state_);
    }

    PlayerState* state_ = nullptr;
    std::vector<PaintRecord> paints_;
};

TEST_F(GifModeWin, TicksPaintFramesInOrderAndWaitForTheNextFrame) {
    ASSERT_TRUE(Start(L"mode-colours.gif", BuildGif(40, 30, kThreeColours)));
    EXPECT_EQ(state_->viewMode, ViewMode::AnimatedGif);
    EXPECT_NE(state_->mmTimerId.load(), 0u);
    PumpUntil(5000, [&] { return paints_.size() >= 6; });
    // From the mode start: frame 0 at 30 ms, 1 at 230, 2 at 730, 0 at 830,
    // 1 at 1030, 2 at 1530, 0 at 1630 (plus paint times).
    ASSERT_GE(paints_.size(), 6u);
    const uint32_t expectedOrder[] = {0, 1, 2, 0, 1, 2};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(paints_[i].index, expectedOrder[i]) << "paint " << i;
    // The ticks keep to a schedule from the first one: frame i is painted no
    // earlier than the first paint plus the waits before it, the paint times
    // not counted. Timers may run late on a busy machine, never early.
    const double waitAfter[] = {200, 500, 100, 200, 500};
    double due = 0;
    for (size_t i = 0; i + 1 < 6; ++i) {
        due += waitAfter[i];
        EXPECT_GE(Milliseconds(paints_[0].start, paints_[i + 1].start), due - 2.0) << "paint " << i + 1;
    }
}

// With the Windows answers the panel draws each frame through its HWND target
// (Direct2D), as on Windows, in the same order.
TEST_F(GifModeWin, FramesGoThroughDirect2DWithWindowsTargets) {
    ForceWindowsAnswers(true);
    WindowTarget& target = state_->videoPanel->target;
    target.throughWindowDc = DrawThroughWindowDc();
    RemakeWindowTarget(target);
    ASSERT_NE(target.hwndTarget, nullptr);
    ASSERT_TRUE(Start(L"mode-windows.gif", BuildGif(40, 30, kThreeColours)));
    static std::atomic<int> frames{0};
    frames = 0;
    g_endDrawFilter = [](HWND, HRESULT result) {
        ++frames;
        return result;
    };
    for (int i = 0; i < 100 && paints_.size() < 3; ++i) PumpFor(50);
    g_endDrawFilter = nullptr;
    ForceWindowsAnswers(false);
    ASSERT_GE(paints_.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(paints_[i].index, i) << "paint " << i;
    EXPECT_GE(frames.load(), static_cast<int>(paints_.size())) << "each frame ends a Direct2D frame";
}

TEST_F(GifModeWin, RepaintAfterDamageRestoresThePicture) {
    // One red frame shown for a second at a time: its ticks change nothing, so
    // only the system's repaint can bring back what was drawn over.
    ASSERT_TRUE(Start(L"mode-damage.gif", BuildGif(40, 30, {{0, 0, 40, 30, kRed, 100}})));
    HWND panel = state_->videoPanel->hwnd;
    // The 40 x 30 canvas fills the height of the 320 x 180 panel: x 40 to 280.
    const POINT inside{160, 90}, margin{10, 90};
    HDC dc = GetDC(panel);
    PumpUntil(5000, [&] { return GetPixel(dc, inside.x, inside.y) == RGB(255, 0, 0); });
    ASSERT_EQ(GetPixel(dc, inside.x, inside.y), RGB(255, 0, 0));
    RECT client{0, 0, kWidth, kHeight};
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ASSERT_EQ(GetPixel(dc, inside.x, inside.y), RGB(255, 255, 255));
    InvalidateRect(panel, nullptr, FALSE);
    UpdateWindow(panel);
    EXPECT_EQ(GetPixel(dc, inside.x, inside.y), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, margin.x, margin.y), RGB(0, 0, 0));
    ReleaseDC(panel, dc);
}

TEST_F(GifModeWin, NoFramesTickOnIndex0) {
    ASSERT_TRUE(Start(L"mode-empty.gif", BuildGif(40, 30, {})));
    PumpUntil(5000, [&] { return paints_.size() >= 3; });
    EXPECT_GE(paints_.size(), 3u);  // every 30 ms, nothing to draw
    for (const PaintRecord& p : paints_) EXPECT_EQ(p.index, 0u);
    EXPECT_EQ(state_->gifFrameIndex.load(), 0u);
}

TEST_F(GifModeWin, UndecodableFileFallsBackToNone) {
    const std::string text = "GIF? no";
    EXPECT_FALSE(Start(L"mode-text.gif", std::vector<uint8_t>(text.begin(), text.end())));
    EXPECT_EQ(state_->viewMode, ViewMode::None);
    EXPECT_EQ(state_->mmTimerId.load(), 0u);
}

TEST_F(GifModeWin, TickRunningWhileClosingArmsNoOther) {
    // The close comes during a tick's paint: the flag goes up and the kill hits
    // the running tick's own, already spent, id.
    g_afterPaint = [](size_t paintCount) {
        if (paintCount != 2) return;
        PlayerState* state = CurrentState();
        state->quitRequested.store(true);
        timeKillEvent(state->mmTimerId.load());
    };
    ASSERT_TRUE(Start(L"mode-close.gif", BuildGif(40, 30,
                                                  {{0, 0, 40, 30, kRed, 3}, {0, 0, 40, 30, kGreen, 3}})));
    const uint32_t armedAtStart = state_->mmTimerId.load();
    PumpFor(150);
    const uint32_t idAfterClose = state_->mmTimerId.load();
    const uint32_t indexAfterClose = state_->gifFrameIndex.load();
    PumpFor(250);
    EXPECT_EQ(paints_.size(), 2u);  // no paint after the close
    EXPECT_NE(idAfterClose, armedAtStart);  // the first tick did re-arm
    EXPECT_EQ(state_->mmTimerId.load(), idAfterClose);  // nothing armed since
    EXPECT_EQ(state_->gifFrameIndex.load(), indexAfterClose);

    // A tick that starts after the close does nothing at all.
    GifFrameTimerCallback(0, 0, reinterpret_cast<DWORD_PTR>(state_->videoPanel->hwnd), 0, 0);
    PumpFor(100);
    EXPECT_EQ(paints_.size(), 2u);
    EXPECT_EQ(state_->mmTimerId.load(), idAfterClose);
    EXPECT_EQ(state_->gifFrameIndex.load(), indexAfterClose);
}

}  // namespace
