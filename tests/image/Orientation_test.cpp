#include "image/Orientation.h"

#include "tests/image/DocumentedTurn.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(Orientation, Table) {
    const uint32_t expected[] = {0, 0, 8, 2, 16, 11, 1, 9, 3, 0, 0};  // values 0..10
    for (uint32_t value = 0; value < std::size(expected); ++value)
        EXPECT_EQ(OrientationTransform(value), expected[value]) << value;
    EXPECT_EQ(OrientationTransform(65535), 0u);
    for (uint32_t value = 1; value <= 8; ++value)
        EXPECT_EQ(TransformSwapsAxes(OrientationTransform(value)), value >= 5) << value;
}

// Where displayed pixel (x, y) comes from in the stored picture (w x h), as
// EXIF defines each orientation by where the stored 0th row and column go.
struct Point {
    int x, y;
};
Point StoredPixelOf(int orientation, int x, int y, int w, int h) {
    switch (orientation) {
        case 2: return {w - 1 - x, y};          // row 0 top, column 0 right
        case 3: return {w - 1 - x, h - 1 - y};  // row 0 bottom, column 0 right
        case 4: return {x, h - 1 - y};          // row 0 bottom, column 0 left
        case 5: return {y, x};                  // row 0 left, column 0 top
        case 6: return {y, h - 1 - x};          // row 0 right, column 0 top
        case 7: return {w - 1 - y, h - 1 - x};  // row 0 right, column 0 bottom
        case 8: return {w - 1 - y, x};          // row 0 left, column 0 bottom
        default: return {x, y};
    }
}

uint32_t Tag(int x, int y) { return 0x01000000u + static_cast<uint32_t>(y) * 4096u + x; }

// Our own turn agrees with the platform's documented order for every
// combination of rotation and flips, not only for the eight the table uses.
TEST(Orientation, TurnFlipsBeforeItRotates) {
    const int w = 5, h = 3;
    std::vector<uint32_t> stored(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) stored[y * w + x] = Tag(x, y);
    for (uint32_t flips : {0u, 8u, 16u, 24u}) {
        for (uint32_t rotation = 0; rotation < 4; ++rotation) {
            const uint32_t transform = flips | rotation;
            const int tw = (rotation & 1) ? h : w;
            std::vector<uint32_t> target(w * h, 0);
            TransformPixelRows(reinterpret_cast<const uint8_t*>(stored.data()), w * 4, w, h, 0, h, transform,
                               reinterpret_cast<uint8_t*>(target.data()), tw * 4);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const TurnedPoint to = DocumentedTurn(transform, x, y, w, h);
                    ASSERT_EQ(target[to.y * tw + to.x], Tag(x, y)) << "transform " << transform;
                }
        }
    }
}

TEST(Orientation, TurnShowsEveryOrientationUpright) {
    struct Size {
        int w, h;
    };
    for (const Size size : {Size{5, 3}, Size{1, 1}, Size{1, 7}, Size{130, 70}}) {
        const int w = size.w, h = size.h;
        std::vector<uint32_t> stored(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) stored[static_cast<size_t>(y) * w + x] = Tag(x, y);
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const uint32_t transform = OrientationTransform(orientation);
            const int tw = orientation >= 5 ? h : w;
            const int th = orientation >= 5 ? w : h;
            const size_t targetStride = static_cast<size_t>(tw) * 4 + 12;  // padded rows
            for (int stripRows : {1, 7, h}) {
                SCOPED_TRACE(testing::Message() << w << "x" << h << " orientation " << orientation
                                                << " strips of " << stripRows);
                std::vector<uint8_t> target(targetStride * th, 0xEE);
                for (int first = 0; first < h; first += stripRows) {
                    const uint8_t* rows =
                        reinterpret_cast<const uint8_t*>(stored.data() + static_cast<size_t>(first) * w);
                    TransformPixelRows(rows, static_cast<size_t>(w) * 4, w, h, first, stripRows,
                                       transform, target.data(), targetStride);
                }
                for (int y = 0; y < th; ++y) {
                    for (int x = 0; x < tw; ++x) {
                        uint32_t got = 0;
                        std::memcpy(&got, target.data() + y * targetStride + x * 4, 4);
                        const Point from = StoredPixelOf(orientation, x, y, w, h);
                        ASSERT_EQ(got, Tag(from.x, from.y)) << "at " << x << "," << y;
                    }
                    // Row padding untouched.
                    for (size_t pad = static_cast<size_t>(tw) * 4; pad < targetStride; ++pad)
                        ASSERT_EQ(target[y * targetStride + pad], 0xEE);
                }
            }
        }
    }
}

// ---- Exif orientation inside a JPEG's first bytes ----

void Put16(std::vector<uint8_t>& v, uint16_t x, bool big) {
    if (big) { v.push_back(x >> 8); v.push_back(x & 0xFF); }
    else { v.push_back(x & 0xFF); v.push_back(x >> 8); }
}
void Put32(std::vector<uint8_t>& v, uint32_t x, bool big) {
    for (int i = 0; i < 4; ++i) v.push_back(big ? (x >> (24 - 8 * i)) & 0xFF : (x >> (8 * i)) & 0xFF);
}

struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
};

// A TIFF structure with IFD0 right after the header.
std::vector<uint8_t> Tiff(bool big, const std::vector<Entry>& entries) {
    std::vector<uint8_t> t = big ? std::vector<uint8_t>{'M', 'M'} : std::vector<uint8_t>{'I', 'I'};
    Put16(t, 42, big);
    Put32(t, 8, big);
    Put16(t, static_cast<uint16_t>(entries.size()), big);
    for (const Entry& e : entries) {
        Put16(t, e.tag, big);
        Put16(t, e.type, big);
        Put32(t, e.count, big);
        if (e.type == 3) { Put16(t, static_cast<uint16_t>(e.value), big); Put16(t, 0, big); }
        else Put32(t, e.value, big);
    }
    Put32(t, 0, big);  // no next IFD
    return t;
}

void Segment(std::vector<uint8_t>& jpeg, uint8_t marker, const std::vector<uint8_t>& payload) {
    jpeg.push_back(0xFF);
    jpeg.push_back(marker);
    Put16(jpeg, static_cast<uint16_t>(payload.size() + 2), true);
    jpeg.insert(jpeg.end(), payload.begin(), payload.end());
}

std::vector<uint8_t> ExifPayload(const std::vector<uint8_t>& tiff) {
    std::vector<uint8_t> p = {'E', 'x', 'i', 'f', 0, 0};
    p.reserve(p.size() + tiff.size());
    for (uint8_t b : tiff) p.push_back(b);
    return p;
}

std::vector<uint8_t> Jpeg(const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& segments,
                          bool withScan = true) {
    std::vector<uint8_t> jpeg = {0xFF, 0xD8};
    for (const auto& s : segments) Segment(jpeg, s.first, s.second);
    if (withScan) {
        Segment(jpeg, 0xDA, {1, 2, 3});
        jpeg.insert(jpeg.end(), {0x11, 0x22, 0xFF, 0xD9});
    }
    return jpeg;
}

const std::vector<uint8_t> kJfif = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
const std::vector<uint8_t> kXmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0, '<', 'x', '>'};
const Entry kWidth{256, 4, 1, 640};
const Entry kMake{271, 2, 4, 0x4E4F4E00};

struct ParseCase {
    const char* what;
    std::vector<uint8_t> bytes;
    bool found;
    uint16_t value;
};

TEST(ExifOrientation, FoundOnlyWhereTheTagIsAShortOfIfd0) {
    const std::vector<ParseCase> cases = {
        {"Motorola order", Jpeg({{0xE1, ExifPayload(Tiff(true, {kWidth, {274, 3, 1, 6}}))}}), true, 6},
        {"Intel order", Jpeg({{0xE1, ExifPayload(Tiff(false, {kMake, {274, 3, 1, 8}}))}}), true, 8},
        {"after JFIF", Jpeg({{0xE0, kJfif}, {0xE1, ExifPayload(Tiff(false, {{274, 3, 1, 3}}))}}),
         true, 3},
        {"after an XMP APP1", Jpeg({{0xE1, kXmp}, {0xE1, ExifPayload(Tiff(true, {{274, 3, 1, 5}}))}}),
         true, 5},
        {"values outside 1-8 are reported as stored",
         Jpeg({{0xE1, ExifPayload(Tiff(true, {{274, 3, 1, 9}}))}}), true, 9},
        {"zero", Jpeg({{0xE1, ExifPayload(Tiff(false, {{274, 3, 1, 0}}))}}), true, 0},
        {"fill bytes before a marker",
         [] {
             std::vector<uint8_t> j = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF};
             Segment(j, 0xE1, ExifPayload(Tiff(false, {{274, 3, 1, 7}})));
             j.erase(j.begin() + 5, j.begin() + 6);  // the segment's own 0xFF joins the fill
             return j;
         }(),
         true, 7},
        {"stored as LONG", Jpeg({{0xE1, ExifPayload(Tiff(false, {{274, 4, 1, 6}}))}}), false, 0},
        {"two values", Jpeg({{0xE1, ExifPayload(Tiff(true, {{274, 3, 2, 6}}))}}), false, 0},
        {"no tag 274", Jpeg({{0xE1, ExifPayload(Tiff(true, {kWidth, kMake}))}}), false, 0},
        {"empty IFD", Jpeg({{0xE1, ExifPayload(Tiff(true, {}))}}), false, 0},
        {"no Exif block", Jpeg({{0xE0, kJfif}, {0xE1, kXmp}}), false, 0},
        {"Exif after the scan",
         [] {
             std::vector<uint8_t> j = Jpeg({{0xE0, kJfif}});
             j.resize(j.size() - 2);  // drop EOI
             Segment(j, 0xE1, ExifPayload(Tiff(true, {{274, 3, 1, 6}})));
             return j;
         }(),
         false, 0},
        {"bad byte order mark",
         [] {
             auto t = Tiff(true, {{274, 3, 1, 6}});
             t[0] = 'X';
             return Jpeg({{0xE1, ExifPayload(t)}});
         }(),
         false, 0},
        {"bad magic",
         [] {
             auto t = Tiff(true, {{274, 3, 1, 6}});
             t[3] = 43;
             return Jpeg({{0xE1, ExifPayload(t)}});
         }(),
         false, 0},
        {"IFD offset past the block",
         [] {
             auto t = Tiff(false, {{274, 3, 1, 6}});
             t[4] = 0xF0;
             return Jpeg({{0xE1, ExifPayload(t)}});
         }(),
         false, 0},
        {"entry count beyond the block",
         [] {
             auto t = Tiff(false, {kMake});
             t[8] = 0;  // 0x0200 entries claimed, one present
             t[9] = 2;
             return Jpeg({{0xE1, ExifPayload(t)}});
         }(),
         false, 0},
        {"segment length past the data",
         [] {
             auto j = Jpeg({{0xE1, ExifPayload(Tiff(false, {{274, 3, 1, 6}}))}}, false);
             j[4] = 0x40;
             return j;
         }(),
         false, 0},
        {"segment length below 2", {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01, 'E', 'x'}, false, 0},
        {"not a JPEG", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, false, 0},
        {"empty", {}, false, 0},
        {"lone SOI", {0xFF, 0xD8}, false, 0},
        {"garbage after SOI", {0xFF, 0xD8, 0x12, 0x34}, false, 0},
    };
    for (const ParseCase& c : cases) {
        uint16_t value = 0xABCD;
        EXPECT_EQ(ReadJpegExifOrientation(c.bytes.data(), c.bytes.size(), &value), c.found) << c.what;
        if (c.found) {
            EXPECT_EQ(value, c.value) << c.what;
        }
    }
}

TEST(ExifOrientation, EveryTruncationIsSafe) {
    const auto whole = Jpeg({{0xE0, kJfif}, {0xE1, ExifPayload(Tiff(true, {kWidth, {274, 3, 1, 6}}))}});
    const size_t exifEnd = 2 + (2 + 2 + kJfif.size()) + (2 + 2 + 6 + Tiff(true, {kWidth, {274, 3, 1, 6}}).size());
    for (size_t n = 0; n <= whole.size(); ++n) {
        std::vector<uint8_t> prefix(whole.begin(), whole.begin() + n);  // exact size: no slack
        uint16_t value = 0;
        const bool found = ReadJpegExifOrientation(prefix.data(), prefix.size(), &value);
        EXPECT_EQ(found, n >= exifEnd) << n;
        if (found) {
            EXPECT_EQ(value, 6);
        }
    }
}

std::string DataFolder() {
    std::string here = __FILE__;
    return here.substr(0, here.find_last_of('/')) + "/data/";
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ExifOrientation, ReadsWhatExiftoolWrote) {
    for (int n = 1; n <= 8; ++n) {
        for (const char* order : {"mm", "ii"}) {
            const std::string name = "orient" + std::to_string(n) + "-" + order + ".jpg";
            const auto bytes = ReadFile(DataFolder() + name);
            ASSERT_GT(bytes.size(), 100u) << name;
            uint16_t value = 0;
            EXPECT_TRUE(ReadJpegExifOrientation(bytes.data(), bytes.size(), &value)) << name;
            EXPECT_EQ(value, n) << name;
        }
    }
    uint16_t value = 0;
    const auto asLong = ReadFile(DataFolder() + "orient6-long.jpg");
    EXPECT_FALSE(ReadJpegExifOrientation(asLong.data(), asLong.size(), &value));
    const auto grey = ReadFile(DataFolder() + "grey.jpg");
    EXPECT_FALSE(ReadJpegExifOrientation(grey.data(), grey.size(), &value));
}

#ifndef _WIN32  // guard pages through POSIX calls; the fuzz target covers Windows builds alike
// Random damage to real Exif headers, each copy placed flush against an
// unreadable page so that a read past the end faults at once.
TEST(ExifOrientation, FuzzedHeadersNeverReadOutside) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* area = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(area, MAP_FAILED);
    uint8_t* guard = static_cast<uint8_t*>(area) + page;
    ASSERT_EQ(mprotect(guard, page, PROT_NONE), 0);

    std::vector<std::vector<uint8_t>> seeds;
    for (const char* name : {"orient6-mm.jpg", "orient3-ii.jpg", "orient6-long.jpg"}) {
        auto bytes = ReadFile(DataFolder() + name);
        bytes.resize(std::min<size_t>(bytes.size(), 400));
        seeds.push_back(bytes);
    }
    seeds.push_back(Jpeg({{0xE1, kXmp}, {0xE1, ExifPayload(Tiff(false, {kMake, {274, 3, 1, 2}}))}}));

    std::mt19937 random(20240607);
    int found = 0;
    for (int round = 0; round < 200000; ++round) {
        std::vector<uint8_t> bytes = seeds[round % seeds.size()];
        const int edits = 1 + static_cast<int>(random() % 6);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            const size_t at = random() % bytes.size();
            switch (random() % 5) {
                case 0: bytes[at] = static_cast<uint8_t>(random()); break;
                case 1: bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
                case 2: bytes[at] = (random() % 2) ? 0xFF : 0x00; break;
                case 3: bytes.resize(at); break;
                default: bytes.insert(bytes.begin() + at, static_cast<uint8_t>(random())); break;
            }
        }
        if (bytes.size() > page) bytes.resize(page);
        uint8_t* start = guard - bytes.size();
        std::memcpy(start, bytes.data(), bytes.size());
        uint16_t value = 0;
        found += ReadJpegExifOrientation(start, bytes.size(), &value) ? 1 : 0;
    }
    EXPECT_GT(found, 0);  // the damage leaves many headers readable
    munmap(area, 2 * page);
}
#endif

}  // namespace
