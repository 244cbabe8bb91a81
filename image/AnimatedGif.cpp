#include "image/AnimatedGif.h"

#include <mmsystem.h>

#include "app/ComPtr.h"
#include "image/GifRules.h"
#include "ui/VideoPanel.h"

namespace {

constexpr wchar_t kScreenWidthQuery[] = L"/logscrdesc/Width";
constexpr wchar_t kScreenHeightQuery[] = L"/logscrdesc/Height";
constexpr wchar_t kDelayQuery[] = L"/grctlext/Delay";
constexpr wchar_t kLeftQuery[] = L"/imgdesc/Left";
constexpr wchar_t kTopQuery[] = L"/imgdesc/Top";
constexpr wchar_t kWidthQuery[] = L"/imgdesc/Width";
constexpr wchar_t kHeightQuery[] = L"/imgdesc/Height";
constexpr UINT kTimerResolutionMs = 1;

// One 16-bit value of the GIF codec's metadata. Anything but a VT_UI2 answer
// counts as unreadable: the union's other members would be garbage here.
bool ReadUInt16(IWICMetadataQueryReader* reader, const wchar_t* query, uint16_t* out) {
    if (!reader) return false;
    PROPVARIANT value;
    PropVariantInit(&value);
    const bool ok = SUCCEEDED(reader->GetMetadataByName(query, &value)) && value.vt == VT_UI2;
    if (ok) *out = value.uiVal;
    PropVariantClear(&value);
    return ok;
}

float ReadUInt16Or0(IWICMetadataQueryReader* reader, const wchar_t* query) {
    uint16_t value = 0;
    ReadUInt16(reader, query, &value);
    return static_cast<float>(value);
}

// The frame as a premultiplied BGRA bitmap of `renderTarget`; null on failure.
ID2D1Bitmap* MakeFrameBitmap(IWICBitmapFrameDecode* frame, ID2D1RenderTarget* renderTarget) {
    if (!frame || !renderTarget) return nullptr;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(g_wicFactory->CreateFormatConverter(converter.Put())) || !converter) return nullptr;
    if (FAILED(converter->Initialize(frame, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                     nullptr, 0.0, WICBitmapPaletteTypeCustom)))
        return nullptr;
    ID2D1Bitmap* bitmap = nullptr;
    if (FAILED(renderTarget->CreateBitmapFromWicBitmap(converter.Get(), nullptr, &bitmap)))
        return nullptr;
    return bitmap;
}

}  // namespace

bool DecodeGif(const wchar_t* path, ID2D1RenderTarget* renderTarget,
               std::vector<ID2D1Bitmap*>* frames, std::vector<uint32_t>* delays,
               std::vector<D2D1_RECT_F>* rects, uint32_t* frameCount, float* width, float* height) {
    if (!g_wicFactory || !path || !frames || !delays || !rects || !frameCount || !width || !height)
        return false;
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(g_wicFactory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ,
                                                        WICDecodeMetadataCacheOnLoad, decoder.Put())) &&
        FAILED(g_wicFactory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ,
                                                        WICDecodeMetadataCacheOnDemand, decoder.Put())))
        return false;
    if (!decoder) return false;

    UINT count = 0;
    if (FAILED(decoder->GetFrameCount(&count))) count = 0;
    *frameCount = count;

    ComPtr<IWICMetadataQueryReader> screenReader;
    decoder->GetMetadataQueryReader(screenReader.Put());
    uint16_t value = 0;
    if (ReadUInt16(screenReader.Get(), kScreenWidthQuery, &value)) *width = static_cast<float>(value);
    if (ReadUInt16(screenReader.Get(), kScreenHeightQuery, &value)) *height = static_cast<float>(value);

    frames->reserve(count);
    delays->reserve(count);
    rects->reserve(count);
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IWICBitmapFrameDecode> frame;
        decoder->GetFrame(i, frame.Put());
        ComPtr<IWICMetadataQueryReader> reader;
        if (frame) frame->GetMetadataQueryReader(reader.Put());

        // Every frame gets an entry, so the delays stay on their frames' indices.
        uint16_t hundredths = 0;
        delays->push_back(ReadUInt16(reader.Get(), kDelayQuery, &hundredths)
                              ? StoredGifDelay(hundredths)
                              : kGifUnreadableDelayMs);

        const float left = ReadUInt16Or0(reader.Get(), kLeftQuery);
        const float top = ReadUInt16Or0(reader.Get(), kTopQuery);
        const float frameWidth = ReadUInt16Or0(reader.Get(), kWidthQuery);
        const float frameHeight = ReadUInt16Or0(reader.Get(), kHeightQuery);
        rects->push_back(D2D1::RectF(left, top, left + frameWidth, top + frameHeight));

        frames->push_back(MakeFrameBitmap(frame.Get(), renderTarget));
    }
    return true;
}

void CALLBACK GifFrameTimerCallback(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    PlayerState* state = CurrentState();
    // Closing: the window is going or gone, and a new tick would outlive it.
    if (!state || state->quitRequested.load()) return;

    if (state->videoPanel && state->videoPanel->hwnd) {
        InvalidateRect(state->videoPanel->hwnd, nullptr, FALSE);
        UpdateWindow(state->videoPanel->hwnd);  // returns once the UI thread has painted
    }

    const GifStep step = NextGifStep(state->gifFrameIndex.load(), state->gifFrameCount,
                                     state->gifFrameDelays.data(), state->gifFrameDelays.size());
    // One store of the wrapped value: the painter never sees an index past the end.
    state->gifFrameIndex.store(step.index);

    // The close may have come while this tick waited for its paint; its kill
    // then hit this tick's own (spent) id, so nothing must be armed now. A
    // close that lands between this test and the arming kills an id that is
    // already stale too; the tick armed here then finds the flag and stops.
    if (state->quitRequested.load()) return;
    state->mmTimerId.store(
        timeSetEvent(step.waitMs, kTimerResolutionMs, GifFrameTimerCallback, 0, TIME_ONESHOT));
}
