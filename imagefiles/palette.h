#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "pixels.h"

// Choosing a palette of at most `limit` colours for a sample of 0xRRGGBB pixels (the top byte is
// ignored), at full 8-bit precision: a variance-splitting median cut on the sample's histogram,
// refined by a few k-means rounds so that each entry is the mean of the pixels nearest to it.
// The result depends only on the sample's multiset of colours, not on their order. An empty
// sample gives an empty palette.
[[nodiscard]] std::vector<Colour> quantisePalette(std::vector<std::uint32_t> sample, int limit);

// The exact nearest palette entry to a colour by squared RGB distance, the lowest index on a
// tie. The colour cube is cut into 4096 cubes of 16 levels a side, and each cube keeps the few
// entries that can be nearest to any of its colours.
class PaletteSearch {
  public:
    explicit PaletteSearch(std::vector<Colour> palette);

    [[nodiscard]] std::uint8_t nearest(std::uint32_t rgb);
    [[nodiscard]] const Colour& colour(int index) const { return palette_[index]; }
    [[nodiscard]] const std::vector<Colour>& palette() const { return palette_; }

  private:
    static constexpr int kCubes = 4096;
    struct Cube {
        std::uint32_t first = 0; // in candidates_
        std::uint16_t count = 0;
        bool known = false;
    };
    void findCandidates(std::uint32_t cube);

    std::vector<Colour> palette_;
    std::vector<Cube> cubes_;
    std::vector<std::uint8_t> candidates_;
};

// PaletteSearch with each colour's answer remembered in a table over all 2^24 colours, for
// mapping whole frames where the same colours come again and again. The table goes cube by cube,
// so the colours of one region of a frame, which dithering scatters around its own, stay within
// a few pages of it.
class NearestEntry {
  public:
    explicit NearestEntry(std::vector<Colour> palette);

    std::uint8_t operator()(std::uint32_t rgb) {
        const std::uint32_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
        const std::uint32_t at = (r >> 4) << 20 | (g >> 4) << 16 | (b >> 4) << 12 | (r & 15) << 8 |
                                 (g & 15) << 4 | (b & 15);
        std::uint64_t& word = known_[at >> 6];
        const std::uint64_t bit = std::uint64_t{1} << (at & 63);
        if ((word & bit) == 0) {
            table_[at] = search_.nearest(rgb & 0xFFFFFF);
            word |= bit;
        }
        return table_[at];
    }

    [[nodiscard]] const Colour& colour(int index) const { return search_.colour(index); }

  private:
    PaletteSearch search_;
    std::unique_ptr<std::uint8_t[]> table_;
    std::vector<std::uint64_t> known_;
};
