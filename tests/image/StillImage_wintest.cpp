// Still-image decoding on the real platform: every EXIF orientation shown
// upright, pictures as stored, every source format to premultiplied BGRA, and
// failures. Stand-in COM objects show that the platform's own answers come
// first wherever it gives them (Wine gives neither the orientation query nor a
// turning flip-rotator, so the real files exercise our fallbacks there).
#include <windows.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/ComPtr.h"
#include "app/PlayerState.h"
#include "image/Orientation.h"
#include "image/StillImage.h"
#include "image/ScreenFit.h"
#include "ui/FitGeometry.h"
#include "tests/image/DelegatingWicFactory.h"
#include "tests/image/ImageTestFiles.h"
#include "tests/video/FakeUnknown.h"

namespace {

struct Bgra {
    int b, g, r, a;
};

struct Pixels {
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};
    std::vector<uint8_t> bytes;
    Bgra At(UINT x, UINT y) const {
        if (x >= width || y >= height) return {-1, -1, -1, -1};
        const uint8_t* p = bytes.data() + (static_cast<size_t>(y) * width + x) * 4;
        return {p[0], p[1], p[2], p[3]};
    }
};

Pixels Read(IWICBitmapSource* bitmap) {
    Pixels out;
    if (!bitmap) {
        ADD_FAILURE() << "no bitmap";
        return out;
    }
    bitmap->GetSize(&out.width, &out.height);
    bitmap->GetPixelFormat(&out.format);
    out.bytes.resize(static_cast<size_t>(out.width) * out.height * 4);
    EXPECT_HRESULT_SUCCEEDED(bitmap->CopyPixels(nullptr, out.width * 4,
                                                static_cast<UINT>(out.bytes.size()), out.bytes.data()));
    return out;
}

bool Near(const Bgra& got, int r, int g, int b, int tolerance = 40) {
    return std::abs(got.r - r) <= tolerance && std::abs(got.g - g) <= tolerance &&
           std::abs(got.b - b) <= tolerance && got.a == 255;
}

// The upright quadrant picture of the sample files: 64 x 48, red top-left,
// green top-right, blue bottom-left, yellow bottom-right.
const int kQuadrant[4][3] = {{230, 30, 30}, {30, 200, 30}, {30, 30, 230}, {230, 230, 30}};
enum Corner { TL, TR, BL, BR };

// Which upright quadrant shows in each corner (tl, tr, bl, br).
struct Layout {
    Corner tl, tr, bl, br;
};
const Layout kUpright{TL, TR, BL, BR};
const Layout kStoredForSix{TR, BR, TL, BL};  // the orientation-6 file turned back a quarter

void ExpectQuadrants(const Pixels& p, const Layout& layout, const std::string& what) {
    const UINT qx = p.width / 4, qy = p.height / 4;
    const struct {
        UINT x, y;
        Corner shown;
    } probes[] = {{qx, qy, layout.tl}, {3 * qx, qy, layout.tr}, {qx, 3 * qy, layout.bl},
                  {3 * qx, 3 * qy, layout.br}};
    for (const auto& probe : probes) {
        const Bgra got = p.At(probe.x, probe.y);
        const int* want = kQuadrant[probe.shown];
        EXPECT_TRUE(Near(got, want[0], want[1], want[2]))
            << what << " at " << probe.x << "," << probe.y << ": r" << got.r << " g" << got.g
            << " b" << got.b << " a" << got.a;
    }
}

// Decoded for a panel of panelWidth x panelHeight (0 x 0: at full size).
ComPtr<IWICBitmap> Decode(const std::wstring& path, int32_t panelWidth = 1920,
                          int32_t panelHeight = 1080, ImageSize* original = nullptr) {
    IWICBitmap* raw = nullptr;
    if (!DecodeStillImage(path.c_str(), panelWidth, panelHeight, &raw, original)) {
        EXPECT_EQ(raw, nullptr);
        return {};
    }
    return ComPtr<IWICBitmap>::Attach(raw);
}

TEST(DecodeStillImage, EveryOrientationUprightInBothByteOrders) {
    // At full size, and reduced to its place on a small panel (64 x 48 on
    // 32 x 18 takes 24 x 18): the reduction runs on the stored picture and
    // the turn comes after it.
    struct Panel {
        int32_t width, height;
        UINT keptWidth, keptHeight;
    };
    const Panel panels[] = {{0, 0, 64, 48}, {1280, 720, 64, 48}, {32, 18, 24, 18}};
    for (const Panel& panel : panels) {
        for (int n = 1; n <= 8; ++n) {
            for (const wchar_t* order : {L"mm", L"ii"}) {
                const std::wstring name = L"orient" + std::to_wstring(n) + L"-" + order + L".jpg";
                SCOPED_TRACE(Narrow(name) + " on " + std::to_string(panel.width));
                ImageSize original;
                ComPtr<IWICBitmap> bitmap =
                    Decode(SampleImage(name.c_str()), panel.width, panel.height, &original);
                ASSERT_TRUE(bitmap);
                const Pixels p = Read(bitmap.Get());
                EXPECT_EQ(p.width, panel.keptWidth);
                EXPECT_EQ(p.height, panel.keptHeight);
                EXPECT_EQ(original.width, 64u);
                EXPECT_EQ(original.height, 48u);
                EXPECT_TRUE(IsEqualGUID(p.format, GUID_WICPixelFormat32bppPBGRA));
                ExpectQuadrants(p, kUpright, Narrow(name));
            }
        }
    }
}

// The branches Windows takes, through a factory that hands out what Windows
// has and Wine lacks (the codec's own scaling, an averaging scaler, a turning
// flip-rotator in the documented order): every orientation upright through
// each way a picture is reduced, at the size and place the panel fits the
// original into.
TEST(DecodeStillImage, EveryOrientationUprightThroughEachWindowsDecodePath) {
    struct Path {
        const char* what;
        ScalerKind scaler;
        UINT num, den;           // the picture's share of the panel's height
        LONG codecWidth;         // the codec's decode, 0: none
        LONG scalerWidth;        // the platform scaler's result, 0: none
        bool platformTurn;       // the flip-rotator's pixels are used
    };
    const Path paths[] = {
        {"codec size exact", ScalerKind::Averaging, 1, 2, 32, 0, true},
        {"codec size then scaler", ScalerKind::Averaging, 3, 8, 32, 24, true},
        {"scaler only", ScalerKind::Averaging, 3, 4, 0, 48, true},
        {"codec size then own reduction", ScalerKind::Bilinear, 3, 8, 32, 0, false},
        {"own reduction only", ScalerKind::Bilinear, 3, 4, 0, 0, false},
    };
    IWICImagingFactory* real = g_wicFactory;
    for (const Path& path : paths) {
        WindowsWicFactory* windows = WindowsWicFactory::Make(real, path.scaler);
        g_wicFactory = windows;
        WICBitmapInterpolationMode mode{};
        AveragingScalerMode(windows, &mode);  // probed now, so its scalers are not counted below
        for (int n = 1; n <= 8; ++n) {
            for (const wchar_t* order : {L"mm", L"ii"}) {
                const std::wstring name = L"orient" + std::to_wstring(n) + L"-" + order + L".jpg";
                SCOPED_TRACE(std::string(path.what) + ", " + Narrow(name));
                // Upright 64 x 48 (stored 48 x 64 for 5 to 8), on a panel wider
                // than the picture: it fills the height, centred.
                const bool swap = n >= 5;
                const int32_t panelHeight = static_cast<int32_t>(48 * path.num / path.den);
                const int32_t panelWidth = static_cast<int32_t>(64 * path.num / path.den) + 10;
                windows->record = WindowsWicRecord{};
                ComPtr<IWICBitmap> bitmap = Decode(SampleImage(name.c_str()), panelWidth, panelHeight);
                ASSERT_TRUE(bitmap);
                const Pixels p = Read(bitmap.Get());
                const RectF fitted = FitIntoWindow(64.0f, 48.0f, static_cast<float>(panelWidth),
                                                   static_cast<float>(panelHeight), 1.0f);
                const ScreenRect onScreen = FitOnScreen(64, 48, panelWidth, panelHeight).rect;
                EXPECT_EQ(onScreen.left, std::lround(fitted.left));
                EXPECT_EQ(static_cast<long>(p.width), std::lround(fitted.right) - std::lround(fitted.left));
                EXPECT_EQ(static_cast<long>(p.height), std::lround(fitted.bottom) - std::lround(fitted.top));
                ExpectQuadrants(p, kUpright, Narrow(name));
                // What the codec and the scaler made, as widths of the upright picture.
                const WindowsWicRecord& asked = windows->record;
                const auto uprightWidth = [swap](const std::vector<SIZE>& sizes) {
                    return sizes.empty() ? 0 : swap ? sizes.back().cy : sizes.back().cx;
                };
                EXPECT_EQ(uprightWidth(asked.codecSizes), path.codecWidth);
                EXPECT_EQ(uprightWidth(asked.scalerSizes), path.scalerWidth);
                EXPECT_EQ(!asked.turns.empty(), path.platformTurn);
            }
        }
    }
    g_wicFactory = real;
}

// The probe tells a scaler that averages from one that interpolates between
// neighbours or samples points (Wine's).
TEST(AveragingScalerMode, OnlyAnAveragingScalerPasses) {
    IWICImagingFactory* real = g_wicFactory;
    const struct {
        const char* what;
        IWICImagingFactory* factory;
        bool averages;
    } cases[] = {
        {"averaging", WindowsWicFactory::Make(real, ScalerKind::Averaging), true},
        {"bilinear", WindowsWicFactory::Make(real, ScalerKind::Bilinear), false},
    };
    for (const auto& c : cases) {
        WICBitmapInterpolationMode mode{};
        EXPECT_EQ(AveragingScalerMode(c.factory, &mode), c.averages) << c.what;
    }
}

TEST(DecodeStillImage, PicturesShownAsStored) {
    struct Case {
        const wchar_t* name;
        UINT width, height;
        Layout layout;
    };
    const Case cases[] = {
        {L"orient6-long.jpg", 48, 64, kStoredForSix},  // tag stored as LONG
        {L"orient6-as0.jpg", 48, 64, kStoredForSix},   // value 0
        {L"orient6-as9.jpg", 48, 64, kStoredForSix},   // value 9
        {L"quad.png", 64, 48, kUpright},
        {L"quad-exif6.png", 64, 48, kUpright},  // a PNG's EXIF is not a JPEG's APP1 block
        {L"palette.png", 64, 48, kUpright},
        {L"deep.png", 64, 48, kUpright},  // 16 bits per channel
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        ComPtr<IWICBitmap> bitmap = Decode(SampleImage(c.name));
        ASSERT_TRUE(bitmap);
        const Pixels p = Read(bitmap.Get());
        EXPECT_EQ(p.width, c.width);
        EXPECT_EQ(p.height, c.height);
        EXPECT_TRUE(IsEqualGUID(p.format, GUID_WICPixelFormat32bppPBGRA));
        ExpectQuadrants(p, c.layout, Narrow(c.name));
    }
}

TEST(DecodeStillImage, OtherSourceFormats) {
    {
        const Pixels grey = Read(Decode(SampleImage(L"grey.jpg")).Get());
        EXPECT_TRUE(IsEqualGUID(grey.format, GUID_WICPixelFormat32bppPBGRA));
        const Bgra p = grey.At(10, 10);
        EXPECT_TRUE(p.r == p.g && p.g == p.b && p.a == 255 && p.r > 40 && p.r < 200);
    }
    {
        // Colour premultiplied by alpha: half-transparent red is (r 128, a 128).
        const Pixels half = Read(Decode(SampleImage(L"halfred.png")).Get());
        const Bgra p = half.At(3, 3);
        EXPECT_NEAR(p.a, 128, 1);
        EXPECT_NEAR(p.r, 128, 2);
        EXPECT_EQ(p.g, 0);
        EXPECT_EQ(p.b, 0);
    }
    {
        // The first frame of a multi-frame file (red, then green).
        const Pixels gif = Read(Decode(SampleImage(L"twoframes.gif")).Get());
        EXPECT_EQ(gif.width, 16u);
        EXPECT_TRUE(Near(gif.At(8, 8), 255, 0, 0, 2));
    }
}

// The platform's factory, every call passed on, except that it has a WebP
// codec: a .webp file decodes as the same picture stored losslessly beside it
// (the codec Windows installs; Wine has none).
class WebpCodecFactory : public FakeUnknown<IWICImagingFactory> {
public:
    explicit WebpCodecFactory(IWICImagingFactory* real) : real_(real) {}
    std::atomic<int> webpOpened{0};
    STDMETHODIMP CreateDecoderFromFilename(LPCWSTR name, const GUID* vendor, DWORD access,
                                           WICDecodeOptions options, IWICBitmapDecoder** out) override {
        std::wstring path = name ? name : L"";
        if (path.size() > 5 && path.compare(path.size() - 5, 5, L".webp") == 0) {
            ++webpOpened;
            path.replace(path.size() - 5, 5, L".png");
        }
        return real_->CreateDecoderFromFilename(path.c_str(), vendor, access, options, out);
    }
#define KESTRELON_PASS_ON(method, params, args) \
    STDMETHODIMP method params override { return real_->method args; }
    KESTRELON_PASS_ON(CreateDecoderFromStream, (IStream* a, const GUID* b, WICDecodeOptions c, IWICBitmapDecoder** d), (a, b, c, d))
    KESTRELON_PASS_ON(CreateDecoderFromFileHandle, (ULONG_PTR a, const GUID* b, WICDecodeOptions c, IWICBitmapDecoder** d), (a, b, c, d))
    KESTRELON_PASS_ON(CreateComponentInfo, (REFCLSID a, IWICComponentInfo** b), (a, b))
    KESTRELON_PASS_ON(CreateDecoder, (REFGUID a, const GUID* b, IWICBitmapDecoder** c), (a, b, c))
    KESTRELON_PASS_ON(CreateEncoder, (REFGUID a, const GUID* b, IWICBitmapEncoder** c), (a, b, c))
    KESTRELON_PASS_ON(CreatePalette, (IWICPalette** a), (a))
    KESTRELON_PASS_ON(CreateFormatConverter, (IWICFormatConverter** a), (a))
    KESTRELON_PASS_ON(CreateBitmapScaler, (IWICBitmapScaler** a), (a))
    KESTRELON_PASS_ON(CreateBitmapClipper, (IWICBitmapClipper** a), (a))
    KESTRELON_PASS_ON(CreateBitmapFlipRotator, (IWICBitmapFlipRotator** a), (a))
    KESTRELON_PASS_ON(CreateStream, (IWICStream** a), (a))
    KESTRELON_PASS_ON(CreateColorContext, (IWICColorContext** a), (a))
    KESTRELON_PASS_ON(CreateColorTransformer, (IWICColorTransform** a), (a))
    KESTRELON_PASS_ON(CreateBitmap, (UINT a, UINT b, REFWICPixelFormatGUID c, WICBitmapCreateCacheOption d, IWICBitmap** e), (a, b, c, d, e))
    KESTRELON_PASS_ON(CreateBitmapFromSource, (IWICBitmapSource* a, WICBitmapCreateCacheOption b, IWICBitmap** c), (a, b, c))
    KESTRELON_PASS_ON(CreateBitmapFromSourceRect, (IWICBitmapSource* a, UINT b, UINT c, UINT d, UINT e, IWICBitmap** f), (a, b, c, d, e, f))
    KESTRELON_PASS_ON(CreateBitmapFromMemory, (UINT a, UINT b, REFWICPixelFormatGUID c, UINT d, UINT e, BYTE* f, IWICBitmap** g), (a, b, c, d, e, f, g))
    KESTRELON_PASS_ON(CreateBitmapFromHBITMAP, (HBITMAP a, HPALETTE b, WICBitmapAlphaChannelOption c, IWICBitmap** d), (a, b, c, d))
    KESTRELON_PASS_ON(CreateBitmapFromHICON, (HICON a, IWICBitmap** b), (a, b))
    KESTRELON_PASS_ON(CreateComponentEnumerator, (DWORD a, DWORD b, IEnumUnknown** c), (a, b, c))
    KESTRELON_PASS_ON(CreateFastMetadataEncoderFromDecoder, (IWICBitmapDecoder* a, IWICFastMetadataEncoder** b), (a, b))
    KESTRELON_PASS_ON(CreateFastMetadataEncoderFromFrameDecode, (IWICBitmapFrameDecode* a, IWICFastMetadataEncoder** b), (a, b))
    KESTRELON_PASS_ON(CreateQueryWriter, (REFGUID a, const GUID* b, IWICMetadataQueryWriter** c), (a, b, c))
    KESTRELON_PASS_ON(CreateQueryWriterFromReader, (IWICMetadataQueryReader* a, const GUID* b, IWICMetadataQueryWriter** c), (a, b, c))
#undef KESTRELON_PASS_ON
private:
    IWICImagingFactory* real_;
};

TEST(DecodeStillImage, WebpDecodesWhereTheSystemHasTheCodec) {
    // Here, as on Windows without the codec, the decode fails cleanly, as for
    // any format without one (Windows with the codec shows the picture).
    ComPtr<IWICBitmapDecoder> probe;
    const bool codec = SUCCEEDED(g_wicFactory->CreateDecoderFromFilename(
        SampleImage(L"quad.webp").c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
        probe.Put()));
    probe.Reset();
    ComPtr<IWICBitmap> bitmap = Decode(SampleImage(L"quad.webp"));
    EXPECT_EQ(static_cast<bool>(bitmap), codec);
    if (bitmap) ExpectQuadrants(Read(bitmap.Get()), kUpright, "webp");

    // The system with the codec: the picture as stored.
    auto* withCodec = new WebpCodecFactory(g_wicFactory);
    IWICImagingFactory* const real = g_wicFactory;
    g_wicFactory = withCodec;
    bitmap = Decode(SampleImage(L"quad.webp"));
    g_wicFactory = real;
    EXPECT_EQ(withCodec->webpOpened.load(), 1);
    ASSERT_TRUE(bitmap);
    ExpectQuadrants(Read(bitmap.Get()), kUpright, "webp with the codec");
    bitmap.Reset();
    EXPECT_EQ(withCodec->Release(), 0u);
}

TEST(DecodeStillImage, FailuresLeaveTheOutputNull) {
    TempFolder folder;
    folder.File(L"empty.jpg");
    folder.File(L"text.png", "just some text, nothing like a picture");
    for (const std::wstring& path : {SampleImage(L"damaged.jpg"), folder.Child(L"empty.jpg"),
                                     folder.Child(L"text.png"), folder.Child(L"missing.jpg"),
                                     folder.Path()}) {
        IWICBitmap* out = nullptr;
        EXPECT_FALSE(DecodeStillImage(path.c_str(), 1920, 1080, &out)) << Narrow(path);
        EXPECT_EQ(out, nullptr);
    }
}

// ---- stand-ins for the platform's objects ----

class FakeReader : public FakeUnknown<IWICMetadataQueryReader> {
public:
    HRESULT answer = S_OK;
    PROPVARIANT value{};
    std::wstring asked;
    HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLocation(UINT, WCHAR*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMetadataByName(LPCWSTR name, PROPVARIANT* out) override {
        asked = name;
        if (FAILED(answer)) return answer;
        *out = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IEnumString**) override { return E_NOTIMPL; }
};

class FakeFrame : public FakeUnknown<IWICBitmapFrameDecode, IWICBitmapSource> {
public:
    FakeReader* reader = nullptr;  // handed out with a reference; null: no reader
    HRESULT STDMETHODCALLTYPE GetSize(UINT*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetResolution(double*, double*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect*, UINT, UINT, BYTE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader** out) override {
        *out = reader;
        if (!reader) return WINCODEC_ERR_UNSUPPORTEDOPERATION;
        reader->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetColorContexts(UINT, IWICColorContext**, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource**) override { return E_NOTIMPL; }
};

TEST(QueryFrameOrientation, TakesOnlyATwoByteAnswer) {
    struct Case {
        const char* what;
        bool reader;
        HRESULT answer;
        VARTYPE type;
        uint16_t value;
        bool answered;
        uint16_t orientation;  // starting from 1
    };
    const Case cases[] = {
        {"VT_UI2 6", true, S_OK, VT_UI2, 6, true, 6},
        {"VT_UI2 0", true, S_OK, VT_UI2, 0, true, 0},
        {"VT_UI2 9", true, S_OK, VT_UI2, 9, true, 9},
        {"VT_UI4 6: answered, left as stored", true, S_OK, VT_UI4, 6, true, 1},
        {"VT_I2 6", true, S_OK, VT_I2, 6, true, 1},
        {"property not found", true, WINCODEC_ERR_PROPERTYNOTFOUND, VT_EMPTY, 0, false, 1},
        {"no query reader", false, S_OK, VT_EMPTY, 0, false, 1},
    };
    for (const Case& c : cases) {
        FakeFrame* frame = new FakeFrame;
        FakeReader* reader = nullptr;
        if (c.reader) {
            reader = new FakeReader;
            reader->answer = c.answer;
            reader->value.vt = c.type;
            if (c.type == VT_UI4) reader->value.ulVal = c.value;
            else reader->value.uiVal = c.value;
            frame->reader = reader;
        }
        uint16_t orientation = 1;
        EXPECT_EQ(QueryFrameOrientation(frame, &orientation), c.answered) << c.what;
        EXPECT_EQ(orientation, c.orientation) << c.what;
        if (reader) {
            EXPECT_EQ(reader->asked, L"/app1/ifd/{ushort=274}");
            EXPECT_EQ(reader->references.load(), 1) << c.what;  // the decoder's reference was dropped
            reader->Release();
        }
        frame->Release();
    }
}

// A picture source of `width` x `height` 32bppPBGRA pixels, all `colour`,
// or one that refuses to give pixels (as Wine's turning flip-rotator does).
class FakeSource : public FakeUnknown<IWICBitmapSource> {
public:
    UINT width = 0, height = 0;
    uint32_t colour = 0;
    HRESULT pixelsAnswer = S_OK;
    HRESULT STDMETHODCALLTYPE GetSize(UINT* w, UINT* h) override {
        *w = width;
        *h = height;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override {
        *format = GUID_WICPixelFormat32bppPBGRA;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetResolution(double* x, double* y) override {
        *x = *y = 96.0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override {
        return WINCODEC_ERR_PALETTEUNAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT, BYTE* out) override {
        if (FAILED(pixelsAnswer)) return pixelsAnswer;
        const UINT w = rect ? rect->Width : width;
        const UINT h = rect ? rect->Height : height;
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x) std::memcpy(out + y * stride + x * 4, &colour, 4);
        return S_OK;
    }
};

// A 5 x 3 picture whose every pixel is different, as a real WIC bitmap.
ComPtr<IWICBitmap> TaggedPicture(std::vector<uint32_t>* pixels) {
    pixels->resize(15);
    for (uint32_t i = 0; i < 15; ++i) (*pixels)[i] = 0xFF000000u | (i * 0x0A0B0C);
    ComPtr<IWICBitmap> bitmap;
    EXPECT_HRESULT_SUCCEEDED(g_wicFactory->CreateBitmapFromMemory(
        5, 3, GUID_WICPixelFormat32bppPBGRA, 20, 60, reinterpret_cast<BYTE*>(pixels->data()),
        bitmap.Put()));
    return bitmap;
}

TEST(CreateTurnedBitmap, ThePlatformsTurnComesFirst) {
    std::vector<uint32_t> pixels;
    ComPtr<IWICBitmap> converted = TaggedPicture(&pixels);
    FakeSource* turned = new FakeSource;
    turned->width = 3;
    turned->height = 5;
    turned->colour = 0xFFFF00FFu;  // nothing like the converted picture: the platform's own result
    IWICBitmap* out = nullptr;
    ASSERT_TRUE(CreateTurnedBitmap(g_wicFactory, converted.Get(), turned, kTransformRotate90, &out));
    const Pixels p = Read(out);
    out->Release();
    turned->Release();
    EXPECT_EQ(p.width, 3u);
    EXPECT_EQ(p.height, 5u);
    EXPECT_EQ(p.At(1, 2).r, 255);
    EXPECT_EQ(p.At(1, 2).g, 0);
}

TEST(CreateTurnedBitmap, TurnsItselfWhereThePlatformCannot) {
    std::vector<uint32_t> pixels;
    ComPtr<IWICBitmap> converted = TaggedPicture(&pixels);
    for (uint32_t orientation = 2; orientation <= 8; ++orientation) {
        const uint32_t transform = OrientationTransform(orientation);
        const bool swap = TransformSwapsAxes(transform);
        FakeSource* turned = new FakeSource;
        turned->width = swap ? 3 : 5;
        turned->height = swap ? 5 : 3;
        turned->pixelsAnswer = E_NOTIMPL;
        IWICBitmap* out = nullptr;
        ASSERT_TRUE(CreateTurnedBitmap(g_wicFactory, converted.Get(), turned, transform, &out))
            << orientation;
        turned->Release();
        const Pixels p = Read(out);
        out->Release();
        std::vector<uint32_t> expected(15);
        TransformPixelRows(reinterpret_cast<const uint8_t*>(pixels.data()), 20, 5, 3, 0, 3, transform,
                           reinterpret_cast<uint8_t*>(expected.data()), (swap ? 3 : 5) * 4);
        EXPECT_EQ(p.width, swap ? 3u : 5u);
        EXPECT_EQ(std::memcmp(p.bytes.data(), expected.data(), 60), 0) << orientation;
        EXPECT_TRUE(IsEqualGUID(p.format, GUID_WICPixelFormat32bppPBGRA));
    }
}

TEST(CreateTurnedBitmap, NoTurnOrNoPixelsIsAFailure) {
    std::vector<uint32_t> pixels;
    ComPtr<IWICBitmap> converted = TaggedPicture(&pixels);
    FakeSource* turned = new FakeSource;
    turned->width = 5;
    turned->height = 3;
    turned->pixelsAnswer = E_FAIL;
    IWICBitmap* out = nullptr;
    // Without a turn there is nothing of ours to add: the decode itself failed.
    EXPECT_FALSE(CreateTurnedBitmap(g_wicFactory, converted.Get(), turned, kTransformRotate0, &out));
    EXPECT_EQ(out, nullptr);
    // With a turn, but the converted pixels fail as well.
    FakeSource* broken = new FakeSource;
    broken->width = 5;
    broken->height = 3;
    broken->pixelsAnswer = E_FAIL;
    EXPECT_FALSE(CreateTurnedBitmap(g_wicFactory, broken, turned, kTransformRotate180, &out));
    EXPECT_EQ(out, nullptr);
    turned->Release();
    broken->Release();
}

TEST(ReduceIntoNewBitmap, OpaqueBgrReadAsItIsGivesTheConvertedBytes) {
    // The codec's own 24-bit BGR (a real JPEG frame) and every byte value (a
    // random BGR bitmap) reduce to exactly the bytes of their conversion to
    // premultiplied BGRA, in every turn.
    std::vector<uint8_t> random(37 * 3 * 23);
    uint32_t seed = 24;
    for (uint8_t& b : random) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    ComPtr<IWICBitmap> bitmap;
    ASSERT_HRESULT_SUCCEEDED(g_wicFactory->CreateBitmapFromMemory(
        37, 23, GUID_WICPixelFormat24bppBGR, 37 * 3, static_cast<UINT>(random.size()), random.data(),
        bitmap.Put()));
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_HRESULT_SUCCEEDED(g_wicFactory->CreateDecoderFromFilename(
        SampleImage(L"orient1-mm.jpg").c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
        decoder.Put()));
    ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, frame.Put()));
    for (IWICBitmapSource* source : {static_cast<IWICBitmapSource*>(bitmap.Get()),
                                     static_cast<IWICBitmapSource*>(frame.Get())}) {
        WICPixelFormatGUID format{};
        source->GetPixelFormat(&format);
        ASSERT_TRUE(IsEqualGUID(format, GUID_WICPixelFormat24bppBGR));
        ComPtr<IWICFormatConverter> converter;
        ASSERT_HRESULT_SUCCEEDED(g_wicFactory->CreateFormatConverter(converter.Put()));
        ASSERT_HRESULT_SUCCEEDED(converter->Initialize(source, GUID_WICPixelFormat32bppPBGRA,
                                                       WICBitmapDitherTypeNone, nullptr, 0.0,
                                                       WICBitmapPaletteTypeCustom));
        // And the upright one (reduced straight into its bitmap) turned is
        // every other one (reduced, then turned).
        Pixels upright;
        for (uint32_t orientation = 1; orientation <= 8; ++orientation) {
            const uint32_t transform = OrientationTransform(orientation);
            IWICBitmap* direct = nullptr;
            IWICBitmap* converted = nullptr;
            ASSERT_TRUE(ReduceIntoNewBitmap(g_wicFactory, source, 11, 7, transform, &direct));
            ASSERT_TRUE(ReduceIntoNewBitmap(g_wicFactory, converter.Get(), 11, 7, transform, &converted));
            const Pixels got = Read(direct), want = Read(converted);
            direct->Release();
            converted->Release();
            EXPECT_TRUE(IsEqualGUID(got.format, GUID_WICPixelFormat32bppPBGRA));
            EXPECT_EQ(got.width, want.width);
            EXPECT_EQ(got.bytes, want.bytes) << "orientation " << orientation;
            if (orientation == 1) upright = got;
            std::vector<uint8_t> turned(upright.bytes.size());
            TransformPixelRows(upright.bytes.data(), 11 * 4, 11, 7, 0, 7, transform, turned.data(), got.width * 4);
            EXPECT_EQ(got.bytes, turned) << "orientation " << orientation;
        }
    }
}

}  // namespace
