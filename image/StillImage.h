#pragma once
// Decoding one still image of the folder (JPEG, PNG, WebP) into an upright,
// premultiplied 32-bit WIC bitmap held in memory. Prefetch thread only.
#include <windows.h>
#include <wincodec.h>

#include <cstdint>

#include "app/PlayerState.h"

// Asked by our own reduction before each strip it reads: false stops the
// decode there, which then fails. Lets a caller drop a picture no longer
// wanted without waiting for the whole of it; a reduction the codec or the
// platform's scaler does in one call runs to its end.
struct DecodeGate {
    bool (*keepGoing)(void* context) = nullptr;
    void* context = nullptr;
    bool Open() const { return !keepGoing || keepGoing(context); }
};

// Decodes frame 0 of the file at `path` through g_wicFactory: pixels converted
// to 32bppPBGRA, turned by the EXIF orientation, decoded in full now
// (cache-on-load), at the size FitOnScreen keeps the upright picture at on a
// panel of panelWidth x panelHeight device pixels (its own size when it is
// enlarged on screen, or when the panel size is 0). A reduction averages:
// the codec's own scaling while decoding and the platform's high-quality
// scaler where they average, our area reduction otherwise; never point or
// bilinear sampling. The full-size picture is never held whole by us: it is
// read in strips. True with *out holding the bitmap (one reference, the
// caller's) and *original (if given) the upright size stored in the file;
// false with *out left null, also when `gate` closed. No Direct2D resource
// is involved.
bool DecodeStillImage(const wchar_t* path, int32_t panelWidth, int32_t panelHeight, IWICBitmap** out,
                      ImageSize* original = nullptr, const DecodeGate& gate = DecodeGate{});

// ---- The steps, for the decoder and its tests ----

// IWICBitmapSourceTransform, the codec's own scaling while it decodes (JPEG:
// by 1/2, 1/4 or 1/8 in the DCT). Declared here because not every SDK's
// wincodec.h has it; the layout and IID are the platform's. It must not sit
// in an unnamed namespace: the compiler would then know that no class of ours
// implements it and turn every call on it into a pure-virtual call.
struct WicSourceTransform : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                                 WICPixelFormatGUID* format,
                                                 WICBitmapTransformOptions transform, UINT stride,
                                                 UINT bufferSize, BYTE* buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform,
                                                           BOOL* supported) = 0;
};
constexpr IID kIidWicSourceTransform = {
    0x3B16811B, 0x6A43, 0x4ec9, {0xB7, 0x13, 0x3D, 0x5A, 0x0C, 0x13, 0xB9, 0x40}};

// Asks the frame's metadata query reader for "/app1/ifd/{ushort=274}". True
// when the query answered; *orientation is then its value if it is a VT_UI2
// and stays as it was otherwise. False when there is no reader or no answer.
bool QueryFrameOrientation(IWICBitmapFrameDecode* frame, uint16_t* orientation);

// Reads the orientation from the Exif block among the first bytes of the JPEG
// file at `path` (for platforms whose metadata query does not reach it).
// True with *orientation set when the file holds one as WIC would report it.
bool ReadFileExifOrientation(const wchar_t* path, uint16_t* orientation);

// Makes the cached bitmap of `turned` (the flip-rotator over `converted`).
// Where the platform cannot pull pixels through the flip-rotator, applies
// `transform` to the pixels of `converted` (32bppPBGRA) itself and makes the
// bitmap from those: the same picture either way.
bool CreateTurnedBitmap(IWICImagingFactory* factory, IWICBitmapSource* converted,
                        IWICBitmapSource* turned, uint32_t transform, IWICBitmap** out);

// Reduces `source` (32bppPBGRA, or opaque 24bppBGR read as it is, alpha 255
// added: the bytes its conversion would give) to width x height by area
// averaging, strip by strip, then applies `transform`: the bitmap is
// 32bppPBGRA, height x width when the transform swaps axes. Needs
// 1 <= width, height <= the source's size. Stops (false) before a strip when
// `gate` has closed.
bool ReduceIntoNewBitmap(IWICImagingFactory* factory, IWICBitmapSource* source, UINT width,
                         UINT height, uint32_t transform, IWICBitmap** out,
                         const DecodeGate& gate = DecodeGate{});

// The mode in which the platform's scaler averages when it shrinks: high-
// quality cubic, else Fant; false when neither averages (Wine 8 samples
// points; a bilinear scaler does not average either). Found by shrinking
// one-pixel stripes at 10:3, once for each factory asked, and remembered.
bool AveragingScalerMode(IWICImagingFactory* factory, WICBitmapInterpolationMode* mode);
