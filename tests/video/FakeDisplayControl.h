#pragma once
// A video display control of our own for Windows-side tests: counts the
// repaints and current images asked for (RepaintVideo answers
// `repaintResult`; GetCurrentImage hands out a 2 x 2 grey picture) and keeps
// the window and aspect mode it was given. Also counts and keeps destinations,
// and notes being configured while already in `publishedCell`.
//
//   FakeDisplayControl* display = new FakeDisplayControl();  // one reference, the caller's
//   state.videoDisplayControl = display;
//   ... paint the video window ...
//   EXPECT_EQ(display->repaints.load(), 1);
#include <windows.h>
#include <evr.h>

#include <atomic>

#include "tests/video/FakeUnknown.h"

class FakeDisplayControl : public FakeUnknown<IMFVideoDisplayControl> {
public:
    std::atomic<int> repaints{0};
    std::atomic<HRESULT> repaintResult{S_OK};
    std::atomic<int> currentImages{0};
    HWND window = nullptr;
    DWORD aspectMode = 0xFFFF;
    std::atomic<int> positions{0};
    RECT destination{};
    IMFVideoDisplayControl* const* publishedCell = nullptr;
    bool publishedBeforeConfigured = false;

    STDMETHODIMP GetNativeVideoSize(SIZE*, SIZE*) override { return E_NOTIMPL; }
    STDMETHODIMP GetIdealVideoSize(SIZE*, SIZE*) override { return E_NOTIMPL; }
    STDMETHODIMP SetVideoPosition(const MFVideoNormalizedRect*, const LPRECT dest) override {
        ++positions;
        if (dest) destination = *dest;
        return S_OK;
    }
    STDMETHODIMP GetVideoPosition(MFVideoNormalizedRect*, LPRECT) override { return E_NOTIMPL; }
    STDMETHODIMP SetAspectRatioMode(DWORD mode) override {
        NoteConfiguring();
        aspectMode = mode;
        return S_OK;
    }
    STDMETHODIMP GetAspectRatioMode(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetVideoWindow(HWND hwnd) override {
        NoteConfiguring();
        window = hwnd;
        return S_OK;
    }
    STDMETHODIMP GetVideoWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP RepaintVideo() override {
        ++repaints;
        return repaintResult.load();
    }
    STDMETHODIMP GetCurrentImage(BITMAPINFOHEADER* header, BYTE** dib, DWORD* dibBytes, LONGLONG* time) override {
        if (!header || !dib || !dibBytes) return E_POINTER;
        ++currentImages;
        const DWORD bytes = 2 * 2 * 4;
        *dib = static_cast<BYTE*>(CoTaskMemAlloc(bytes));
        if (!*dib) return E_OUTOFMEMORY;
        for (DWORD i = 0; i < bytes; ++i) (*dib)[i] = 0x80;
        *header = BITMAPINFOHEADER{};
        header->biSize = sizeof(*header);
        header->biWidth = 2;
        header->biHeight = 2;
        header->biPlanes = 1;
        header->biBitCount = 32;
        header->biCompression = BI_RGB;
        header->biSizeImage = bytes;
        *dibBytes = bytes;
        if (time) *time = 0;
        return S_OK;
    }
    STDMETHODIMP SetBorderColor(COLORREF) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorderColor(COLORREF*) override { return E_NOTIMPL; }
    STDMETHODIMP SetRenderingPrefs(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetRenderingPrefs(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetFullscreen(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetFullscreen(BOOL*) override { return E_NOTIMPL; }

private:
    void NoteConfiguring() {
        if (publishedCell && *publishedCell == this) publishedBeforeConfigured = true;
    }
    virtual ~FakeDisplayControl() = default;
};
