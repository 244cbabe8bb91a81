#include "video/PosterFrame.h"

#include <mfreadwrite.h>

#include "app/ComPtr.h"
#include "video/Nv12.h"
#include "video/OpenVideo.h"

namespace {

// A read may end without a sample (a stream tick, a format change); a few more
// reads get past that, an error or the end of the stream does not.
constexpr int kFirstSampleReads = 8;

// MF_MT_VIDEO_PRIMARIES to the coefficient row: BT.709 1, BT.2020 2, else 0.
int32_t CoefficientRowFor(IMFMediaType* type) {
    UINT32 primaries = 0;
    if (!type || FAILED(type->GetUINT32(MF_MT_VIDEO_PRIMARIES, &primaries))) return 0;
    if (primaries == MFVideoPrimaries_BT709) return 1;
    if (primaries == MFVideoPrimaries_BT2020) return 2;
    return 0;
}

ComPtr<IMFSample> ReadFirstVideoSample(IMFSourceReader* reader) {
    ComPtr<IMFSample> sample;
    for (int i = 0; i < kFirstSampleReads && !sample; ++i) {
        DWORD stream = 0, flags = 0;
        LONGLONG timestamp = 0;
        if (FAILED(reader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, &stream, &flags, &timestamp,
                                      sample.Put())))
            break;
        if (flags & (MF_SOURCE_READERF_ERROR | MF_SOURCE_READERF_ENDOFSTREAM)) break;
    }
    return sample;
}

// Converts, turns and crops the locked frame and keeps it as the poster.
void StorePoster(PlayerState& state, const BYTE* data, DWORD length, IMFMediaType* outputType) {
    UINT32 width = 0, height = 0;
    if (FAILED(MFGetAttributeSize(outputType, MF_MT_FRAME_SIZE, &width, &height))) return;
    UINT32 rotation = 0;
    if (FAILED(outputType->GetUINT32(MF_MT_VIDEO_ROTATION, &rotation))) rotation = 0;
    BgraPicture picture;
    if (!BuildPosterPicture(data, length, width, height, state.colorPrimaries, rotation, picture)) return;
    if (!g_wicFactory) return;
    const UINT stride = picture.width * 4;
    IWICBitmap* bitmap = nullptr;  // CreateBitmapFromMemory copies the pixels
    if (SUCCEEDED(g_wicFactory->CreateBitmapFromMemory(picture.width, picture.height,
                                                        GUID_WICPixelFormat32bppPBGRA, stride,
                                                        stride * picture.height, picture.pixels.get(),
                                                        &bitmap)) &&
        bitmap) {
        state.posterWidth = picture.width;
        state.posterHeight = picture.height;
        state.posterBitmap = bitmap;
    }
}

}  // namespace

bool ConvertNv12ToBgra(const PlayerState& state, const uint8_t* nv12, size_t nv12Bytes, uint32_t width,
                       uint32_t height, uint8_t* bgra, size_t bgraBytes) {
    return ConvertNv12Frame(nv12, nv12Bytes, width, height, state.colorPrimaries, bgra, bgraBytes);
}

bool MakePosterFrame(PlayerState& state, const wchar_t* diskPath, const wchar_t* urlHint) {
    ComPtr<IMFMediaSource> source;
    if (FAILED(CreateReadOnlyMediaSource(diskPath, urlHint, source.Put())) || !source) return true;
    {
        ComPtr<IMFSourceReader> reader;
        if (SUCCEEDED(MFCreateSourceReaderFromMediaSource(source.Get(), nullptr, reader.Put())) && reader) {
            ComPtr<IMFMediaType> wanted;
            if (SUCCEEDED(MFCreateMediaType(wanted.Put()))) {
                wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
                wanted->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
                reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, nullptr, wanted.Get());
                state.colorPrimaries = CoefficientRowFor(wanted.Get());
                ComPtr<IMFSample> sample = ReadFirstVideoSample(reader.Get());
                ComPtr<IMFMediaBuffer> buffer;
                ComPtr<IMFMediaType> outputType;
                if (sample && SUCCEEDED(sample->ConvertToContiguousBuffer(buffer.Put())) && buffer &&
                    SUCCEEDED(reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM,
                                                          outputType.Put())) &&
                    outputType) {
                    BYTE* data = nullptr;
                    DWORD maxLength = 0, length = 0;
                    if (SUCCEEDED(buffer->Lock(&data, &maxLength, &length)) && data) {
                        StorePoster(state, data, length, outputType.Get());
                        buffer->Unlock();
                    }
                }
            }
        }
    }
    // The reader is gone; make sure the file is let go of now, not when the
    // last reference to the source happens to drop.
    source->Shutdown();
    return true;
}
