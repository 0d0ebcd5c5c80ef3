#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "imagefiles/palette.h"

namespace {

// The lowest index among the entries at the least squared distance, by looking at all of them.
int nearestByHand(const std::vector<Colour>& palette, std::uint32_t rgb) {
    const Colour c = unpackPixel(rgb & 0xFFFFFF);
    int best = INT_MAX, bestIndex = -1;
    for (std::size_t k = 0; k < palette.size(); ++k) {
        const int dr = palette[k].red - c.red, dg = palette[k].green - c.green,
                  db = palette[k].blue - c.blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
            best = distance;
            bestIndex = static_cast<int>(k);
        }
    }
    return bestIndex;
}

TEST(PaletteSearch, FindsTheExactNearestEntryAndTheFirstOfEquals) {
    std::mt19937 random(7);
    std::vector<std::vector<Colour>> palettes;
    for (int size : {1, 2, 17, 255}) {
        std::vector<Colour> palette;
        for (int k = 0; k < size; ++k)
            palette.push_back(unpackPixel(random() & 0xFFFFFF));
        palettes.push_back(palette);
    }
    // Equal entries and colours halfway between two entries: the lower index must win.
    palettes.push_back({{10, 10, 10}, {30, 10, 10}, {10, 10, 10}, {20, 10, 10}});
    for (const std::vector<Colour>& palette : palettes) {
        SCOPED_TRACE(palette.size());
        PaletteSearch search(palette);
        NearestEntry remembered(palette);
        std::vector<std::uint32_t> colours = {0x000000, 0xFFFFFF, 0x0A0A0A, 0x0F0A0A, 0x190A0A};
        for (int k = 0; k < 20000; ++k)
            colours.push_back(random() & 0xFFFFFF);
        for (std::uint32_t rgb : colours) {
            ASSERT_EQ(search.nearest(rgb), nearestByHand(palette, rgb)) << std::hex << rgb;
            ASSERT_EQ(remembered(rgb), nearestByHand(palette, rgb)) << std::hex << rgb;
        }
    }
}

TEST(QuantisePalette, FewColoursAreKeptAndClustersBecomeTheirMeans) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> sample;
        int limit;
        std::vector<Colour> palette; // in any order
    };
    std::vector<std::uint32_t> clusters;
    // 10 of (10,10,10) and 30 of (14,10,10): mean (13,10,10). Two each of (200,50,50) and
    // (202,50,50): mean (201,50,50).
    clusters.insert(clusters.end(), 10, 0x0A0A0A);
    clusters.insert(clusters.end(), 30, 0x0E0A0A);
    clusters.insert(clusters.end(), 2, 0xC83232);
    clusters.insert(clusters.end(), 2, 0xCA3232);
    const Case cases[] = {
        {"fits",
         {0xFF000000u | 0x123456, 0x654321, 0x123456, 0xABCDEF},
         4,
         {{0x12, 0x34, 0x56}, {0x65, 0x43, 0x21}, {0xAB, 0xCD, 0xEF}}},
        {"two clusters", clusters, 2, {{13, 10, 10}, {201, 50, 50}}},
        {"empty", {}, 8, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Colour> got = quantisePalette(c.sample, c.limit);
        std::vector<Colour> want = c.palette;
        const auto byValue = [](const Colour& a, const Colour& b) {
            return packPixel(a) < packPixel(b);
        };
        std::sort(got.begin(), got.end(), byValue);
        std::sort(want.begin(), want.end(), byValue);
        EXPECT_EQ(got, want);
    }
}

TEST(QuantisePalette, TheSampleOrderDoesNotMatterAndTheLimitHolds) {
    std::mt19937 random(11);
    std::vector<std::uint32_t> sample;
    for (int k = 0; k < 50000; ++k)
        sample.push_back(random() & 0xFFFFFF);
    const std::vector<Colour> first = quantisePalette(sample, 255);
    EXPECT_EQ(first.size(), 255u);
    std::shuffle(sample.begin(), sample.end(), random);
    EXPECT_EQ(quantisePalette(sample, 255), first);
    EXPECT_EQ(quantisePalette(sample, 16).size(), 16u);
}

} // namespace
