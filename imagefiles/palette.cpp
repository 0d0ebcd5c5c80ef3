#include "palette.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <utility>

namespace {

constexpr std::uint32_t kRgb = 0xFFFFFF;
// Each round moves every entry to the mean of the colours nearest to it; after four the entries
// move by a level or less on a flag's frames, and further rounds change the error by less than
// a hundredth of a decibel.
constexpr int kRefineRounds = 4;

struct Bin {
    std::uint32_t rgb;
    std::uint32_t count;
};

int channelOf(std::uint32_t rgb, int c) {
    return static_cast<int>(rgb >> (16 - 8 * c) & 0xFF);
}

// The weight, sums and sums of squares of a set of colours, per channel.
struct Moments {
    double weight = 0;
    double sum[3] = {0, 0, 0};
    double squares[3] = {0, 0, 0};

    void add(const Bin& bin) {
        weight += bin.count;
        for (int c = 0; c < 3; ++c) {
            const double v = channelOf(bin.rgb, c);
            sum[c] += bin.count * v;
            squares[c] += bin.count * v * v;
        }
    }
    [[nodiscard]] Moments minus(const Moments& part) const {
        Moments rest = *this;
        rest.weight -= part.weight;
        for (int c = 0; c < 3; ++c) {
            rest.sum[c] -= part.sum[c];
            rest.squares[c] -= part.squares[c];
        }
        return rest;
    }
    [[nodiscard]] double spread(int c) const {
        return weight > 0 ? squares[c] - sum[c] * sum[c] / weight : 0;
    }
    // The squared error of replacing every colour by the set's mean.
    [[nodiscard]] double error() const { return spread(0) + spread(1) + spread(2); }
};

struct Box {
    std::size_t first, last; // in the bins
    Moments moments;
};

Moments momentsOf(const std::vector<Bin>& bins, std::size_t first, std::size_t last) {
    Moments m;
    for (std::size_t i = first; i < last; ++i)
        m.add(bins[i]);
    return m;
}

// The sample's distinct colours with their counts, in order of their values.
std::vector<Bin> histogramOf(std::vector<std::uint32_t>& sample) {
    for (std::uint32_t& pixel : sample)
        pixel &= kRgb;
    std::sort(sample.begin(), sample.end());
    std::vector<Bin> bins;
    for (std::uint32_t rgb : sample) {
        if (!bins.empty() && bins.back().rgb == rgb)
            ++bins.back().count;
        else
            bins.push_back({rgb, 1});
    }
    return bins;
}

// Cuts the box with the largest error in two, along its widest channel, where the two halves'
// errors add up to the least; until there are `limit` boxes or none can be cut.
std::vector<Box> cutBoxes(std::vector<Bin>& bins, int limit) {
    std::vector<Box> boxes{{0, bins.size(), momentsOf(bins, 0, bins.size())}};
    while (static_cast<int>(boxes.size()) < limit) {
        Box* widest = nullptr;
        for (Box& box : boxes)
            if (box.last - box.first >= 2 &&
                (widest == nullptr || box.moments.error() > widest->moments.error()))
                widest = &box;
        if (widest == nullptr || widest->moments.error() <= 0) break;
        Box& box = *widest;
        int axis = 0;
        for (int c = 1; c < 3; ++c)
            if (box.moments.spread(c) > box.moments.spread(axis)) axis = c;
        // The colour itself breaks ties between equal channel values, so the cut never depends
        // on the order the sort leaves them in.
        std::sort(bins.begin() + static_cast<std::ptrdiff_t>(box.first),
                  bins.begin() + static_cast<std::ptrdiff_t>(box.last),
                  [axis](const Bin& a, const Bin& b) {
                      const int ca = channelOf(a.rgb, axis), cb = channelOf(b.rgb, axis);
                      return ca != cb ? ca < cb : a.rgb < b.rgb;
                  });
        Moments left;
        double bestError = -1;
        std::size_t cut = box.first + 1;
        Moments bestLeft;
        for (std::size_t i = box.first; i + 1 < box.last; ++i) {
            left.add(bins[i]);
            const double error = left.error() + box.moments.minus(left).error();
            if (bestError < 0 || error < bestError) {
                bestError = error;
                cut = i + 1;
                bestLeft = left;
            }
        }
        const Box upper{cut, box.last, box.moments.minus(bestLeft)};
        box.last = cut;
        box.moments = bestLeft;
        boxes.push_back(upper);
    }
    return boxes;
}

std::uint8_t rounded(double value) {
    return static_cast<std::uint8_t>(std::clamp(value + 0.5, 0.0, 255.0));
}

} // namespace

std::vector<Colour> quantisePalette(std::vector<std::uint32_t> sample, int limit) {
    std::vector<Bin> bins = histogramOf(sample);
    std::vector<std::uint32_t>().swap(sample);
    if (bins.empty() || limit < 1) return {};
    if (static_cast<int>(bins.size()) <= limit) {
        std::vector<Colour> exact;
        for (const Bin& bin : bins)
            exact.push_back(unpackPixel(bin.rgb));
        return exact;
    }

    std::vector<Colour> palette;
    for (const Box& box : cutBoxes(bins, limit)) {
        const Moments& m = box.moments;
        palette.push_back({rounded(m.sum[0] / m.weight), rounded(m.sum[1] / m.weight),
                           rounded(m.sum[2] / m.weight)});
    }

    for (int round = 0; round < kRefineRounds; ++round) {
        PaletteSearch search(palette);
        std::vector<Moments> members(palette.size());
        for (const Bin& bin : bins)
            members[search.nearest(bin.rgb)].add(bin);
        bool moved = false;
        for (std::size_t k = 0; k < palette.size(); ++k) {
            const Moments& m = members[k];
            if (m.weight == 0) continue; // nothing nearest to it: it stays where it was
            const Colour mean{rounded(m.sum[0] / m.weight), rounded(m.sum[1] / m.weight),
                              rounded(m.sum[2] / m.weight)};
            moved = moved || !(mean == palette[k]);
            palette[k] = mean;
        }
        if (!moved) break;
    }
    return palette;
}

PaletteSearch::PaletteSearch(std::vector<Colour> palette)
    : palette_(std::move(palette)), cubes_(kCubes) {}

std::uint8_t PaletteSearch::nearest(std::uint32_t rgb) {
    const int r = channelOf(rgb, 0), g = channelOf(rgb, 1), b = channelOf(rgb, 2);
    const std::uint32_t cube = static_cast<std::uint32_t>((r >> 4) << 8 | (g >> 4) << 4 | b >> 4);
    if (!cubes_[cube].known) findCandidates(cube);
    const std::uint8_t* candidate = candidates_.data() + cubes_[cube].first;
    const std::uint8_t* const end = candidate + cubes_[cube].count;
    int best = INT_MAX;
    std::uint8_t bestIndex = 0;
    for (; candidate != end; ++candidate) {
        const Colour& p = palette_[*candidate];
        const int dr = p.red - r, dg = p.green - g, db = p.blue - b;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
            best = distance;
            bestIndex = *candidate;
        }
    }
    return bestIndex;
}

// An entry can be nearest to a colour of the cube only if its distance to the cube's nearest
// point is within the smallest distance of any entry to the cube's farthest point. The
// candidates stay in index order so the first of equals wins.
void PaletteSearch::findCandidates(std::uint32_t cube) {
    const int low[3] = {static_cast<int>(cube >> 8) * 16, static_cast<int>(cube >> 4 & 15) * 16,
                        static_cast<int>(cube & 15) * 16};
    std::vector<int> nearest(palette_.size());
    int bound = INT_MAX;
    for (std::size_t k = 0; k < palette_.size(); ++k) {
        const int p[3] = {palette_[k].red, palette_[k].green, palette_[k].blue};
        int near = 0, far = 0;
        for (int c = 0; c < 3; ++c) {
            const int below = low[c] - p[c], above = p[c] - (low[c] + 15);
            const int gap = std::max({below, above, 0});
            const int reach = std::max(p[c] - low[c], low[c] + 15 - p[c]);
            near += gap * gap;
            far += reach * reach;
        }
        nearest[k] = near;
        bound = std::min(bound, far);
    }
    Cube& found = cubes_[cube];
    found.first = static_cast<std::uint32_t>(candidates_.size());
    for (std::size_t k = 0; k < palette_.size(); ++k)
        if (nearest[k] <= bound) candidates_.push_back(static_cast<std::uint8_t>(k));
    found.count = static_cast<std::uint16_t>(candidates_.size() - found.first);
    found.known = true;
}

NearestEntry::NearestEntry(std::vector<Colour> palette)
    : search_(std::move(palette)),
      table_(std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t{1} << 24)),
      known_((std::size_t{1} << 24) / 64, 0) {}
