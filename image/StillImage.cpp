#include "image/StillImage.h"

#include <propidl.h>

#include <vector>

#include "app/ComPtr.h"
#include "app/PlayerState.h"
#include "image/Orientation.h"

static_assert(kTransformRotate0 == WICBitmapTransformRotate0, "transform values");
static_assert(kTransformRotate90 == WICBitmapTransformRotate90, "transform values");
static_assert(kTransformRotate180 == WICBitmapTransformRotate180, "transform values");
static_assert(kTransformRotate270 == WICBitmapTransformRotate270, "transform values");
static_assert(kTransformFlipHorizontal == WICBitmapTransformFlipHorizontal, "transform values");
static_assert(kTransformFlipVertical == WICBitmapTransformFlipVertical, "transform values");

namespace {

constexpr wchar_t kOrientationQuery[] = L"/app1/ifd/{ushort=274}";
// An Exif block follows the start of a JPEG (after at most a JFIF header) and
// is at most 64 KB long.
constexpr DWORD kExifSearchBytes = 128 * 1024;
constexpr UINT kPixelBytes = 4;
// Rows copied out of the converter at a time by our own turn.
constexpr UINT kStripRows = 64;

bool IsJpeg(IWICBitmapDecoder* decoder) {
    GUID container{};
    return SUCCEEDED(decoder->GetContainerFormat(&container)) &&
           IsEqualGUID(container, GUID_ContainerFormatJpeg);
}

// Our own turn of `converted` into a new bitmap, strip by strip, so that only
// one strip of the unturned picture is held besides the result.
bool TurnIntoNewBitmap(IWICImagingFactory* factory, IWICBitmapSource* converted, uint32_t transform,
                       IWICBitmap** out) {
    UINT width = 0;
    UINT height = 0;
    if (FAILED(converted->GetSize(&width, &height)) || width == 0 || height == 0) return false;
    if (width > UINT_MAX / (kPixelBytes * kStripRows)) return false;
    const bool swap = TransformSwapsAxes(transform);
    ComPtr<IWICBitmap> bitmap;
    if (FAILED(factory->CreateBitmap(swap ? height : width, swap ? width : height,
                                     GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad,
                                     bitmap.Put())))
        return false;
    {
        ComPtr<IWICBitmapLock> lock;
        if (FAILED(bitmap->Lock(nullptr, WICBitmapLockWrite, lock.Put()))) return false;
        UINT stride = 0;
        UINT bufferSize = 0;
        BYTE* target = nullptr;
        if (FAILED(lock->GetStride(&stride)) || FAILED(lock->GetDataPointer(&bufferSize, &target)) ||
            !target)
            return false;
        const UINT rowBytes = width * kPixelBytes;
        std::vector<BYTE> strip(static_cast<size_t>(rowBytes) * kStripRows);
        for (UINT first = 0; first < height; first += kStripRows) {
            const UINT rows = height - first < kStripRows ? height - first : kStripRows;
            const WICRect rect{0, static_cast<INT>(first), static_cast<INT>(width),
                               static_cast<INT>(rows)};
            if (FAILED(converted->CopyPixels(&rect, rowBytes, rowBytes * rows, strip.data())))
                return false;
            TransformPixelRows(strip.data(), rowBytes, width, height, first, rows, transform, target,
                               stride);
        }
    }  // the lock is released before the bitmap is handed out
    *out = bitmap.Detach();
    return true;
}

}  // namespace

bool QueryFrameOrientation(IWICBitmapFrameDecode* frame, uint16_t* orientation) {
    ComPtr<IWICMetadataQueryReader> reader;
    if (FAILED(frame->GetMetadataQueryReader(reader.Put())) || !reader) return false;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (FAILED(reader->GetMetadataByName(kOrientationQuery, &value))) return false;
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

bool DecodeStillImage(const wchar_t* path, IWICBitmap** out) {
    IWICImagingFactory* factory = g_wicFactory;
    if (!factory || !path || !out) return false;

    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnLoad, decoder.Put())) &&
        FAILED(factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, decoder.Put())))
        return false;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (!decoder || FAILED(decoder->GetFrame(0, frame.Put())) || !frame) return false;

    // Converted before the turn: the turn is the last stage before the pixels are kept.
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.Put())) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return false;

    uint16_t orientation = 1;
    if (!QueryFrameOrientation(frame.Get(), &orientation) && IsJpeg(decoder.Get()))
        ReadFileExifOrientation(path, &orientation);
    const uint32_t transform = OrientationTransform(orientation);

    ComPtr<IWICBitmapFlipRotator> rotator;
    if (FAILED(factory->CreateBitmapFlipRotator(rotator.Put())) ||
        FAILED(rotator->Initialize(converter.Get(), static_cast<WICBitmapTransformOptions>(transform))))
        return false;
    return CreateTurnedBitmap(factory, converter.Get(), rotator.Get(), transform, out);
}
