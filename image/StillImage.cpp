#include "image/StillImage.h"

#include <propidl.h>

#include <atomic>
#include <vector>

#include "app/ComPtr.h"
#include "app/HResult.h"
#include "app/PlayerState.h"
#include "image/AreaReduction.h"
#include "image/Orientation.h"
#include "image/ScreenFit.h"

static_assert(kTransformRotate0 == WICBitmapTransformRotate0, "transform values");
static_assert(kTransformRotate90 == WICBitmapTransformRotate90, "transform values");
static_assert(kTransformRotate180 == WICBitmapTransformRotate180, "transform values");
static_assert(kTransformRotate270 == WICBitmapTransformRotate270, "transform values");
static_assert(kTransformFlipHorizontal == WICBitmapTransformFlipHorizontal, "transform values");
static_assert(kTransformFlipVertical == WICBitmapTransformFlipVertical, "transform values");

namespace {

// Not in every SDK's enumeration either (Windows 10 and later).
constexpr auto kInterpolationHighQualityCubic = static_cast<WICBitmapInterpolationMode>(4);

constexpr wchar_t kOrientationQuery[] = L"/app1/ifd/{ushort=274}";
// An Exif block follows the start of a JPEG (after at most a JFIF header) and
// is at most 64 KB long.
constexpr DWORD kExifSearchBytes = 128 * 1024;
constexpr UINT kPixelBytes = 4;
// Rows copied out of the converter at a time by our own turn.
constexpr UINT kStripRows = 64;

// An empty premultiplied BGRA bitmap for a width x height picture once
// `transform` has turned it upright (the axes swap for quarter turns).
bool CreateUprightBitmap(IWICImagingFactory* factory, UINT width, UINT height, uint32_t transform,
                         IWICBitmap** out) {
    const bool swap = TransformSwapsAxes(transform);
    return SUCCEEDED(factory->CreateBitmap(swap ? height : width, swap ? width : height,
                                           GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad, out));
}

bool IsJpeg(IWICBitmapDecoder* decoder) {
    GUID container{};
    return SUCCEEDED(decoder->GetContainerFormat(&container)) &&
           IsEqualGUID(container, GUID_ContainerFormatJpeg);
}

// Locks all of `bitmap` for writing (held while `lock` lives); null when it cannot.
BYTE* LockPixels(IWICBitmap* bitmap, ComPtr<IWICBitmapLock>& lock, UINT* stride,
                 UINT* bufferSize) {
    BYTE* data = nullptr;
    if (FAILED(bitmap->Lock(nullptr, WICBitmapLockWrite, lock.Put())) ||
        FAILED(lock->GetStride(stride)) || FAILED(lock->GetDataPointer(bufferSize, &data)))
        return nullptr;
    return data;
}

// Makes the bitmap of a width x height picture turned by `transform`
// (CreateUprightBitmap), lets `fill(pixels, stride)` write all of it while it
// is locked, and hands it out unlocked in *out. False, with *out untouched,
// when the bitmap cannot be made or locked or when `fill` returns false.
template <typename Fill>
bool FillUprightBitmap(IWICImagingFactory* factory, UINT width, UINT height, uint32_t transform,
                       IWICBitmap** out, Fill fill) {
    ComPtr<IWICBitmap> bitmap;
    if (!CreateUprightBitmap(factory, width, height, transform, bitmap.Put())) return false;
    {
        ComPtr<IWICBitmapLock> lock;
        UINT stride = 0;
        UINT bufferSize = 0;
        BYTE* target = LockPixels(bitmap.Get(), lock, &stride, &bufferSize);
        if (!target || !fill(target, stride)) return false;
    }  // the lock is released before the bitmap is handed out
    *out = bitmap.Detach();
    return true;
}

// The file a decoder reads, behind a gate: while the stream is armed and the
// gate is closed, every read fails. A codec that reads its file as it
// decodes (JPEG reads the compressed data scan by scan) then stops within one
// read, where our own strips could only stop it after the platform decoded
// the whole picture in one call. Where that decode happens differs: Wine's
// codecs decode while the decoder is made, Windows' as the pixels are copied;
// the stream is armed for both, and disarmed while the metadata is read, since
// a codec's metadata readers need not survive a failed read (Wine's PNG
// block reader then hands out a null reader, which its query reader
// dereferences). A read refused leaves a picture cut short or none;
// `refused` says so, and such a picture is never kept, nor its metadata
// asked. Free-threaded like the stream it wraps (one decode uses it at a
// time).
class GatedFileStream final : public IStream {
public:
    GatedFileStream(IStream* file, const DecodeGate& gate) : file_(ComPtr<IStream>::Attach(file)), gate_(gate) {}
    bool Refused() const { return refused_.load(); }
    // Whether a closed gate refuses reads (from the start: yes).
    void SetArmed(bool armed) { armed_.store(armed); }
    // The decode is over: its gate's context is gone, and a codec object that
    // outlives the decode reads nothing more.
    void EndDecode() { ended_.store(true); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) ||
            IsEqualIID(iid, IID_IStream)) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG bytes, ULONG* read) override {
        if (ended_.load() || (armed_.load() && !gate_.Open())) {
            refused_.store(true);
            if (read) *read = 0;
            return E_ABORT;
        }
        return file_->Read(into, bytes, read);
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        return file_->Seek(move, origin, position);
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;  // would bypass the gate
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override { return file_->Stat(stat, flags); }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    ~GatedFileStream() = default;
    ComPtr<IStream> file_;  // its own reference, taken over at construction
    DecodeGate gate_;
    std::atomic<ULONG> references_{1};
    std::atomic<bool> refused_{false};
    std::atomic<bool> ended_{false};
    std::atomic<bool> armed_{true};
};

// A decoder for the file at `path`, reading through a GatedFileStream when
// the decode has a gate (*stream: that stream, one reference, for Refused),
// straight from the file otherwise. Metadata cached on load first; the
// on-demand cache for a codec that refuses the other.
bool CreateGatedDecoder(IWICImagingFactory* factory, const wchar_t* path, const DecodeGate& gate,
                        ComPtr<IWICBitmapDecoder>& decoder, ComPtr<GatedFileStream>& stream) {
    constexpr WICDecodeOptions kCaches[] = {WICDecodeMetadataCacheOnLoad, WICDecodeMetadataCacheOnDemand};
    if (!gate.keepGoing) {
        for (WICDecodeOptions cache : kCaches)
            if (SUCCEEDED(factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ, cache, decoder.Put())))
                return decoder.Get() != nullptr;
        return false;
    }
    for (WICDecodeOptions cache : kCaches) {
        ComPtr<IWICStream> file;
        if (FAILED(factory->CreateStream(file.Put())) || FAILED(file->InitializeFromFilename(path, GENERIC_READ)))
            return false;
        stream = ComPtr<GatedFileStream>::Attach(new GatedFileStream(file.Detach(), gate));
        if (SUCCEEDED(factory->CreateDecoderFromStream(stream.Get(), nullptr, cache, decoder.Put())))
            return decoder.Get() != nullptr;
    }
    return false;
}

// Reads all of `source` (width x height, pixelBytes a pixel) kStripRows rows
// at a time and hands each strip to `take(strip, rowBytes, firstRow, rows)`:
// only one strip of the picture is held at any time.
// Stops with E_ABORT before a strip once `gate` has closed.
template <typename Take>
HRESULT ReadInStrips(IWICBitmapSource* source, UINT width, UINT height, UINT pixelBytes, Take take,
                     const DecodeGate& gate = DecodeGate{}) {
    const UINT rowBytes = width * pixelBytes;
    std::vector<BYTE> strip(static_cast<size_t>(rowBytes) * kStripRows);
    for (UINT first = 0; first < height; first += kStripRows) {
        if (!gate.Open()) return E_ABORT;
        const UINT rows = height - first < kStripRows ? height - first : kStripRows;
        const WICRect rect{0, static_cast<INT>(first), static_cast<INT>(width), static_cast<INT>(rows)};
        RETURN_IF_FAILED(source->CopyPixels(&rect, rowBytes, rowBytes * rows, strip.data()));
        take(strip.data(), rowBytes, first, rows);
    }
    return S_OK;
}

// Our own turn of `converted` into a new bitmap, strip by strip, so that only
// one strip of the unturned picture is held besides the result.
bool TurnIntoNewBitmap(IWICImagingFactory* factory, IWICBitmapSource* converted, uint32_t transform,
                       IWICBitmap** out) {
    UINT width = 0;
    UINT height = 0;
    if (FAILED(converted->GetSize(&width, &height)) || width == 0 || height == 0) return false;
    if (width > UINT_MAX / (kPixelBytes * kStripRows)) return false;
    return FillUprightBitmap(factory, width, height, transform, out, [&](BYTE* target, UINT stride) {
        return SUCCEEDED(ReadInStrips(converted, width, height, kPixelBytes,
                                      [&](const BYTE* strip, UINT rowBytes, UINT first, UINT rows) {
                                          TransformPixelRows(strip, rowBytes, width, height, first, rows,
                                                             transform, target, stride);
                                      }));
    });
}

// Where the codec scales while decoding, decodes the frame at the smallest of
// its sizes that still holds width x height (largest shrink first), into a
// bitmap of its own pixel format. False when it offers none, or none smaller
// than the frame.
bool DecodeScaledByCodec(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, UINT frameWidth,
                         UINT frameHeight, UINT width, UINT height, ComPtr<IWICBitmap>& out) {
    ComPtr<WicSourceTransform> codec;
    if (FAILED(frame->QueryInterface(kIidWicSourceTransform, codec.PutVoid())) || !codec) return false;
    for (UINT shrink : {8u, 4u, 2u}) {
        UINT w = (frameWidth + shrink - 1) / shrink;
        UINT h = (frameHeight + shrink - 1) / shrink;
        if (w < width || h < height) continue;
        if (FAILED(codec->GetClosestSize(&w, &h)) || w < width || h < height || w >= frameWidth)
            continue;
        WICPixelFormatGUID format = GUID_WICPixelFormat32bppPBGRA;
        if (FAILED(codec->GetClosestPixelFormat(&format))) continue;
        ComPtr<IWICBitmap> bitmap;
        if (FAILED(factory->CreateBitmap(w, h, format, WICBitmapCacheOnLoad, bitmap.Put()))) continue;
        {
            ComPtr<IWICBitmapLock> lock;
            UINT stride = 0;
            UINT bufferSize = 0;
            BYTE* data = LockPixels(bitmap.Get(), lock, &stride, &bufferSize);
            if (!data || FAILED(codec->CopyPixels(nullptr, w, h, &format, WICBitmapTransformRotate0,
                                                  stride, bufferSize, data)))
                continue;
        }  // the lock is released before the bitmap is read
        out = bitmap;
        return true;
    }
    return false;
}

// True when `mode` shrinks 60 x 2 one-pixel black and white stripes to 18 x 1
// greys rather than picking one of the two. At 10:3 each result covers 3 1/3
// stripes, so an average lies between 40% and 60% white everywhere; bilinear
// sampling lands between two stripes only at some places and nearly on one at
// the others (83% or 17% white), and point sampling always on one. (At 2:1
// bilinear would pass: every sample falls halfway between two stripes.)
bool ScalerAverages(IWICImagingFactory* factory, WICBitmapInterpolationMode mode) {
    constexpr UINT kStripes = 60;
    constexpr UINT kShrunk = 18;
    uint32_t stripes[kStripes * 2];
    for (UINT i = 0; i < kStripes * 2; ++i) stripes[i] = (i & 1) ? 0xFFFFFFFFu : 0xFF000000u;
    ComPtr<IWICBitmap> source;
    ComPtr<IWICBitmapScaler> scaler;
    uint32_t shrunk[kShrunk] = {};
    RETURN_FALSE_IF_FAILED(factory->CreateBitmapFromMemory(kStripes, 2, GUID_WICPixelFormat32bppPBGRA,
                                                           kStripes * 4, sizeof stripes,
                                                           reinterpret_cast<BYTE*>(stripes), source.Put()));
    RETURN_FALSE_IF_FAILED(factory->CreateBitmapScaler(scaler.Put()));
    RETURN_FALSE_IF_FAILED(scaler->Initialize(source.Get(), kShrunk, 1, mode));
    RETURN_FALSE_IF_FAILED(
        scaler->CopyPixels(nullptr, sizeof shrunk, sizeof shrunk, reinterpret_cast<BYTE*>(shrunk)));
    for (uint32_t pixel : shrunk) {
        const uint32_t green = (pixel >> 8) & 0xFF;
        if (green < 64 || green > 192) return false;
    }
    return true;
}

}  // namespace

bool AveragingScalerMode(IWICImagingFactory* factory, WICBitmapInterpolationMode* mode) {
    // The answer is a property of the platform behind the factory: found for
    // the first factory asked, and again only if another one is asked (a test
    // that stands in for the platform's objects).
    static SRWLOCK guard = SRWLOCK_INIT;
    static IWICImagingFactory* askedFactory = nullptr;
    static int found = -1;
    AcquireSRWLockExclusive(&guard);
    if (factory != askedFactory) {
        askedFactory = factory;
        found = -1;
        for (WICBitmapInterpolationMode m : {kInterpolationHighQualityCubic, WICBitmapInterpolationModeFant})
            if (ScalerAverages(factory, m)) {
                found = static_cast<int>(m);
                break;
            }
    }
    const int answer = found;
    ReleaseSRWLockExclusive(&guard);
    if (answer < 0) return false;
    *mode = static_cast<WICBitmapInterpolationMode>(answer);
    return true;
}

bool ReduceIntoNewBitmap(IWICImagingFactory* factory, IWICBitmapSource* source, UINT width,
                         UINT height, uint32_t transform, IWICBitmap** out, const DecodeGate& gate) {
    UINT sourceWidth = 0;
    UINT sourceHeight = 0;
    WICPixelFormatGUID format{};
    RETURN_FALSE_IF_FAILED(source->GetSize(&sourceWidth, &sourceHeight));
    RETURN_FALSE_IF_FAILED(source->GetPixelFormat(&format));
    const bool opaqueBgr = IsEqualGUID(format, GUID_WICPixelFormat24bppBGR);
    if (sourceWidth > UINT_MAX / (kPixelBytes * kStripRows)) return false;
    AreaReduction reduction;
    if (!BeginAreaReduction(reduction, sourceWidth, sourceHeight, width, height)) return false;
    // Only one strip of the full-size picture is ever held.
    auto reduceInto = [&](BYTE* target, UINT targetStride) {
        return SUCCEEDED(ReadInStrips(source, sourceWidth, sourceHeight, opaqueBgr ? 3 : kPixelBytes,
                                      [&](const BYTE* strip, UINT rowBytes, UINT, UINT rows) {
                                          (opaqueBgr ? ReduceOpaqueBgrRows : ReduceAreaRows)(
                                              reduction, strip, rowBytes, rows, target, targetStride);
                                      },
                                      gate));
    };
    // An upright picture is reduced straight into the bitmap: no second
    // picture-sized buffer to fault in and copy.
    if (transform == kTransformRotate0)
        return FillUprightBitmap(factory, width, height, transform, out, reduceInto);
    // Otherwise reduced unturned first, then turned into the bitmap.
    const UINT reducedStride = width * kPixelBytes;
    std::vector<BYTE> reduced(static_cast<size_t>(reducedStride) * height);
    if (!reduceInto(reduced.data(), reducedStride)) return false;
    return FillUprightBitmap(factory, width, height, transform, out, [&](BYTE* target, UINT stride) {
        TransformPixelRows(reduced.data(), reducedStride, width, height, 0, height, transform, target, stride);
        return true;
    });
}

bool QueryFrameOrientation(IWICBitmapFrameDecode* frame, uint16_t* orientation) {
    ComPtr<IWICMetadataQueryReader> reader;
    if (FAILED(frame->GetMetadataQueryReader(reader.Put())) || !reader) return false;
    PROPVARIANT value;
    PropVariantInit(&value);
    RETURN_FALSE_IF_FAILED(reader->GetMetadataByName(kOrientationQuery, &value));
    if (value.vt == VT_UI2) *orientation = value.uiVal;
    PropVariantClear(&value);
    return true;
}

bool ReadFileExifOrientation(const wchar_t* path, uint16_t* orientation) {
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::vector<uint8_t> head(kExifSearchBytes);
    DWORD read = 0;
    const BOOL ok = ReadFile(file, head.data(), kExifSearchBytes, &read, nullptr);
    CloseHandle(file);
    return ok && ReadJpegExifOrientation(head.data(), read, orientation);
}

bool CreateTurnedBitmap(IWICImagingFactory* factory, IWICBitmapSource* converted,
                        IWICBitmapSource* turned, uint32_t transform, IWICBitmap** out) {
    ComPtr<IWICBitmap> bitmap;
    if (SUCCEEDED(factory->CreateBitmapFromSource(turned, WICBitmapCacheOnLoad, bitmap.Put())) &&
        bitmap) {
        *out = bitmap.Detach();
        return true;
    }
    // Without a turn the flip-rotator only passes the decode through: its
    // failure is the decoder's, and our turn would fail alike.
    if (transform == kTransformRotate0) return false;
    return TurnIntoNewBitmap(factory, converted, transform, out);
}

namespace {

// The reduction of `frame` (frameWidth x frameHeight as stored) to width x
// height as stored, turned by `transform` last.
bool DecodeReduced(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, UINT frameWidth,
                   UINT frameHeight, UINT width, UINT height, uint32_t transform, IWICBitmap** out,
                   const DecodeGate& gate) {
    ComPtr<IWICBitmap> scaledByCodec;
    IWICBitmapSource* source = frame;
    if (DecodeScaledByCodec(factory, frame, frameWidth, frameHeight, width, height, scaledByCodec))
        source = scaledByCodec.Get();
    ComPtr<IWICFormatConverter> converter;
    RETURN_FALSE_IF_FAILED(factory->CreateFormatConverter(converter.Put()));
    RETURN_FALSE_IF_FAILED(converter->Initialize(source, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                                 nullptr, 0.0, WICBitmapPaletteTypeCustom));
    UINT sourceWidth = 0;
    UINT sourceHeight = 0;
    RETURN_FALSE_IF_FAILED(converter->GetSize(&sourceWidth, &sourceHeight));
    if (sourceWidth == width && sourceHeight == height) {  // the codec gave the size exactly
        ComPtr<IWICBitmapFlipRotator> rotator;
        RETURN_FALSE_IF_FAILED(factory->CreateBitmapFlipRotator(rotator.Put()));
        RETURN_FALSE_IF_FAILED(
            rotator->Initialize(converter.Get(), static_cast<WICBitmapTransformOptions>(transform)));
        return CreateTurnedBitmap(factory, converter.Get(), rotator.Get(), transform, out);
    }
    WICBitmapInterpolationMode mode{};
    if (AveragingScalerMode(factory, &mode)) {
        ComPtr<IWICBitmapScaler> scaler;
        ComPtr<IWICBitmapFlipRotator> rotator;
        if (SUCCEEDED(factory->CreateBitmapScaler(scaler.Put())) &&
            SUCCEEDED(scaler->Initialize(converter.Get(), width, height, mode)) &&
            SUCCEEDED(factory->CreateBitmapFlipRotator(rotator.Put())) &&
            SUCCEEDED(rotator->Initialize(scaler.Get(), static_cast<WICBitmapTransformOptions>(transform))))
            return CreateTurnedBitmap(factory, scaler.Get(), rotator.Get(), transform, out);
    }
    // The codec's own opaque BGR needs no conversion: alpha 255 premultiplies
    // to the same bytes, and the reduction adds it.
    WICPixelFormatGUID format{};
    const bool opaqueBgr =
        SUCCEEDED(source->GetPixelFormat(&format)) && IsEqualGUID(format, GUID_WICPixelFormat24bppBGR);
    return ReduceIntoNewBitmap(factory, opaqueBgr ? source : converter.Get(), width, height, transform, out,
                               gate);
}

}  // namespace

bool DecodeStillImage(const wchar_t* path, int32_t panelWidth, int32_t panelHeight, IWICBitmap** out,
                      ImageSize* original, const DecodeGate& gate) {
    IWICImagingFactory* factory = g_wicFactory;
    if (!factory || !path || !out) return false;

    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<GatedFileStream> stream;
    if (!CreateGatedDecoder(factory, path, gate, decoder, stream)) return false;
    // However this ends, before the decoder (and the stream) are let go.
    struct EndOfDecode {
        GatedFileStream* stream;
        ~EndOfDecode() {
            if (stream) stream->EndDecode();
        }
    } endOfDecode{stream.Get()};
    if (stream && stream->Refused()) return false;  // cut short while the decoder was made
    if (stream) stream->SetArmed(false);
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.Put())) || !frame) return false;
    UINT frameWidth = 0;
    UINT frameHeight = 0;
    if (FAILED(frame->GetSize(&frameWidth, &frameHeight)) || frameWidth == 0 || frameHeight == 0)
        return false;

    uint16_t orientation = 1;
    if (!QueryFrameOrientation(frame.Get(), &orientation) && IsJpeg(decoder.Get()))
        ReadFileExifOrientation(path, &orientation);
    const uint32_t transform = OrientationTransform(orientation);
    const bool swap = TransformSwapsAxes(transform);
    if (stream) stream->SetArmed(true);

    // The kept size is chosen for the upright picture; the reduction runs on
    // the stored one (with the axes exchanged back), and the turn comes last.
    const ImageSize upright{swap ? frameHeight : frameWidth, swap ? frameWidth : frameHeight};
    const ScreenFit fit = FitOnScreen(upright.width, upright.height, panelWidth, panelHeight);
    const UINT keptWidth = swap ? fit.keptHeight : fit.keptWidth;
    const UINT keptHeight = swap ? fit.keptWidth : fit.keptHeight;
    bool decoded;
    if (keptWidth != 0 && (keptWidth < frameWidth || keptHeight < frameHeight)) {
        decoded = DecodeReduced(factory, frame.Get(), frameWidth, frameHeight, keptWidth, keptHeight,
                                transform, out, gate);
    } else {
        // Converted before the turn: the turn is the last stage before the pixels are kept.
        ComPtr<IWICFormatConverter> converter;
        ComPtr<IWICBitmapFlipRotator> rotator;
        decoded = SUCCEEDED(factory->CreateFormatConverter(converter.Put())) &&
                  SUCCEEDED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA,
                                                  WICBitmapDitherTypeNone, nullptr, 0.0,
                                                  WICBitmapPaletteTypeCustom)) &&
                  SUCCEEDED(factory->CreateBitmapFlipRotator(rotator.Put())) &&
                  SUCCEEDED(rotator->Initialize(converter.Get(),
                                                static_cast<WICBitmapTransformOptions>(transform))) &&
                  CreateTurnedBitmap(factory, converter.Get(), rotator.Get(), transform, out);
    }
    // A read refused cut the picture short: whatever the codec made of the
    // rest is not the picture.
    if (decoded && stream && stream->Refused()) {
        SafeRelease(out);
        return false;
    }
    if (decoded && original) *original = upright;
    return decoded;
}
