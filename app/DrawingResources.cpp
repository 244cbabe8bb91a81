#include "app/DrawingResources.h"

#include <shlwapi.h>
#include <wincodec.h>

#include <cwchar>

#include "app/ComPtr.h"
#include "app/HResult.h"
#include "app/PlayerState.h"

bool BlitBgraToDc(HDC dc, int x, int y, int width, int height, const void* pixels, UINT stride) {
    if (!dc || !pixels || width <= 0 || height <= 0 || stride % 4 != 0 ||
        stride / 4 < static_cast<UINT>(width))
        return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(stride / 4);  // the row pitch in pixels
    info.bmiHeader.biHeight = -height;                       // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // With top-down rows SetDIBitsToDevice still counts its source rectangle
    // from the bottom; starting at scan line 0 with all lines, y 0 is the top.
    return SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0,
                             0, static_cast<UINT>(height), pixels, &info, DIB_RGB_COLORS) != 0;
}

void FillBlack(HDC dc, const RECT& rect) {
    if (dc && rect.right > rect.left && rect.bottom > rect.top)
        FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

bool LoadBitmapFromFile(const wchar_t* path, ID2D1RenderTarget* renderTarget, ID2D1Bitmap** out) {
    if (!g_wicFactory || !renderTarget || !out) return false;
    ComPtr<IWICBitmapDecoder> decoder;
    RETURN_FALSE_IF_FAILED(g_wicFactory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ,
                                                                   WICDecodeMetadataCacheOnLoad, decoder.Put()));
    ComPtr<IWICBitmapFrameDecode> frame;
    RETURN_FALSE_IF_FAILED(decoder->GetFrame(0, frame.Put()));
    ComPtr<IWICFormatConverter> converter;
    RETURN_FALSE_IF_FAILED(g_wicFactory->CreateFormatConverter(converter.Put()));
    RETURN_FALSE_IF_FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                                 nullptr, 0.0, WICBitmapPaletteTypeCustom));
    ID2D1Bitmap* bitmap = nullptr;
    RETURN_FALSE_IF_FAILED(renderTarget->CreateBitmapFromWicBitmap(converter.Get(), nullptr, &bitmap));
    if (!bitmap) return false;
    *out = bitmap;
    return true;
}

HICON LoadAppIcon(int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIconResource),
                                         IMAGE_ICON, GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_SHARED));
}

bool BuildPathBesideExe(const wchar_t* relative, wchar_t* out) {
    wchar_t folder[kPathChars] = {};
    const DWORD n = GetModuleFileNameW(nullptr, folder, static_cast<DWORD>(kPathChars));
    if (n == 0 || n >= kPathChars) return false;  // truncated module paths are refused
    PathRemoveFileSpecW(folder);
    const size_t folderLength = std::wcslen(folder);
    const size_t relativeLength = std::wcslen(relative);
    if (folderLength + 1 + relativeLength >= kPathChars) return false;
    std::wmemcpy(out, folder, folderLength);
    out[folderLength] = L'\\';
    std::wmemcpy(out + folderLength + 1, relative, relativeLength);
    out[folderLength + 1 + relativeLength] = L'\0';
    return true;
}

void CreateUiTextFormat(float size, IDWriteTextFormat** out) {
    if (!g_dwriteFactory || !out) return;
    g_dwriteFactory->CreateTextFormat(L"メイリオ", nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                      DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, size,
                                      L"ja-jp", out);
}

float ApplyWindowDpi(HWND window, ID2D1RenderTarget* target) {
    UINT dpi = GetDpiForWindow(window);
    if (dpi == 0) dpi = 96;
    const float fdpi = static_cast<float>(dpi);
    if (target) target->SetDpi(fdpi, fdpi);
    return 96.0f / fdpi;
}
