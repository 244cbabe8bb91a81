#include "video/PosterFrame.h"

#include <mferror.h>

#include <atomic>
#include <cwchar>
#include <new>

#include "app/ComPtr.h"
#include "app/HResult.h"
#include "app/PlayerState.h"
#include "app/StageTrace.h"
#include "video/Nv12.h"
#include "video/MediaSource.h"

namespace {

// A read may end without a sample (a stream tick, a format change); a few more
// reads get past that, an error or the end of the stream does not.
constexpr int kFirstSampleReads = 8;
// The type asked for (NV12) carries no colour description of its own: the
// decoder's output type may pass the stream's on, the source's native type
// has it from the file; each attribute is taken from the first type that has
// it. Where none says (Wine's types never do), the platform's rule for an
// unknown matrix holds: BT.601 for standard definition, BT.709 for high
// definition (CoefficientRowOf).
int32_t StreamCoefficientRow(IMFSourceReader* reader) {
    constexpr DWORD kStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
    ComPtr<IMFMediaType> types[3];
    reader->GetCurrentMediaType(kStream, types[0].Put());
    reader->GetNativeMediaType(kStream, static_cast<DWORD>(MF_SOURCE_READER_CURRENT_TYPE_INDEX), types[1].Put());
    reader->GetNativeMediaType(kStream, 0, types[2].Put());
    StreamColour colour;
    for (const ComPtr<IMFMediaType>& type : types) {
        if (!type) continue;
        if (!colour.hasMatrix) colour.hasMatrix = SUCCEEDED(type->GetUINT32(MF_MT_YUV_MATRIX, &colour.matrix));
        if (!colour.hasPrimaries)
            colour.hasPrimaries = SUCCEEDED(type->GetUINT32(MF_MT_VIDEO_PRIMARIES, &colour.primaries));
    }
    if (types[0]) MFGetAttributeSize(types[0].Get(), MF_MT_FRAME_SIZE, &colour.width, &colour.height);
    return CoefficientRowOf(colour);
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

// Converts, turns and crops the locked frame. Some pipelines pad NV12 rows
// (Wine's GStreamer decoding pads them to 4 bytes): the stride comes from
// the buffer's length, and such rows are packed before the conversion.
bool BuildPosterFrom(const BYTE* data, DWORD length, IMFMediaType* outputType, int32_t colorPrimaries,
                     BgraPicture& picture) {
    UINT32 width = 0, height = 0;
    RETURN_FALSE_IF_FAILED(MFGetAttributeSize(outputType, MF_MT_FRAME_SIZE, &width, &height));
    UINT32 rotation = 0;
    if (FAILED(outputType->GetUINT32(MF_MT_VIDEO_ROTATION, &rotation))) rotation = 0;
    const uint32_t stride = Nv12BufferStride(length, width, height);
    if (stride == 0) return false;
    if (stride == width) return BuildPosterPicture(data, length, width, height, colorPrimaries, rotation, picture);
    std::unique_ptr<uint8_t[]> packed;
    if (!PackNv12Rows(data, length, width, height, stride, packed)) return false;
    return BuildPosterPicture(packed.get(), Nv12FrameBytes(width, height), width, height, colorPrimaries,
                              rotation, picture);
}

// One poster read, shared by the waiting UI thread and the worker; whichever
// lets go last frees it. The worker writes the results, the waiter reads them
// only once the worker has ended in time.
struct PosterRead {
    explicit PosterRead(IMFSourceReader* r) : reader(r) { reader->AddRef(); }
    PosterRead(const PosterRead&) = delete;
    PosterRead& operator=(const PosterRead&) = delete;
    ~PosterRead() { reader->Release(); }

    void Drop() {
        if (--owners == 0) delete this;
    }

    std::atomic<int> owners{2};
    IMFSourceReader* const reader;  // one reference, the job's
    int32_t colorPrimaries = 0;
    BgraPicture picture;  // empty when no frame could be made
};

// Everything that can wait on the decoder, on a worker thread. A failed
// step leaves `picture` empty: no poster.
HRESULT ReadPosterInto(IMFSourceReader* reader, int32_t& colorPrimaries, BgraPicture& picture) {
    ComPtr<IMFMediaType> wanted;
    RETURN_IF_FAILED(MFCreateMediaType(wanted.Put()));
    RETURN_IF_FAILED(wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
    RETURN_IF_FAILED(wanted->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12));
    // Frames of any other type would be read as NV12 below.
    RETURN_IF_FAILED(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, nullptr, wanted.Get()));
    colorPrimaries = StreamCoefficientRow(reader);
    TraceStage("poster type set");
    ComPtr<IMFSample> sample = ReadFirstVideoSample(reader);
    TraceStage("poster sample read");
    if (!sample) return MF_E_END_OF_STREAM;
    ComPtr<IMFMediaBuffer> buffer;
    RETURN_IF_FAILED(sample->ConvertToContiguousBuffer(buffer.Put()));
    ComPtr<IMFMediaType> outputType;
    RETURN_IF_FAILED(reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, outputType.Put()));
    if (!buffer || !outputType) return E_POINTER;
    BYTE* data = nullptr;
    DWORD maxLength = 0, length = 0;
    RETURN_IF_FAILED(buffer->Lock(&data, &maxLength, &length));
    const bool built = data && BuildPosterFrom(data, length, outputType.Get(), colorPrimaries, picture);
    (void)buffer->Unlock();  // the picture holds its own copy of the pixels by now
    return built ? S_OK : E_FAIL;
}

DWORD WINAPI PosterReadProc(void* parameter) {
    auto* job = static_cast<PosterRead*>(parameter);
    (void)ReadPosterInto(job->reader, job->colorPrimaries, job->picture);  // the outcome is the picture, or none
    job->Drop();
    return 0;
}

void StorePoster(PlayerState& state, const BgraPicture& picture) {
    if (!picture.pixels || !g_wicFactory) return;
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

// The poster made behind the playing video: its own source and reader on a
// worker thread, so the opening does not wait for a second parse of the file
// and a second decoder. Shared by the worker and the process-wide cell below;
// whichever lets go last frees it. The worker writes the results, then sets
// `done`; the UI thread reads them only after seeing `done`.
struct BackgroundPoster {
    std::atomic<int> owners{2};
    std::atomic<bool> done{false};
    const PlayerState* state = nullptr;  // whose poster it is; never dereferenced by the worker
    wchar_t diskPath[kPathChars] = {};
    wchar_t urlHint[kPathChars] = {};
    HANDLE thread = nullptr;  // closed by the cell's owner
    int32_t colorPrimaries = 0;
    BgraPicture picture;

    void Drop() {
        if (--owners == 0) {
            if (thread) CloseHandle(thread);
            delete this;
        }
    }
};
// The latest poster begun: written by whichever thread begins it (the clock
// tick's or the UI thread), replaced only for another state (tests).
std::atomic<BackgroundPoster*> g_poster{nullptr};

DWORD WINAPI BackgroundPosterProc(void* parameter) {
    auto* job = static_cast<BackgroundPoster*>(parameter);
    ComPtr<IMFMediaSource> source;
    if (SUCCEEDED(CreateReadOnlyMediaSource(job->diskPath, job->urlHint, source.Put(), kVideoOpenLimitMs)) &&
        source) {
        {
            ComPtr<IMFSourceReader> reader;
            if (SUCCEEDED(MFCreateSourceReaderFromMediaSource(source.Get(), nullptr, reader.Put())) && reader)
                (void)ReadPosterInto(reader.Get(), job->colorPrimaries, job->picture);
        }
        (void)source->Shutdown();  // the file is let go of now; nobody waits for word of it
    }
    TraceStage("poster made");
    job->done.store(true);
    job->Drop();
    return 0;
}

}  // namespace

void BeginPosterFrame(const PlayerState& state) {
    if (state.quitRequested.load()) return;  // the close waits for none begun after it
    BackgroundPoster* current = g_poster.load();
    if (current && current->state == &state && std::wcscmp(current->diskPath, state.diskPath) == 0) return;
    auto* job = new (std::nothrow) BackgroundPoster;
    if (!job) return;
    job->state = &state;
    std::wcsncpy(job->diskPath, state.diskPath, kPathChars - 1);
    std::wcsncpy(job->urlHint, state.filePath, kPathChars - 1);
    if (!g_poster.compare_exchange_strong(current, job)) {
        delete job;  // another thread began it just now
        return;
    }
    if (current) current->Drop();  // another state's, whose waiter is gone
    job->thread = CreateThread(nullptr, 0, BackgroundPosterProc, job, CREATE_SUSPENDED, nullptr);
    if (!job->thread) {
        job->done.store(true);  // nothing to wait for: no poster
        job->Drop();            // the worker's share
        return;
    }
    // Below the playing video's threads: the first picture and smooth
    // playback come before a picture needed only at the clip's end.
    SetThreadPriority(job->thread, THREAD_PRIORITY_BELOW_NORMAL);
    ResumeThread(job->thread);
}

bool CollectPosterFrame(PlayerState& state, ULONGLONG waitMs) {
    BackgroundPoster* job = g_poster.load();
    if (!job || job->state != &state) return true;
    if (!job->done.load() && job->thread) HandleSentMessagesUntil(job->thread, waitMs);
    if (!job->done.load()) return false;
    if (!state.posterBitmap) {
        state.colorPrimaries = job->colorPrimaries;
        StorePoster(state, job->picture);
    }
    return true;
}

bool ConvertNv12ToBgra(const PlayerState& state, const uint8_t* nv12, size_t nv12Bytes, uint32_t width,
                       uint32_t height, uint8_t* bgra, size_t bgraBytes) {
    return ConvertNv12Frame(nv12, nv12Bytes, width, height, state.colorPrimaries, bgra, bgraBytes);
}

bool ReadPosterFrame(PlayerState& state, IMFSourceReader* reader, ULONGLONG limitMs) {
    if (!reader) return true;
    auto* job = new (std::nothrow) PosterRead(reader);
    if (!job) return true;
    const HANDLE worker = CreateThread(nullptr, 0, PosterReadProc, job, 0, nullptr);
    if (!worker) {
        delete job;  // no thread to read on: no poster
        return true;
    }
    const bool finished = HandleSentMessagesUntil(worker, limitMs);
    CloseHandle(worker);
    if (finished) {
        state.colorPrimaries = job->colorPrimaries;
        StorePoster(state, job->picture);
    } else {
        // The worker may never come back; it keeps the job and the reader.
        MarkVideoPipelineStuck();
    }
    job->Drop();
    return finished;
}
