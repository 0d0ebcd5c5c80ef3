#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "file_test_support.h"
#include "imagefiles/jpeg_reader.h"
#include "imagefiles/jpeg_writer.h"
#include "imagefiles/picture_file.h"
#include "render/frame.h"
#include "writer_test_support.h"

namespace {
namespace fs = std::filesystem;

constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGrey = 0x808080;

// A frame whose rows are `top` above row `split` and `bottom` from it down, as the window's
// frame buffer would hold them; the top bytes vary, as the library must skip them.
PaddedFrame twoBandFrame(int width, int height, int split, std::uint32_t top,
                         std::uint32_t bottom) {
    return PaddedFrame(width, height, [=](int column, int row) {
        return static_cast<std::uint32_t>(column * 37 + row) << 24 | (row < split ? top : bottom);
    });
}

PaddedFrame uniformFrame(int width, int height, std::uint32_t colour) {
    return twoBandFrame(width, height, height, colour, colour);
}

Bytes encodeOrFail(const FrameView& frame, int quality, bool progressive) {
    return encodedOrFail(
        [&](ByteSink& out) { return encodeJpeg(frame, quality, progressive, out); });
}

// ---- the file's own markers ----------------------------------------------------------------

struct Segment {
    std::uint8_t marker; // the byte after FF
    Bytes body;          // after the length field
};

// The marker segments from SOI up to and including SOS, by their length fields.
std::vector<Segment> headerSegments(const Bytes& file) {
    std::vector<Segment> segments;
    if (file.size() < 2 || file[0] != 0xFF || file[1] != 0xD8) {
        ADD_FAILURE() << "no SOI at the start";
        return segments;
    }
    std::size_t at = 2;
    while (at + 4 <= file.size()) {
        if (file[at] != 0xFF) {
            ADD_FAILURE() << "no marker at byte " << at;
            break;
        }
        const std::uint8_t marker = file[at + 1];
        const std::size_t length = std::size_t{file[at + 2]} << 8 | file[at + 3];
        if (length < 2 || at + 2 + length > file.size()) {
            ADD_FAILURE() << "segment length " << length << " at byte " << at;
            break;
        }
        segments.push_back({marker, Bytes(file.begin() + at + 4, file.begin() + at + 2 + length)});
        if (marker == 0xDA) break; // SOS: entropy-coded data follows
        at += 2 + length;
    }
    return segments;
}

std::set<std::uint8_t> markersOf(const std::vector<Segment>& segments) {
    std::set<std::uint8_t> markers;
    for (const Segment& s : segments)
        markers.insert(s.marker);
    return markers;
}

// ---- the independent decoder ---------------------------------------------------------------

struct Pnm {
    std::string magic; // P6 colour, P5 grey
    int width = 0, height = 0, maxValue = 0;
    Bytes samples; // top row first
};

// Runs djpeg (libjpeg-turbo-progs) on `jpeg`; its -verbose report goes to `report`.
Pnm decodeWithDjpeg(const fs::path& jpeg, std::string* report = nullptr) {
    const fs::path pnm = fs::path(jpeg).replace_extension(".pnm");
    const fs::path log = fs::path(jpeg).replace_extension(".log");
    const std::string command = "djpeg -verbose -pnm -outfile '" + pnm.string() + "' '" +
                                jpeg.string() + "' 2>'" + log.string() + "'";
    const int status = std::system(command.c_str());
    const std::string text = readText(log);
    fs::remove(log);
    if (report) *report = text;
    if (status != 0) {
        ADD_FAILURE() << "djpeg failed (status " << status << "): " << text;
        return {};
    }
    const Bytes file = readFile(pnm);
    fs::remove(pnm);
    // "P6\n641 481\n255\n", as djpeg writes it: four fields, each ended by one whitespace byte.
    Pnm out;
    std::size_t at = 0;
    std::string fields[4];
    for (std::string& field : fields) {
        while (at < file.size() && !std::isspace(file[at]))
            field += static_cast<char>(file[at++]);
        ++at;
    }
    out.magic = fields[0];
    out.width = std::atoi(fields[1].c_str());
    out.height = std::atoi(fields[2].c_str());
    out.maxValue = std::atoi(fields[3].c_str());
    if (at <= file.size()) out.samples.assign(file.begin() + at, file.end());
    return out;
}

bool djpegIsThere() {
    return std::system("command -v djpeg >/dev/null 2>&1") == 0;
}

// Within a JPEG's loss of a colour.
void expectNear(int red, int green, int blue, std::uint32_t colour, const std::string& where) {
    constexpr int kTolerance = 24;
    EXPECT_NEAR(red, int(colour >> 16 & 0xFF), kTolerance) << where;
    EXPECT_NEAR(green, int(colour >> 8 & 0xFF), kTolerance) << where;
    EXPECT_NEAR(blue, int(colour & 0xFF), kTolerance) << where;
}

class JpegFile : public ScratchFolder {
  protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        ASSERT_TRUE(djpegIsThere()) << "djpeg (libjpeg-turbo-progs) is missing";
    }

    fs::path writeOrFail(const std::string& name, const FrameView& frame, int quality,
                         bool progressive) {
        const fs::path path = dir / name;
        const WriteResult result = writeFrame(path, frame, jpegSettings(quality, progressive));
        EXPECT_TRUE(result.ok()) << result.message;
        EXPECT_TRUE(result.message.empty());
        return path;
    }
};

// A frame with red above blue: the file's first row, the top of the screen, is red, whichever
// decoder reads it, and the sizes are the frame's, including those that do not fill whole
// 16 x 16 blocks.
TEST_F(JpegFile, RedOnTopAndBlueBelowAtTheFramesSizeByBothDecoders) {
    struct Case {
        int width, height, split;
        bool progressive;
    };
    const Case cases[] = {
        {kFrameWidth, kFrameHeight, 240, false},
        {kFrameWidth, kFrameHeight, 240, true},
        {17, 9, 4, false},
        {3, 35, 16, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height
                                        << (c.progressive ? " progressive" : " baseline"));
        const fs::path path =
            writeOrFail("frame.jpg", twoBandFrame(c.width, c.height, c.split, kRed, kBlue).view(),
                        80, c.progressive);

        const PictureResult ours = readPictureFile(path);
        ASSERT_TRUE(ours.ok()) << ours.message;
        EXPECT_EQ(ours.picture.width, c.width);
        EXPECT_EQ(ours.picture.height, c.height);
        // The picture is stored bottom row first: its last row is the top of the screen.
        for (int column : {0, c.width / 2, c.width - 1}) {
            const std::uint8_t* top = ours.picture.pixel(column, c.height - 1);
            const std::uint8_t* bottom = ours.picture.pixel(column, 0);
            expectNear(top[2], top[1], top[0], kRed,
                       "our reader, top, column " + std::to_string(column));
            expectNear(bottom[2], bottom[1], bottom[0], kBlue,
                       "our reader, bottom, column " + std::to_string(column));
        }

        const Pnm theirs = decodeWithDjpeg(path);
        EXPECT_EQ(theirs.magic, "P6");
        EXPECT_EQ(theirs.width, c.width);
        EXPECT_EQ(theirs.height, c.height);
        ASSERT_EQ(theirs.samples.size(), 3u * c.width * c.height);
        const Bytes& s = theirs.samples;
        const std::size_t last = s.size() - 3;
        expectNear(s[0], s[1], s[2], kRed, "djpeg, first pixel");
        expectNear(s[last], s[last + 1], s[last + 2], kBlue, "djpeg, last pixel");
    }
    EXPECT_EQ(entries(), std::set<std::string>{"frame.jpg"});
}

// SOF0 for baseline, SOF2 for progressive, never both; three 8-bit components, Y with table 0
// and both chroma components with table 1, also when every pixel is grey; the JFIF header of
// the library's defaults first.
TEST_F(JpegFile, MarkersSayBaselineOrProgressiveWithThreeComponents) {
    struct Case {
        std::uint32_t colour;
        bool progressive;
    };
    const Case cases[] = {{kRed, false}, {kRed, true}, {kGrey, false}, {kGrey, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << c.colour << (c.progressive ? " progressive" : " baseline"));
        const fs::path path =
            writeOrFail("frame.jpg", uniformFrame(kFrameWidth, kFrameHeight, c.colour).view(), 80,
                        c.progressive);
        const std::vector<Segment> segments = headerSegments(readFile(path));
        ASSERT_FALSE(segments.empty());

        EXPECT_EQ(segments.front().marker, 0xE0); // APP0
        EXPECT_EQ(std::string(segments.front().body.begin(), segments.front().body.begin() + 5),
                  std::string("JFIF\0", 5));
        const std::set<std::uint8_t> markers = markersOf(segments);
        const std::uint8_t sof = c.progressive ? 0xC2 : 0xC0;
        const std::uint8_t otherSof = c.progressive ? 0xC0 : 0xC2;
        EXPECT_EQ(markers.count(sof), 1u);
        EXPECT_EQ(markers.count(otherSof), 0u);
        for (const Segment& s : segments) {
            if (s.marker != sof) continue;
            // Precision, height, width, component count, then id, sampling, table per component.
            const Bytes expected = {8,
                                    kFrameHeight >> 8,
                                    kFrameHeight & 0xFF,
                                    kFrameWidth >> 8,
                                    kFrameWidth & 0xFF,
                                    3,
                                    1,
                                    0x22,
                                    0,
                                    2,
                                    0x11,
                                    1,
                                    3,
                                    0x11,
                                    1};
            EXPECT_EQ(s.body, expected);
        }

        std::string report;
        const Pnm theirs = decodeWithDjpeg(path, &report);
        EXPECT_EQ(theirs.magic, "P6") << "a grey file would decode to P5";
        const std::string frameLine = std::string("Start Of Frame 0x") +
                                      (c.progressive ? "c2" : "c0") +
                                      ": width=641, height=481, components=3";
        EXPECT_NE(report.find(frameLine), std::string::npos) << report;
    }
}

// The IJG example tables (JPEG standard, Annex K), in natural order.
// clang-format off
constexpr int kLuminanceBase[64] = {
     16,  11,  10,  16,  24,  40,  51,  61,
     12,  12,  14,  19,  26,  58,  60,  55,
     14,  13,  16,  24,  40,  57,  69,  56,
     14,  17,  22,  29,  51,  87,  80,  62,
     18,  22,  37,  56,  68, 109, 103,  77,
     24,  35,  55,  64,  81, 104, 113,  92,
     49,  64,  78,  87, 103, 121, 120, 101,
     72,  92,  95,  98, 112, 100, 103,  99};
constexpr int kChrominanceBase[64] = {
     17,  18,  24,  47,  99,  99,  99,  99,
     18,  21,  26,  66,  99,  99,  99,  99,
     24,  26,  56,  99,  99,  99,  99,  99,
     47,  66,  99,  99,  99,  99,  99,  99,
     99,  99,  99,  99,  99,  99,  99,  99,
     99,  99,  99,  99,  99,  99,  99,  99,
     99,  99,  99,  99,  99,  99,  99,  99,
     99,  99,  99,  99,  99,  99,  99,  99};
// Where the k-th value of a DQT segment goes in natural order (the zigzag, Figure A.6).
constexpr int kZigzagToNatural[64] = {
      0,   1,   8,  16,   9,   2,   3,  10,
     17,  24,  32,  25,  18,  11,   4,   5,
     12,  19,  26,  33,  40,  48,  41,  34,
     27,  20,  13,   6,   7,  14,  21,  28,
     35,  42,  49,  56,  57,  50,  43,  36,
     29,  22,  15,  23,  30,  37,  44,  51,
     58,  59,  52,  45,  38,  31,  39,  46,
     53,  60,  61,  54,  47,  55,  62,  63};
// clang-format on

// libjpeg's quality rule: a percentage of the base table, rounded, 1 at least and at most 255
// (the baseline limit).
std::vector<int> scaledTable(const int (&base)[64], int quality) {
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    std::vector<int> table;
    for (int value : base)
        table.push_back(std::clamp((value * scale + 50) / 100, 1, 255));
    return table;
}

TEST_F(JpegFile, QuantisationTablesAreTheBaseTablesScaledByQuality) {
    struct Case {
        int quality;
        int firstLuminance, firstChrominance, lastChrominance; // worked out by hand
    };
    const Case cases[] = {
        {60, 13, 14, 79}, // scale 80: (16 * 80 + 50) / 100, (17 * 80 + 50) / 100, ...
        {80, 6, 7, 40},   // scale 40
        {100, 1, 1, 1},   // scale 0: every value rounds to 0 and becomes 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.quality);
        const std::vector<int> luminance = scaledTable(kLuminanceBase, c.quality);
        const std::vector<int> chrominance = scaledTable(kChrominanceBase, c.quality);
        EXPECT_EQ(luminance.front(), c.firstLuminance);
        EXPECT_EQ(chrominance.front(), c.firstChrominance);
        EXPECT_EQ(chrominance.back(), c.lastChrominance);

        for (bool progressive : {false, true}) {
            const fs::path path = writeOrFail(
                "frame.jpg", twoBandFrame(kFrameWidth, kFrameHeight, 240, kRed, kBlue).view(),
                c.quality, progressive);
            std::vector<int> tables[2];
            int tableCount = 0;
            for (const Segment& s : headerSegments(readFile(path))) {
                if (s.marker != 0xDB) continue;
                // A DQT segment holds one or more tables: precision and id, then 64 values.
                for (std::size_t at = 0; at + 65 <= s.body.size(); at += 65, ++tableCount) {
                    EXPECT_EQ(s.body[at] >> 4, 0) << "8-bit values";
                    const int id = s.body[at] & 15;
                    ASSERT_TRUE(id == 0 || id == 1) << "table " << id;
                    tables[id].assign(64, 0);
                    for (int k = 0; k < 64; ++k)
                        tables[id][kZigzagToNatural[k]] = s.body[at + 1 + k];
                }
            }
            EXPECT_EQ(tableCount, 2);
            EXPECT_EQ(tables[0], luminance) << "luminance table";
            EXPECT_EQ(tables[1], chrominance) << "chrominance table";
        }
    }
}

// ---- refusals ------------------------------------------------------------------------------

TEST(EncodeJpeg, AppendsAfterWhatTheSinkHolds) {
    const PaddedFrame padded = uniformFrame(8, 8, kGrey);
    const FrameView frame = padded.view();
    const Bytes alone = encodeOrFail(frame, 80, false);
    ASSERT_GE(alone.size(), 4u);
    EXPECT_EQ((Bytes{alone[0], alone[1]}), (Bytes{0xFF, 0xD8}));
    EXPECT_EQ((Bytes{alone[alone.size() - 2], alone.back()}), (Bytes{0xFF, 0xD9}));

    Bytes bytes = {'A', 'B'};
    ByteSink out{bytes};
    ASSERT_TRUE(encodeJpeg(frame, 80, false, out).ok());
    Bytes expected = {'A', 'B'};
    expected.insert(expected.end(), alone.begin(), alone.end());
    EXPECT_EQ(bytes, expected);
}

TEST(EncodeJpeg, RefusesQualityOutsideItsRangeAndViewsWithoutWholeRows) {
    const PaddedFrame padded = uniformFrame(4, 3, kGrey);
    const FrameView good = padded.view();
    FrameView noPixels = good;
    noPixels.pixels = nullptr;
    FrameView shortStride = good;
    shortStride.stride = 3;
    FrameView widthOnly = good;
    widthOnly.height = 0;
    FrameView negative = good;
    negative.width = -4;
    negative.height = -3;
    // Wider than libjpeg takes (65500 pixels a side), with a block that matches.
    constexpr int kTooWide = 65501;
    std::vector<std::uint32_t> wideRow(kTooWide);
    const FrameView tooWide{wideRow.data(), kTooWide, 1, kTooWide};
    struct Case {
        const char* what;
        FrameView frame;
        int quality;
    };
    const Case cases[] = {
        {"quality 59", good, 59},
        {"quality 101", good, 101},
        {"quality 0", good, 0},
        {"quality -80", good, -80},
        {"quality INT_MIN", good, INT_MIN},
        {"no pixels", noPixels, 80},
        {"stride shorter than a row", shortStride, 80},
        {"no rows", widthOnly, 80},
        {"negative size", negative, 80},
        {"empty", FrameView{}, 80},
        {"too wide", tooWide, 80},
    };
    for (const Case& c : cases)
        for (bool progressive : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.what << (progressive ? ", progressive" : ""));
            const EncodeResult encoded = refusalOf(
                [&](ByteSink& out) { return encodeJpeg(c.frame, c.quality, progressive, out); });
            EXPECT_EQ(encoded.error, EncodeError::UnusableFrame);
        }
    // The ends of the range are taken.
    for (int quality : {60, 100})
        EXPECT_FALSE(encodeOrFail(good, quality, false).empty());
}

} // namespace
