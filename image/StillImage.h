#pragma once
// Decoding one still image of the folder (JPEG, PNG, WebP) into an upright,
// premultiplied 32-bit WIC bitmap held in memory. Prefetch thread only.
#include <windows.h>
#include <wincodec.h>

#include <cstdint>

// Decodes frame 0 of the file at `path` through g_wicFactory: pixels converted
// to 32bppPBGRA, turned by the EXIF orientation, decoded in full now
// (cache-on-load). True with *out holding the bitmap (one reference, the
// caller's); false with *out left null. No Direct2D resource is involved.
bool DecodeStillImage(const wchar_t* path, IWICBitmap** out);

// ---- The steps, for the decoder and its tests ----

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
