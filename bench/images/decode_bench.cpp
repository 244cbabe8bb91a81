// The prefetch thread's decode (decode, reduce to the picture's size on a
// panel, convert to premultiplied BGRA, turn, keep in memory) against a bare
// full-size WIC decode loop (decode the frame's own pixels into a buffer) over
// the same files. Prints images per second of both and their ratio (goal: the
// prefetch decode reaches at least 0.9 of the bare throughput). A panel of
// 0 x 0 keeps every picture at its full size. The same ratio is also given in
// the process's CPU time, which on a shared machine does not count the other
// programs' turns (on a quiet one the two agree).
//   image_decode_bench.exe <folder> [rounds] [panel width] [panel height]
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ComPtr.h"
#include "app/PlayerState.h"
#include "app/Startup.h"
#include "image/StillImage.h"

namespace {

int32_t g_panelWidth = 1920;
int32_t g_panelHeight = 1080;

std::vector<std::wstring> ListJpegs(const std::wstring& folder) {
    std::vector<std::wstring> paths;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((folder + L"\\*.jpg").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return paths;
    do paths.push_back(folder + L"\\" + entry.cFileName);
    while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(paths.begin(), paths.end());
    return paths;
}

bool BareDecode(const std::wstring& path, std::vector<BYTE>& buffer) {
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(g_wicFactory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                       WICDecodeMetadataCacheOnDemand, decoder.Put())) ||
        FAILED(decoder->GetFrame(0, frame.Put())))
        return false;
    UINT w = 0, h = 0;
    frame->GetSize(&w, &h);
    WICPixelFormatGUID format{};
    frame->GetPixelFormat(&format);
    const UINT bytes = IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) ? 3
                       : IsEqualGUID(format, GUID_WICPixelFormat8bppGray) ? 1 : 4;
    const UINT stride = (w * bytes + 3) & ~3u;
    buffer.resize(static_cast<size_t>(stride) * h);
    return SUCCEEDED(frame->CopyPixels(nullptr, stride, static_cast<UINT>(buffer.size()), buffer.data()));
}

bool AlwaysWanted(void*) { return true; }

// As the decoders decode: behind a gate, which here never closes.
bool PrefetchDecode(const std::wstring& path) {
    IWICBitmap* bitmap = nullptr;
    if (!DecodeStillImage(path.c_str(), g_panelWidth, g_panelHeight, &bitmap, nullptr,
                          DecodeGate{AlwaysWanted, nullptr}))
        return false;
    bitmap->Release();
    return true;
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f) {
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

// User and kernel time of this process so far, in seconds.
double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](FILETIME t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);  // figures appear as they are measured
    if (argc < 2) {
        std::fprintf(stderr, "usage: image_decode_bench <folder of JPEGs> [rounds]\n");
        return 2;
    }
    const int rounds = argc > 2 ? _wtoi(argv[2]) : 3;
    if (argc > 4) {
        g_panelWidth = _wtoi(argv[3]);
        g_panelHeight = _wtoi(argv[4]);
    }
    // The prefetch thread's apartment.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CreateFactories();
    const std::vector<std::wstring> paths = ListJpegs(argv[1]);
    if (paths.empty() || !g_wicFactory) {
        std::fprintf(stderr, "no JPEG files or no WIC\n");
        return 1;
    }
    UINT w = 0, h = 0;
    {
        ComPtr<IWICBitmapDecoder> decoder;
        ComPtr<IWICBitmapFrameDecode> frame;
        g_wicFactory->CreateDecoderFromFilename(paths[0].c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.Put());
        if (decoder) decoder->GetFrame(0, frame.Put());
        if (frame) frame->GetSize(&w, &h);
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<BYTE> buffer;
    double bestBare = 1e30, bestPrefetch = 1e30, cpuBare = 1e30, cpuPrefetch = 1e30;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {  // interleaved, best of each
        LARGE_INTEGER t0, t1, t2;
        const double c0 = CpuSeconds();
        QueryPerformanceCounter(&t0);
        for (const std::wstring& path : paths) failures += BareDecode(path, buffer) ? 0 : 1;
        QueryPerformanceCounter(&t1);
        const double c1 = CpuSeconds();
        for (const std::wstring& path : paths) failures += PrefetchDecode(path) ? 0 : 1;
        QueryPerformanceCounter(&t2);
        const double c2 = CpuSeconds();
        cpuBare = std::min(cpuBare, c1 - c0);
        cpuPrefetch = std::min(cpuPrefetch, c2 - c1);
        bestBare = std::min(bestBare, Seconds(t0, t1, frequency));
        bestPrefetch = std::min(bestPrefetch, Seconds(t1, t2, frequency));
    }
    const double n = static_cast<double>(paths.size());
    std::printf("%zu JPEGs of %ux%u (%.1f MP), best of %d rounds, panel %dx%d\n", paths.size(), w, h,
                w * static_cast<double>(h) / 1e6, rounds, g_panelWidth, g_panelHeight);
    std::printf("bare WIC decode: %.2f images/s; prefetch decode: %.2f images/s; failures %d\n",
                n / bestBare, n / bestPrefetch, failures);
    std::printf("ratio prefetch / bare throughput: %.2f (goal >= 0.90)\n", bestBare / bestPrefetch);
    std::printf("in CPU time: bare %.0f ms, prefetch %.0f ms an image; ratio %.2f\n", 1e3 * cpuBare / n,
                1e3 * cpuPrefetch / n, cpuBare / cpuPrefetch);
    return failures ? 1 : 0;
}
