#include "image/AnimatedGif.h"

#include <mmsystem.h>

#include "app/ComPtr.h"
#include "app/HResult.h"
#include "image/GifRules.h"

namespace {

constexpr wchar_t kScreenWidthQuery[] = L"/logscrdesc/Width";
constexpr wchar_t kScreenHeightQuery[] = L"/logscrdesc/Height";
constexpr wchar_t kDelayQuery[] = L"/grctlext/Delay";
constexpr wchar_t kLeftQuery[] = L"/imgdesc/Left";
constexpr wchar_t kTopQuery[] = L"/imgdesc/Top";
constexpr wchar_t kWidthQuery[] = L"/imgdesc/Width";
constexpr wchar_t kHeightQuery[] = L"/imgdesc/Height";
constexpr wchar_t kDisposalQuery[] = L"/grctlext/Disposal";
constexpr wchar_t kTransparencyFlagQuery[] = L"/grctlext/TransparencyFlag";
constexpr wchar_t kTransparentIndexQuery[] = L"/grctlext/TransparentColorIndex";
constexpr UINT kTimerResolutionMs = 1;

// One unsigned value of the GIF codec's metadata (VT_UI1, VT_UI2 or VT_BOOL;
// the codec answers each query with one of them). Any other answer counts as
// unreadable: the union's other members would be garbage here.
bool ReadUnsigned(IWICMetadataQueryReader* reader, const wchar_t* query, uint32_t* out) {
    if (!reader) return false;
    PROPVARIANT value;
    PropVariantInit(&value);
    bool ok = SUCCEEDED(reader->GetMetadataByName(query, &value));
    if (ok) {
        switch (value.vt) {
            case VT_UI1: *out = value.bVal; break;
            case VT_UI2: *out = value.uiVal; break;
            case VT_BOOL: *out = value.boolVal ? 1u : 0u; break;
            default: ok = false; break;
        }
    }
    PropVariantClear(&value);
    return ok;
}

bool ReadUInt16(IWICMetadataQueryReader* reader, const wchar_t* query, uint16_t* out) {
    uint32_t value = 0;
    if (!ReadUnsigned(reader, query, &value) || value > 0xFFFF) return false;
    *out = static_cast<uint16_t>(value);
    return true;
}

int32_t ReadUInt16Or0(IWICMetadataQueryReader* reader, const wchar_t* query) {
    uint16_t value = 0;
    ReadUInt16(reader, query, &value);
    return value;
}

// Frames and canvases above this many pixels (256 MB of BGRA) are not kept:
// a hostile file may declare 65535 x 65535.
constexpr uint64_t kMaxGifPixels = uint64_t{1} << 26;

bool SizeAllowed(UINT width, UINT height) {
    return width > 0 && height > 0 && uint64_t{width} * height <= kMaxGifPixels;
}

// The frame's colours as 32-bit ARGB, from its own table or the file's.
std::vector<WICColor> FramePalette(IWICBitmapFrameDecode* frame, IWICBitmapDecoder* decoder) {
    std::vector<WICColor> colours;
    ComPtr<IWICPalette> palette;
    if (FAILED(g_wicFactory->CreatePalette(palette.Put())) || !palette) return colours;
    if (FAILED(frame->CopyPalette(palette.Get())) && FAILED(decoder->CopyPalette(palette.Get())))
        return colours;
    UINT count = 0;
    if (FAILED(palette->GetColorCount(&count)) || count == 0) return colours;
    colours.resize(count);
    if (FAILED(palette->GetColors(count, colours.data(), &count))) count = 0;
    colours.resize(count);
    return colours;
}

// The frame as premultiplied BGRA with alpha 0 where it is transparent. GIF
// frames come as palette indices; the transparent index is taken from the
// Graphic Control Extension, and only where that cannot be read from the
// palette's alpha. Other formats go through a converter.
bool ReadFramePixels(IWICBitmapFrameDecode* frame, IWICBitmapDecoder* decoder,
                     IWICMetadataQueryReader* reader, UINT width, UINT height,
                     std::vector<uint32_t>* out) {
    const size_t count = static_cast<size_t>(width) * height;
    WICPixelFormatGUID format{};
    if (SUCCEEDED(frame->GetPixelFormat(&format)) && format == GUID_WICPixelFormat8bppIndexed) {
        std::vector<uint8_t> indices(count);
        RETURN_FALSE_IF_FAILED(frame->CopyPixels(nullptr, width, static_cast<UINT>(count), indices.data()));
        const std::vector<WICColor> palette = FramePalette(frame, decoder);
        uint32_t flag = 0, transparent = 0;
        const bool flagRead = ReadUnsigned(reader, kTransparencyFlagQuery, &flag);
        const bool indexRead = ReadUnsigned(reader, kTransparentIndexQuery, &transparent);
        out->resize(count);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t index = indices[i];
            const WICColor colour = index < palette.size() ? palette[index] : 0xFF000000u;
            const bool clear = flagRead ? (flag && indexRead && index == transparent) : (colour >> 24) == 0;
            (*out)[i] = clear ? 0u : (colour | 0xFF000000u);
        }
        return true;
    }
    ComPtr<IWICFormatConverter> converter;
    RETURN_FALSE_IF_FAILED(g_wicFactory->CreateFormatConverter(converter.Put()));
    if (!converter) return false;
    RETURN_FALSE_IF_FAILED(converter->Initialize(frame, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                                 nullptr, 0.0, WICBitmapPaletteTypeCustom));
    out->resize(count);
    RETURN_FALSE_IF_FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(count * 4),
                                                 reinterpret_cast<BYTE*>(out->data())));
    return true;
}

GifFrame DecodeFrame(IWICBitmapFrameDecode* frame, IWICBitmapDecoder* decoder,
                     IWICMetadataQueryReader* reader) {
    GifFrame f;
    f.left = ReadUInt16Or0(reader, kLeftQuery);
    f.top = ReadUInt16Or0(reader, kTopQuery);
    uint32_t disposal = 0;
    if (ReadUnsigned(reader, kDisposalQuery, &disposal)) f.disposal = static_cast<uint8_t>(disposal & 7);
    UINT width = 0, height = 0;
    if (!frame || FAILED(frame->GetSize(&width, &height)) || !SizeAllowed(width, height)) {
        f.width = ReadUInt16Or0(reader, kWidthQuery);
        f.height = ReadUInt16Or0(reader, kHeightQuery);
        return f;
    }
    f.width = static_cast<int32_t>(width);
    f.height = static_cast<int32_t>(height);
    if (!ReadFramePixels(frame, decoder, reader, width, height, &f.pixels)) f.pixels.clear();
    return f;
}

}  // namespace

bool DecodeGif(const wchar_t* path, std::vector<GifFrame>* frames, std::vector<uint32_t>* delays,
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

    // Metadata that cannot be read leaves its reader null, and the reads
    // below fall back to their defaults.
    ComPtr<IWICMetadataQueryReader> screenReader;
    (void)decoder->GetMetadataQueryReader(screenReader.Put());
    uint16_t value = 0;
    if (ReadUInt16(screenReader.Get(), kScreenWidthQuery, &value)) *width = static_cast<float>(value);
    if (ReadUInt16(screenReader.Get(), kScreenHeightQuery, &value)) *height = static_cast<float>(value);
    // A logical screen too large to compose is not composed: the panel stays black.
    if (!SizeAllowed(static_cast<UINT>(*width), static_cast<UINT>(*height))) *width = *height = 0.0f;

    frames->reserve(count);
    delays->reserve(count);
    rects->reserve(count);
    for (UINT i = 0; i < count; ++i) {
        // A frame that cannot be had stays null and still gets its entry.
        ComPtr<IWICBitmapFrameDecode> frame;
        (void)decoder->GetFrame(i, frame.Put());
        ComPtr<IWICMetadataQueryReader> reader;
        if (frame) (void)frame->GetMetadataQueryReader(reader.Put());

        // Every frame gets an entry, so the delays stay on their frames' indices.
        uint16_t hundredths = 0;
        delays->push_back(ReadUInt16(reader.Get(), kDelayQuery, &hundredths)
                              ? StoredGifDelay(hundredths)
                              : kGifUnreadableDelayMs);

        const float left = static_cast<float>(ReadUInt16Or0(reader.Get(), kLeftQuery));
        const float top = static_cast<float>(ReadUInt16Or0(reader.Get(), kTopQuery));
        const float frameWidth = static_cast<float>(ReadUInt16Or0(reader.Get(), kWidthQuery));
        const float frameHeight = static_cast<float>(ReadUInt16Or0(reader.Get(), kHeightQuery));
        rects->push_back(D2D1::RectF(left, top, left + frameWidth, top + frameHeight));

        frames->push_back(DecodeFrame(frame.Get(), decoder.Get(), reader.Get()));
    }
    return true;
}

int64_t NowUs() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Split so the multiplication cannot overflow after long uptimes.
    return now.QuadPart / frequency * 1000000 + now.QuadPart % frequency * 1000000 / frequency;
}

void CALLBACK GifFrameTimerCallback(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    const HWND panel = reinterpret_cast<HWND>(user);
    PlayerState* state = CurrentState();
    // Closing: the window is going or gone, and a new tick would outlive it.
    if (!state || state->quitRequested.load()) return;

    const int64_t plannedUs = state->gifTickDueUs.load();

    // The paint is sent, not invalidated: the panel then presents only what
    // the new frame changed, plus whatever the system has invalidated. The UI
    // thread paints while this thread waits here.
    if (panel) SendMessageW(panel, WM_PAINT, 0, 0);

    // Every tick is due when it was planned; the schedule itself starts once
    // the first frame is on screen, so a UI thread still busy with the start
    // of the mode does not make the first frames rush to catch up.
    const int64_t dueUs = plannedUs != 0 ? plannedUs : NowUs();

    const GifStep step = NextGifStep(state->gifFrameIndex.load(), state->gifFrameCount,
                                     state->gifFrameDelays.data(), state->gifFrameDelays.size());
    // One store of the wrapped value: the painter never sees an index past the end.
    state->gifFrameIndex.store(step.index);

    const uint64_t cycleMs = GifCycleMs(state->gifFrameDelays.data(), state->gifFrameDelays.size(),
                                        state->gifFrameCount);
    const GifTickPlan plan = PlanNextGifTick(dueUs, NowUs(), step.waitMs, cycleMs);
    state->gifTickDueUs.store(plan.nextDueUs);

    // The close may have come while this tick waited for its paint; its kill
    // then hit this tick's own (spent) id, so nothing must be armed now. A
    // close that lands between this test and the arming kills an id that is
    // already stale too; the tick armed here then finds the flag and stops.
    if (state->quitRequested.load()) return;
    state->mmTimerId.store(ArmGifTick(plan.armMs, panel));
}

uint32_t ArmGifTick(uint32_t delayMs, HWND panel) {
    return timeSetEvent(delayMs, kTimerResolutionMs, GifFrameTimerCallback,
                        reinterpret_cast<DWORD_PTR>(panel), TIME_ONESHOT);
}
