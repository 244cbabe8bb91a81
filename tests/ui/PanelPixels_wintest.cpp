// The panel's Direct2D drawing of a picture that already has its size on
// screen (a folder picture, the GIF's picture), checked pixel by pixel on a
// WIC bitmap render target, where Direct2D draws here as it does into the
// panel's HWND target on Windows: each picture pixel lands on its own screen
// pixel at 96 and at 144 DPI, and nothing else is touched.
#include <windows.h>
#include <d2d1.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <vector>

#include "app/ComPtr.h"
#include "app/Startup.h"
#include "ui/VideoPanel.h"

namespace {

constexpr UINT kScreenWidth = 40, kScreenHeight = 30;
constexpr uint32_t kBlack = 0xFF000000u;

// A picture whose pixels all differ.
std::vector<uint32_t> Pattern(int width, int height) {
    std::vector<uint32_t> p(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) p[y * width + x] = 0xFF000000u | (x * 23) << 16 | (y * 29) << 8 | 0x40;
    return p;
}

struct Screen {
    ComPtr<IWICBitmap> bitmap;
    ComPtr<ID2D1RenderTarget> target;
    std::vector<uint32_t> Pixels() {
        std::vector<uint32_t> out(kScreenWidth * kScreenHeight);
        EXPECT_HRESULT_SUCCEEDED(bitmap->CopyPixels(nullptr, kScreenWidth * 4, kScreenWidth * kScreenHeight * 4,
                                                    reinterpret_cast<BYTE*>(out.data())));
        return out;
    }
};

Screen MakeScreen() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (!g_d2dFactory || !g_wicFactory) CreateFactories();
    Screen s;
    EXPECT_HRESULT_SUCCEEDED(g_wicFactory->CreateBitmap(kScreenWidth, kScreenHeight, GUID_WICPixelFormat32bppPBGRA,
                                                        WICBitmapCacheOnLoad, s.bitmap.Put()));
    EXPECT_HRESULT_SUCCEEDED(
        g_d2dFactory->CreateWicBitmapRenderTarget(s.bitmap.Get(), D2D1::RenderTargetProperties(), s.target.Put()));
    return s;
}

// Every screen pixel: the picture's own inside `place`, black elsewhere.
void ExpectPictureOnItsPixels(const std::vector<uint32_t>& screen, const std::vector<uint32_t>& picture,
                              const ScreenRect& place) {
    int wrong = 0;
    for (int y = 0; y < static_cast<int>(kScreenHeight); ++y)
        for (int x = 0; x < static_cast<int>(kScreenWidth); ++x) {
            const bool inside = x >= place.left && x < place.left + place.width && y >= place.top &&
                                y < place.top + place.height;
            const uint32_t want =
                inside ? picture[(y - place.top) * place.width + (x - place.left)] : kBlack;
            if (screen[y * kScreenWidth + x] != want && ++wrong <= 3)
                ADD_FAILURE() << "at " << x << "," << y << ": " << std::hex << screen[y * kScreenWidth + x]
                              << " instead of " << want;
        }
    EXPECT_EQ(wrong, 0);
}

TEST(PanelPixels, SizedPicturesLandOnTheirOwnPixels) {
    const ScreenRect place{5, 7, 11, 9};
    for (float dpi : {96.0f, 144.0f}) {
        SCOPED_TRACE(dpi);
        std::vector<uint32_t> picture = Pattern(place.width, place.height);
        {
            SCOPED_TRACE("folder picture");
            Screen screen = MakeScreen();
            ComPtr<ID2D1Bitmap> bitmap;
            ASSERT_HRESULT_SUCCEEDED(screen.target->CreateBitmap(
                D2D1::SizeU(place.width, place.height), picture.data(), place.width * 4,
                D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED)),
                bitmap.Put()));
            screen.target->BeginDraw();
            screen.target->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
            DrawPictureOnItsPixels(screen.target.Get(), dpi, bitmap.Get(), place);
            ASSERT_HRESULT_SUCCEEDED(screen.target->EndDraw());
            ExpectPictureOnItsPixels(screen.Pixels(), picture, place);
        }
        {
            SCOPED_TRACE("GIF picture, whole and then a changed part");
            Screen screen = MakeScreen();
            VideoPanel panel;
            panel.gifFit.dest = GifRect{place.left, place.top, place.left + place.width, place.top + place.height};
            panel.gifPicture = picture;
            screen.target->BeginDraw();
            DrawGifPicture(panel, screen.target.Get(), dpi, GifRect{});
            ASSERT_HRESULT_SUCCEEDED(screen.target->EndDraw());
            ExpectPictureOnItsPixels(screen.Pixels(), picture, place);
            for (int y = 2; y < 4; ++y)
                for (int x = 3; x < 6; ++x) panel.gifPicture[y * place.width + x] = 0xFF10E0F0u;
            screen.target->BeginDraw();
            DrawGifPicture(panel, screen.target.Get(), dpi, GifRect{3, 2, 6, 4});
            ASSERT_HRESULT_SUCCEEDED(screen.target->EndDraw());
            ExpectPictureOnItsPixels(screen.Pixels(), panel.gifPicture, place);
            SafeRelease(&panel.gifPictureBitmap);
        }
    }
}

}  // namespace
