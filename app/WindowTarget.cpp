#include "app/WindowTarget.h"

#include "app/ComPtr.h"

namespace {

// An HWND render target for the whole client area of `window`. Asks for
// R8G8B8A8 premultiplied first; where the platform refuses that format for
// window targets (Wine does), asks for B8G8R8A8 with the same alpha mode.
void CreateHwndTarget(HWND window, ID2D1HwndRenderTarget** out) {
    if (!g_d2dFactory) return;
    RECT client{};
    GetClientRect(window, &client);
    D2D1_HWND_RENDER_TARGET_PROPERTIES hwndProps = D2D1::HwndRenderTargetProperties(
        window, D2D1::SizeU(static_cast<UINT32>(client.right), static_cast<UINT32>(client.bottom)),
        D2D1_PRESENT_OPTIONS_NONE);

    // The design's format first; B8G8R8A8 only where the platform refuses it.
    const DXGI_FORMAT formats[] = {DXGI_FORMAT_R8G8B8A8_UNORM, DXGI_FORMAT_B8G8R8A8_UNORM};
    for (DXGI_FORMAT format : formats) {
        D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties(
            D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(format, D2D1_ALPHA_MODE_PREMULTIPLIED),
            0.0f, 0.0f, D2D1_RENDER_TARGET_USAGE_NONE, D2D1_FEATURE_LEVEL_DEFAULT);
        if (SUCCEEDED(g_d2dFactory->CreateHwndRenderTarget(props, hwndProps, out))) return;
    }
}

void CreateDcTarget(ID2D1DCRenderTarget** out) {
    if (!g_d2dFactory) return;
    const D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT,
        D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 0.0f, 0.0f,
        D2D1_RENDER_TARGET_USAGE_NONE, D2D1_FEATURE_LEVEL_DEFAULT);
    g_d2dFactory->CreateDCRenderTarget(&props, out);
}

}  // namespace

EndDrawFilter g_endDrawFilter = nullptr;

void CreateWindowTarget(WindowTarget& target, HWND window, bool throughWindowDc) {
    target.window = window;
    target.throughWindowDc = throughWindowDc;
    if (throughWindowDc)
        CreateDcTarget(&target.dcTarget);
    else
        CreateHwndTarget(window, &target.hwndTarget);
}

void ReleaseWindowTarget(WindowTarget& target) {
    SafeRelease(&target.hwndTarget);
    SafeRelease(&target.dcTarget);
}

void RemakeWindowTarget(WindowTarget& target) {
    ReleaseWindowTarget(target);
    CreateWindowTarget(target, target.window, target.throughWindowDc);
}

void ResizeWindowTarget(WindowTarget& target, int width, int height) {
    if (target.hwndTarget)
        target.hwndTarget->Resize(D2D1::SizeU(static_cast<UINT32>(width), static_cast<UINT32>(height)));
}

ID2D1RenderTarget* DrawingTarget(const WindowTarget& target) {
    if (target.dcTarget) return target.dcTarget;
    return target.hwndTarget;
}

ID2D1RenderTarget* BeginWindowDraw(WindowTarget& target) {
    ID2D1RenderTarget* drawing = nullptr;
    if (target.dcTarget) {
        target.drawDc = GetDC(target.window);
        if (!target.drawDc) return nullptr;
        RECT client{};
        GetClientRect(target.window, &client);
        if (FAILED(target.dcTarget->BindDC(target.drawDc, &client))) {
            ReleaseDC(target.window, target.drawDc);
            target.drawDc = nullptr;
            return nullptr;
        }
        drawing = target.dcTarget;
    } else if (target.hwndTarget) {
        drawing = target.hwndTarget;
    } else {
        return nullptr;
    }
    drawing->BeginDraw();
    return drawing;
}

bool EndWindowDraw(WindowTarget& target) {
    HRESULT hr = S_OK;
    if (ID2D1RenderTarget* drawing = DrawingTarget(target)) hr = drawing->EndDraw();
    if (g_endDrawFilter) hr = g_endDrawFilter(target.window, hr);
    if (target.drawDc) {
        ReleaseDC(target.window, target.drawDc);
        target.drawDc = nullptr;
    }
    return hr == static_cast<HRESULT>(D2DERR_RECREATE_TARGET);
}
