#pragma once
// A source reader of our own for Windows-side tests of the poster frame: its
// first video stream yields one NV12 frame of a flat colour, laid out with
// the row stride the test chooses, and its current and native types carry the
// colour primaries the test chooses. ReadSample can be held at a gate (a
// decoder that stalls). Safe to call from the poster's worker thread while
// the test thread reads the counters.
//
//   FakeSourceReader* reader = new FakeSourceReader();  // one reference, the caller's
//   reader->nativePrimaries = MFVideoPrimaries_BT709;
//   ReadPosterFrame(state, reader, 10000);
//   reader->Release();
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <cstring>

#include "tests/video/FakeUnknown.h"

class FakeSourceReader : public FakeUnknown<IMFSourceReader> {
public:
    // The frame: width x height, rows `stride` bytes apart (stride >= width).
    UINT32 width = 16, height = 8, stride = 16;
    BYTE luma = 120, u = 90, v = 200;
    // MF_MT_VIDEO_PRIMARIES of the output type and of the native type; 0 leaves it out.
    UINT32 currentPrimaries = 0, nativePrimaries = 0;
    // MF_MT_YUV_MATRIX of the two types the same way.
    UINT32 currentMatrix = 0, nativeMatrix = 0;
    // When set, ReadSample signals `reading` and waits for the gate. Not owned.
    std::atomic<HANDLE> readGate{nullptr};
    std::atomic<HANDLE> reading{nullptr};
    std::atomic<int> readsDone{0};
    std::atomic<bool> askedForNv12{false};
    // What SetCurrentMediaType answers (a decoder without an NV12 output).
    HRESULT setTypeResult = S_OK;

    STDMETHODIMP GetStreamSelection(DWORD, BOOL* selected) override {
        if (selected) *selected = TRUE;
        return S_OK;
    }
    STDMETHODIMP SetStreamSelection(DWORD, BOOL) override { return S_OK; }
    STDMETHODIMP GetNativeMediaType(DWORD, DWORD, IMFMediaType** type) override {
        return MakeType(MFVideoFormat_H264, nativePrimaries, nativeMatrix, type);
    }
    STDMETHODIMP GetCurrentMediaType(DWORD, IMFMediaType** type) override {
        return MakeType(MFVideoFormat_NV12, currentPrimaries, currentMatrix, type);
    }
    STDMETHODIMP SetCurrentMediaType(DWORD, DWORD*, IMFMediaType* type) override {
        GUID subtype = GUID_NULL;
        if (type && SUCCEEDED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) && subtype == MFVideoFormat_NV12)
            askedForNv12 = true;
        return setTypeResult;
    }
    STDMETHODIMP SetCurrentPosition(REFGUID, REFPROPVARIANT) override { return S_OK; }
    STDMETHODIMP ReadSample(DWORD, DWORD, DWORD* index, DWORD* flags, LONGLONG* timestamp,
                            IMFSample** sample) override {
        if (HANDLE gate = readGate.load()) {
            if (HANDLE signal = reading.load()) SetEvent(signal);
            WaitForSingleObject(gate, INFINITE);
        }
        if (index) *index = 0;
        if (flags) *flags = 0;
        if (timestamp) *timestamp = 0;
        const HRESULT hr = MakeSample(sample);
        ++readsDone;
        return hr;
    }
    STDMETHODIMP Flush(DWORD) override { return S_OK; }
    STDMETHODIMP GetServiceForStream(DWORD, REFGUID, REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP GetPresentationAttribute(DWORD, REFGUID, PROPVARIANT*) override { return E_NOTIMPL; }

private:
    virtual ~FakeSourceReader() = default;

    HRESULT MakeType(REFGUID subtype, UINT32 primaries, UINT32 matrix, IMFMediaType** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        IMFMediaType* type = nullptr;
        HRESULT hr = MFCreateMediaType(&type);
        if (FAILED(hr)) return hr;
        type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        type->SetGUID(MF_MT_SUBTYPE, subtype);
        MFSetAttributeSize(type, MF_MT_FRAME_SIZE, width, height);
        if (primaries != 0) type->SetUINT32(MF_MT_VIDEO_PRIMARIES, primaries);
        if (matrix != 0) type->SetUINT32(MF_MT_YUV_MATRIX, matrix);
        *out = type;
        return S_OK;
    }

    HRESULT MakeSample(IMFSample** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        const DWORD rows = height / 2 * 3;
        const DWORD bytes = stride * rows;
        IMFMediaBuffer* buffer = nullptr;
        HRESULT hr = MFCreateMemoryBuffer(bytes, &buffer);
        if (FAILED(hr)) return hr;
        BYTE* data = nullptr;
        buffer->Lock(&data, nullptr, nullptr);
        // Padding bytes are 0: read as pixels, they would show as fill green.
        std::memset(data, 0, bytes);
        for (DWORD y = 0; y < height; ++y) std::memset(data + y * stride, luma, width);
        for (DWORD y = height; y < rows; ++y)
            for (DWORD x = 0; x + 1 < width; x += 2) {
                data[y * stride + x] = u;
                data[y * stride + x + 1] = v;
            }
        buffer->Unlock();
        buffer->SetCurrentLength(bytes);
        IMFSample* sample = nullptr;
        hr = MFCreateSample(&sample);
        if (SUCCEEDED(hr)) hr = sample->AddBuffer(buffer);
        buffer->Release();
        if (FAILED(hr)) {
            if (sample) sample->Release();
            return hr;
        }
        *out = sample;
        return S_OK;
    }
};
