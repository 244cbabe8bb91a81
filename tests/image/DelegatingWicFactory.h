#pragma once
// A WIC factory for Windows-side tests that hands every call on to the real
// one (Wine's here), except where Windows has what Wine lacks:
//   - a JPEG frame offers IWICBitmapSourceTransform, scaling by 1/2, 1/4 and
//     1/8 while it decodes, by averaging over the real decoded picture (as a
//     DCT scaling does), and records the sizes it was asked for;
//   - its bitmap scaler averages (or, for the scaler probe, interpolates
//     bilinearly), in every mode;
//   - its flip-rotator turns pixels in the documented order: "the flip is
//     done before the rotation", rotations clockwise.
// Installed as g_wicFactory for a test; never released (the scaler probe's
// answer is remembered per factory, so an address is never reused).
//
//   WindowsWicFactory* windows = WindowsWicFactory::Make(ScalerKind::Averaging);
//   IWICImagingFactory* real = g_wicFactory;
//   g_wicFactory = windows;  ... DecodeStillImage ...  g_wicFactory = real;
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/ComPtr.h"
#include "image/StillImage.h"
#include "tests/image/DocumentedTurn.h"
#include "tests/video/FakeUnknown.h"

enum class ScalerKind { Averaging, Bilinear };

// What the product asked of the stand-ins, for the tests to check.
struct WindowsWicRecord {
    std::vector<SIZE> codecSizes;   // sizes the codec's CopyPixels produced
    std::vector<SIZE> scalerSizes;  // sizes scalers were set up for
    std::vector<UINT> turns;        // transforms the flip-rotator turned pixels by
};

// A method handed on unchanged to `target`'s own.
#define KWIC_FORWARD(target, method, params, args) \
    STDMETHODIMP method params override { return target->method args; }

namespace windows_wic {

template <typename T>
ComPtr<T> Shared(T* p) {
    if (p) p->AddRef();
    return ComPtr<T>::Attach(p);
}

// All of `source` as 32bppPBGRA, through the real factory.
inline std::vector<uint32_t> ReadBgra(IWICImagingFactory* real, IWICBitmapSource* source, UINT* w, UINT* h) {
    std::vector<uint32_t> pixels;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(source->GetSize(w, h)) || FAILED(real->CreateFormatConverter(converter.Put())) ||
        FAILED(converter->Initialize(source, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom)))
        return pixels;
    pixels.resize(static_cast<size_t>(*w) * *h);
    if (FAILED(converter->CopyPixels(nullptr, *w * 4, static_cast<UINT>(pixels.size() * 4),
                                     reinterpret_cast<BYTE*>(pixels.data()))))
        pixels.clear();
    return pixels;
}

// Copies `rect` (all when null) of a width x height picture to `out`.
inline HRESULT CopyRect(const std::vector<uint32_t>& picture, UINT width, UINT height, const WICRect* rect,
                        UINT stride, UINT size, BYTE* out) {
    const WICRect all{0, 0, static_cast<INT>(width), static_cast<INT>(height)};
    const WICRect r = rect ? *rect : all;
    if (r.X < 0 || r.Y < 0 || r.X + r.Width > static_cast<INT>(width) || r.Y + r.Height > static_cast<INT>(height))
        return E_INVALIDARG;
    if (r.Height > 0 && (stride < static_cast<UINT>(r.Width) * 4 || size < stride * (r.Height - 1) + r.Width * 4))
        return E_INVALIDARG;
    for (INT y = 0; y < r.Height; ++y)
        std::memcpy(out + static_cast<size_t>(y) * stride, picture.data() + (r.Y + y) * width + r.X, r.Width * 4);
    return S_OK;
}

// One output pixel's share of the source along one axis: the source cells its
// box covers, with the covered fraction.
struct Share {
    UINT index;
    double weight;
};
inline std::vector<std::vector<Share>> BoxShares(UINT from, UINT to) {
    std::vector<std::vector<Share>> shares(to);
    const double step = static_cast<double>(from) / to;
    for (UINT i = 0; i < to; ++i) {
        const double begin = i * step, end = (i + 1) * step;
        for (UINT s = static_cast<UINT>(begin); s < from && s < end; ++s) {
            const double covered = std::min<double>(end, s + 1) - std::max<double>(begin, s);
            if (covered > 0) shares[i].push_back({s, covered / step});
        }
    }
    return shares;
}
inline std::vector<std::vector<Share>> BilinearShares(UINT from, UINT to) {
    std::vector<std::vector<Share>> shares(to);
    for (UINT i = 0; i < to; ++i) {
        const double at = std::clamp((i + 0.5) * from / to - 0.5, 0.0, from - 1.0);
        const UINT left = static_cast<UINT>(at);
        const double right = at - left;
        shares[i].push_back({left, 1 - right});
        if (left + 1 < from) shares[i].push_back({left + 1, right});
    }
    return shares;
}

inline std::vector<uint32_t> Resample(const std::vector<uint32_t>& in, UINT w, UINT h, UINT tw, UINT th,
                                      ScalerKind kind) {
    const auto xs = kind == ScalerKind::Averaging ? BoxShares(w, tw) : BilinearShares(w, tw);
    const auto ys = kind == ScalerKind::Averaging ? BoxShares(h, th) : BilinearShares(h, th);
    std::vector<uint32_t> out(static_cast<size_t>(tw) * th);
    for (UINT y = 0; y < th; ++y)
        for (UINT x = 0; x < tw; ++x) {
            double sum[4] = {};
            for (const Share& sy : ys[y])
                for (const Share& sx : xs[x])
                    for (int c = 0; c < 4; ++c)
                        sum[c] += sy.weight * sx.weight * ((in[sy.index * w + sx.index] >> (8 * c)) & 0xFF);
            uint32_t pixel = 0;
            for (int c = 0; c < 4; ++c) pixel |= static_cast<uint32_t>(std::lround(sum[c])) << (8 * c);
            out[y * tw + x] = pixel;
        }
    return out;
}

// What a scaler or flip-rotator stand-in hands out: a picture made from its
// source when first asked.
template <typename Interface>
class MadePicture : public FakeUnknown<Interface, IWICBitmapSource> {
public:
    IWICImagingFactory* real = nullptr;
    WindowsWicRecord* record = nullptr;
    ComPtr<IWICBitmapSource> source;
    UINT width = 0, height = 0;
    std::vector<uint32_t> pixels;
    bool made = false;
    virtual void Make() = 0;

    STDMETHODIMP GetSize(UINT* w, UINT* h) override {
        if (!source) return WINCODEC_ERR_NOTINITIALIZED;
        *w = width;
        *h = height;
        return S_OK;
    }
    STDMETHODIMP GetPixelFormat(WICPixelFormatGUID* format) override {
        *format = GUID_WICPixelFormat32bppPBGRA;
        return S_OK;
    }
    STDMETHODIMP GetResolution(double* x, double* y) override { return source->GetResolution(x, y); }
    STDMETHODIMP CopyPalette(IWICPalette*) override { return WINCODEC_ERR_PALETTEUNAVAILABLE; }
    STDMETHODIMP CopyPixels(const WICRect* rect, UINT stride, UINT size, BYTE* out) override {
        if (!source) return WINCODEC_ERR_NOTINITIALIZED;
        if (!made) {
            Make();
            made = true;
        }
        if (pixels.size() != static_cast<size_t>(width) * height) return E_FAIL;
        return CopyRect(pixels, width, height, rect, stride, size, out);
    }
};

class Scaler : public MadePicture<IWICBitmapScaler> {
public:
    ScalerKind kind = ScalerKind::Averaging;
    STDMETHODIMP Initialize(IWICBitmapSource* from, UINT w, UINT h, WICBitmapInterpolationMode) override {
        if (!from || w == 0 || h == 0) return E_INVALIDARG;
        source = Shared(from);
        width = w;
        height = h;
        record->scalerSizes.push_back(SIZE{static_cast<LONG>(w), static_cast<LONG>(h)});
        return S_OK;
    }
    void Make() override {
        UINT w = 0, h = 0;
        const std::vector<uint32_t> in = ReadBgra(real, source.Get(), &w, &h);
        if (!in.empty()) pixels = Resample(in, w, h, width, height, kind);
    }
};

class FlipRotator : public MadePicture<IWICBitmapFlipRotator> {
public:
    UINT transform = 0;
    STDMETHODIMP Initialize(IWICBitmapSource* from, WICBitmapTransformOptions options) override {
        if (!from) return E_INVALIDARG;
        source = Shared(from);
        transform = options;
        from->GetSize(&width, &height);
        if (transform & 1) std::swap(width, height);
        return S_OK;
    }
    void Make() override {
        UINT w = 0, h = 0;
        const std::vector<uint32_t> in = ReadBgra(real, source.Get(), &w, &h);
        if (in.empty()) return;
        record->turns.push_back(transform);
        pixels.assign(in.size(), 0);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x) {
                const TurnedPoint to = DocumentedTurn(transform, x, y, w, h);
                pixels[to.y * width + to.x] = in[y * w + x];
            }
    }
};

// The codec's scaling of one JPEG frame, handed out by the frame's
// QueryInterface (a tear-off: its own object, holding the real frame).
class CodecScaling : public WicSourceTransform {
public:
    CodecScaling(IWICImagingFactory* real, WindowsWicRecord* record, IWICBitmapFrameDecode* frame)
        : real_(real), record_(record), frame_(Shared(frame)) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != kIidWicSourceTransform && iid != __uuidof(IUnknown)) return E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // The DCT scales by 1, 1/2, 1/4 or 1/8, rounding up: the smallest such
    // size that still holds the one asked for.
    STDMETHODIMP GetClosestSize(UINT* w, UINT* h) override {
        UINT fw = 0, fh = 0;
        frame_->GetSize(&fw, &fh);
        for (UINT shrink : {8u, 4u, 2u, 1u}) {
            const UINT sw = (fw + shrink - 1) / shrink, sh = (fh + shrink - 1) / shrink;
            if (sw >= *w && sh >= *h) {
                *w = sw;
                *h = sh;
                return S_OK;
            }
        }
        *w = fw;
        *h = fh;
        return S_OK;
    }
    STDMETHODIMP GetClosestPixelFormat(WICPixelFormatGUID* format) override {
        *format = GUID_WICPixelFormat24bppBGR;  // a JPEG's own
        return S_OK;
    }
    STDMETHODIMP DoesSupportTransform(WICBitmapTransformOptions transform, BOOL* supported) override {
        *supported = transform == WICBitmapTransformRotate0;
        return S_OK;
    }
    STDMETHODIMP CopyPixels(const WICRect* rect, UINT w, UINT h, WICPixelFormatGUID* format,
                            WICBitmapTransformOptions transform, UINT stride, UINT size, BYTE* out) override {
        UINT closeW = w, closeH = h;
        GetClosestSize(&closeW, &closeH);
        if (rect || closeW != w || closeH != h || transform != WICBitmapTransformRotate0 ||
            !IsEqualGUID(*format, GUID_WICPixelFormat24bppBGR))
            return E_INVALIDARG;
        UINT fw = 0, fh = 0;
        const std::vector<uint32_t> full = ReadBgra(real_, frame_.Get(), &fw, &fh);
        if (full.empty() || size < stride * (h - 1) + w * 3) return E_FAIL;
        const std::vector<uint32_t> scaled = Resample(full, fw, fh, w, h, ScalerKind::Averaging);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x) std::memcpy(out + y * stride + x * 3, &scaled[y * w + x], 3);
        record_->codecSizes.push_back(SIZE{static_cast<LONG>(w), static_cast<LONG>(h)});
        return S_OK;
    }

private:
    virtual ~CodecScaling() = default;
    std::atomic<ULONG> references_{1};
    IWICImagingFactory* real_;
    WindowsWicRecord* record_;
    ComPtr<IWICBitmapFrameDecode> frame_;
};

// A JPEG frame that offers the codec's scaling; everything else is the real frame's.
class JpegFrame : public FakeUnknown<IWICBitmapFrameDecode, IWICBitmapSource> {
public:
    JpegFrame(IWICImagingFactory* real, WindowsWicRecord* record, IWICBitmapFrameDecode* frame)
        : real_(real), record_(record), frame_(Shared(frame)) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out && iid == kIidWicSourceTransform) {
            *out = static_cast<WicSourceTransform*>(new CodecScaling(real_, record_, frame_.Get()));
            return S_OK;
        }
        return FakeUnknown::QueryInterface(iid, out);
    }
    KWIC_FORWARD(frame_, GetSize, (UINT* w, UINT* h), (w, h))
    KWIC_FORWARD(frame_, GetPixelFormat, (WICPixelFormatGUID* f), (f))
    KWIC_FORWARD(frame_, GetResolution, (double* x, double* y), (x, y))
    KWIC_FORWARD(frame_, CopyPalette, (IWICPalette* p), (p))
    KWIC_FORWARD(frame_, CopyPixels, (const WICRect* r, UINT stride, UINT size, BYTE* out), (r, stride, size, out))
    KWIC_FORWARD(frame_, GetMetadataQueryReader, (IWICMetadataQueryReader** r), (r))
    KWIC_FORWARD(frame_, GetColorContexts, (UINT n, IWICColorContext** c, UINT* got), (n, c, got))
    KWIC_FORWARD(frame_, GetThumbnail, (IWICBitmapSource** t), (t))

private:
    IWICImagingFactory* real_;
    WindowsWicRecord* record_;
    ComPtr<IWICBitmapFrameDecode> frame_;
};

// The real decoder, whose JPEG frames come with the codec's scaling.
class Decoder : public FakeUnknown<IWICBitmapDecoder> {
public:
    Decoder(IWICImagingFactory* real, WindowsWicRecord* record, IWICBitmapDecoder* decoder)
        : real_(real), record_(record), decoder_(Shared(decoder)) {}
    KWIC_FORWARD(decoder_, QueryCapability, (IStream* s, DWORD* c), (s, c))
    KWIC_FORWARD(decoder_, Initialize, (IStream* s, WICDecodeOptions o), (s, o))
    KWIC_FORWARD(decoder_, GetContainerFormat, (GUID* f), (f))
    KWIC_FORWARD(decoder_, GetDecoderInfo, (IWICBitmapDecoderInfo** i), (i))
    KWIC_FORWARD(decoder_, CopyPalette, (IWICPalette* p), (p))
    KWIC_FORWARD(decoder_, GetMetadataQueryReader, (IWICMetadataQueryReader** r), (r))
    KWIC_FORWARD(decoder_, GetPreview, (IWICBitmapSource** p), (p))
    KWIC_FORWARD(decoder_, GetColorContexts, (UINT n, IWICColorContext** c, UINT* got), (n, c, got))
    KWIC_FORWARD(decoder_, GetThumbnail, (IWICBitmapSource** t), (t))
    KWIC_FORWARD(decoder_, GetFrameCount, (UINT* n), (n))
    STDMETHODIMP GetFrame(UINT index, IWICBitmapFrameDecode** out) override {
        ComPtr<IWICBitmapFrameDecode> frame;
        const HRESULT hr = decoder_->GetFrame(index, frame.Put());
        GUID container{};
        if (FAILED(hr) || FAILED(decoder_->GetContainerFormat(&container)) ||
            !IsEqualGUID(container, GUID_ContainerFormatJpeg)) {
            *out = frame.Detach();
            return hr;
        }
        *out = new JpegFrame(real_, record_, frame.Get());
        return S_OK;
    }

private:
    IWICImagingFactory* real_;
    WindowsWicRecord* record_;
    ComPtr<IWICBitmapDecoder> decoder_;
};

}  // namespace windows_wic

class WindowsWicFactory : public FakeUnknown<IWICImagingFactory> {
public:
    // One factory per kind for the whole test program, on the real g_wicFactory.
    static WindowsWicFactory* Make(IWICImagingFactory* real, ScalerKind kind) {
        static WindowsWicFactory* made[2] = {};
        WindowsWicFactory*& f = made[static_cast<int>(kind)];
        if (!f) {
            f = new WindowsWicFactory;
            f->real_ = real;
            f->kind_ = kind;
        }
        f->record = WindowsWicRecord{};
        return f;
    }
    WindowsWicRecord record;

    STDMETHODIMP CreateDecoderFromFilename(LPCWSTR name, const GUID* vendor, DWORD access, WICDecodeOptions o,
                                           IWICBitmapDecoder** out) override {
        ComPtr<IWICBitmapDecoder> decoder;
        const HRESULT hr = real_->CreateDecoderFromFilename(name, vendor, access, o, decoder.Put());
        if (FAILED(hr)) return hr;
        *out = new windows_wic::Decoder(real_, &record, decoder.Get());
        return S_OK;
    }
    STDMETHODIMP CreateBitmapScaler(IWICBitmapScaler** out) override {
        auto* scaler = new windows_wic::Scaler;
        scaler->real = real_;
        scaler->record = &record;
        scaler->kind = kind_;
        *out = scaler;
        return S_OK;
    }
    STDMETHODIMP CreateBitmapFlipRotator(IWICBitmapFlipRotator** out) override {
        auto* rotator = new windows_wic::FlipRotator;
        rotator->real = real_;
        rotator->record = &record;
        *out = rotator;
        return S_OK;
    }

    // Everything else is the real factory's.
    KWIC_FORWARD(real_, CreateDecoderFromStream,
                 (IStream* s, const GUID* v, WICDecodeOptions o, IWICBitmapDecoder** out), (s, v, o, out))
    KWIC_FORWARD(real_, CreateDecoderFromFileHandle,
                 (ULONG_PTR f, const GUID* v, WICDecodeOptions o, IWICBitmapDecoder** out), (f, v, o, out))
    KWIC_FORWARD(real_, CreateComponentInfo, (REFCLSID c, IWICComponentInfo** out), (c, out))
    KWIC_FORWARD(real_, CreateDecoder, (REFGUID c, const GUID* v, IWICBitmapDecoder** out), (c, v, out))
    KWIC_FORWARD(real_, CreateEncoder, (REFGUID c, const GUID* v, IWICBitmapEncoder** out), (c, v, out))
    KWIC_FORWARD(real_, CreatePalette, (IWICPalette** out), (out))
    KWIC_FORWARD(real_, CreateFormatConverter, (IWICFormatConverter** out), (out))
    KWIC_FORWARD(real_, CreateBitmapClipper, (IWICBitmapClipper** out), (out))
    KWIC_FORWARD(real_, CreateStream, (IWICStream** out), (out))
    KWIC_FORWARD(real_, CreateColorContext, (IWICColorContext** out), (out))
    KWIC_FORWARD(real_, CreateColorTransformer, (IWICColorTransform** out), (out))
    KWIC_FORWARD(real_, CreateBitmap,
                 (UINT w, UINT h, REFWICPixelFormatGUID f, WICBitmapCreateCacheOption o, IWICBitmap** out), (w, h, f, o, out))
    KWIC_FORWARD(real_, CreateBitmapFromSource,
                 (IWICBitmapSource* s, WICBitmapCreateCacheOption o, IWICBitmap** out), (s, o, out))
    KWIC_FORWARD(real_, CreateBitmapFromSourceRect,
                 (IWICBitmapSource* s, UINT x, UINT y, UINT w, UINT h, IWICBitmap** out), (s, x, y, w, h, out))
    KWIC_FORWARD(real_, CreateBitmapFromMemory,
                 (UINT w, UINT h, REFWICPixelFormatGUID f, UINT stride, UINT size, BYTE* b, IWICBitmap** out), (w, h, f, stride, size, b, out))
    KWIC_FORWARD(real_, CreateBitmapFromHBITMAP,
                 (HBITMAP b, HPALETTE p, WICBitmapAlphaChannelOption o, IWICBitmap** out), (b, p, o, out))
    KWIC_FORWARD(real_, CreateBitmapFromHICON, (HICON i, IWICBitmap** out), (i, out))
    KWIC_FORWARD(real_, CreateComponentEnumerator, (DWORD t, DWORD o, IEnumUnknown** out), (t, o, out))
    KWIC_FORWARD(real_, CreateFastMetadataEncoderFromDecoder,
                 (IWICBitmapDecoder* d, IWICFastMetadataEncoder** out), (d, out))
    KWIC_FORWARD(real_, CreateFastMetadataEncoderFromFrameDecode,
                 (IWICBitmapFrameDecode* f, IWICFastMetadataEncoder** out), (f, out))
    KWIC_FORWARD(real_, CreateQueryWriter, (REFGUID f, const GUID* v, IWICMetadataQueryWriter** out), (f, v, out))
    KWIC_FORWARD(real_, CreateQueryWriterFromReader,
                 (IWICMetadataQueryReader* r, const GUID* v, IWICMetadataQueryWriter** out), (r, v, out))

private:
    IWICImagingFactory* real_ = nullptr;
    ScalerKind kind_ = ScalerKind::Averaging;
};

#undef KWIC_FORWARD
