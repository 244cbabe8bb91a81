// The resources built into kestrelon.exe: manifest, icon group 101, version.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/ComPtr.h"
#include "app/DrawingResources.h"
#include "app/PlayerState.h"
#include "kestrelon_version.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The test program runs from build/win/tests; the product is one folder up.
std::wstring ProductPath() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path = path.substr(0, path.find_last_of(L'\\'));
    path = path.substr(0, path.find_last_of(L'\\'));
    return path + L"\\kestrelon.exe";
}

TEST(Resources, IconManifestAndVersion) {
    const std::wstring exe = ProductPath();
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);

    // The group holds the 256 x 256 picture as PNG, which Windows reads itself,
    // and 48, 32, 24 and 16 pixel bitmaps, which every loader reads (Wine 8's
    // loader takes no PNG icon).
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(kAppIconResource), MAKEINTRESOURCEW(14));
    ASSERT_NE(group, nullptr) << "icon group";
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(module, group)));
    ASSERT_EQ(SizeofResource(module, group), 6u + 5u * 14u);
    const struct {
        int size;
        bool png;
    } images[] = {{256, true}, {48, false}, {32, false}, {24, false}, {16, false}};
    for (const auto& want : images) {
        SCOPED_TRACE(want.size);
        const int id = LookupIconIdFromDirectoryEx(directory, TRUE, want.size, want.size, LR_DEFAULTCOLOR);
        HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3));
        ASSERT_NE(image, nullptr);
        auto* bytes = static_cast<BYTE*>(LockResource(LoadResource(module, image)));
        const DWORD imageSize = SizeofResource(module, image);
        ASSERT_GT(imageSize, 40u);
        UINT width = 0, height = 0;
        if (want.png) {
            EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes) + 1, 3), "PNG");
            ComPtr<IWICStream> stream;
            ASSERT_TRUE(SUCCEEDED(g_wicFactory->CreateStream(stream.Put())));
            ASSERT_TRUE(SUCCEEDED(stream->InitializeFromMemory(bytes, imageSize)));
            ComPtr<IWICBitmapDecoder> decoder;
            ASSERT_TRUE(SUCCEEDED(g_wicFactory->CreateDecoderFromStream(
                stream.Get(), nullptr, WICDecodeMetadataCacheOnLoad, decoder.Put())));
            ComPtr<IWICBitmapFrameDecode> frame;
            ASSERT_TRUE(SUCCEEDED(decoder->GetFrame(0, frame.Put())));
            frame->GetSize(&width, &height);
        } else {
            const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(bytes);
            EXPECT_EQ(header->biSize, sizeof(BITMAPINFOHEADER));
            EXPECT_EQ(header->biBitCount, 32);
            width = static_cast<UINT>(header->biWidth);
            height = static_cast<UINT>(header->biHeight / 2);  // colour and mask rows
        }
        EXPECT_EQ(width, static_cast<UINT>(want.size));
        EXPECT_EQ(height, static_cast<UINT>(want.size));
    }

    HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(manifest, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
    const std::string xml(text, SizeofResource(module, manifest));
    EXPECT_NE(xml.find("PerMonitorV2"), std::string::npos);
    EXPECT_NE(xml.find("True/PM"), std::string::npos);
    EXPECT_NE(xml.find("longPathAware"), std::string::npos);
    EXPECT_NE(xml.find("asInvoker"), std::string::npos);
    FreeLibrary(module);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));
    wchar_t* product = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
    EXPECT_STREQ(product, L"Kestrelon");
    // The version block and the window title come from the same version.
    wchar_t* productVersion = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\ProductVersion",
                               reinterpret_cast<void**>(&productVersion), &length));
    EXPECT_EQ(std::wstring(L"Kestrelon") + productVersion, std::wstring(kWindowTitle));
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(sscanf(KESTRELON_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    EXPECT_EQ(fixed->dwFileVersionMS, major << 16 | minor);
    EXPECT_EQ(fixed->dwFileVersionLS, patch << 16);
}

}  // namespace
