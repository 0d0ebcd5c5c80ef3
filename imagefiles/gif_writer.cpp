#include "gif_writer.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include <gif_lib.h>

namespace {

constexpr int kMaxGifSide = 65535;        // the screen and image sizes are 16-bit fields
constexpr std::uint8_t kOpaqueFrom = 128; // alpha below this is transparent, when asked for
constexpr int kPaletteSize = 256;
constexpr std::uint32_t kRgb = 0xFFFFFF;
constexpr int kColourResolution = 8; // bits per primary in the palette
// The most pixels handed to the quantiser: a few megabytes, and still thousands of samples
// from each frame of a long animation.
constexpr std::uint64_t kMaxSample = std::uint64_t{1} << 21;

EncodeResult unusable(std::string message) {
    return {EncodeError::UnusableFrame, std::move(message)};
}

// When frame k starts, in hundredths of a second: round(100 k / fps), halves up.
std::int64_t startOf(int k, int fps) {
    return (200 * std::int64_t{k} + fps) / (2 * std::int64_t{fps});
}
// Differences of the rounded starts, not a rounded 100 / fps for every frame: the rounding
// never adds up, so 30 fps gives 3, 4, 3, 3, 4, 3, ... and 30 frames last exactly a second.
int delayOf(int k, int fps) {
    return static_cast<int>(startOf(k + 1, fps) - startOf(k, fps));
}

bool fitsAnimation(const FrameView& frame, int width, int height) {
    return frame.pixels != nullptr && frame.width == width && frame.height == height &&
           frame.stride >= width;
}

const std::uint32_t* rowOf(const FrameView& frame, int row) {
    return frame.pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(frame.stride);
}

Colour colourOf(const GifColorType& c) {
    return {c.Red, c.Green, c.Blue};
}

// giflib's quantiser keeps its sort axis in a file-level static, so two animations quantised
// at once on different threads could split each other's boxes along the wrong axis.
std::mutex quantiserLock;

// The first pass: the distinct opaque colours for as long as they fit in the palette, and an
// evenly spread sample of the opaque pixels of all frames for the quantiser in case they do
// not. A flag of one colour under the shading, or a wireframe, fits: its pixels are then kept
// exactly, with no quantising and no dithering.
class ColourSurvey {
  public:
    ColourSurvey(int limit, bool transparent, std::uint64_t pixelCount, int width)
        : limit_(limit), transparent_(transparent) {
        slots_.fill(kEmpty);
        stride_ = std::max<std::uint64_t>(1, (pixelCount + kMaxSample - 1) / kMaxSample);
        // A stride sharing a factor with the width samples the same few columns on every row
        // and misses thin vertical stripes; one prime to the width moves along each row.
        while (std::gcd(stride_, static_cast<std::uint64_t>(width)) != 1)
            ++stride_;
        const std::uint64_t most = (pixelCount + stride_ - 1) / stride_;
        red_.reserve(most);
        green_.reserve(most);
        blue_.reserve(most);
    }

    void take(const FrameView& frame) {
        for (int row = 0; row < frame.height; ++row) {
            const std::uint32_t* pixels = rowOf(frame, row);
            for (int column = 0; column < frame.width; ++column) {
                const std::uint32_t pixel = pixels[column];
                const bool opaque = !transparent_ || alphaOf(pixel) >= kOpaqueFrom;
                if (--untilSample_ == 0) {
                    untilSample_ = stride_;
                    if (opaque) {
                        red_.push_back(static_cast<GifByteType>(pixel >> 16));
                        green_.push_back(static_cast<GifByteType>(pixel >> 8));
                        blue_.push_back(static_cast<GifByteType>(pixel));
                    }
                }
                const std::uint32_t rgb = pixel & kRgb;
                if (opaque && rgb != last_ && fits()) {
                    last_ = rgb;
                    insert(rgb);
                }
            }
        }
    }

    [[nodiscard]] bool fits() const { return count_ <= limit_; }

    // The colours seen, in order of their 0xRRGGBB values so the file does not depend on the
    // hash table's layout.
    [[nodiscard]] std::vector<Colour> distinctColours() const {
        std::vector<std::uint32_t> seen;
        for (std::uint32_t slot : slots_)
            if (slot != kEmpty) seen.push_back(slot);
        std::sort(seen.begin(), seen.end());
        std::vector<Colour> colours;
        for (std::uint32_t rgb : seen)
            colours.push_back(unpackPixel(rgb));
        return colours;
    }

    // giflib's median cut on the sample. It cuts boxes of 5-bit colours and gives each entry
    // the unweighted mean of its boxes' low corners, a few levels too dark and blind to how
    // often each colour occurs; each entry becomes the mean of the sample pixels it was given
    // instead. False when the quantiser ran out of memory.
    [[nodiscard]] bool quantise(std::vector<Colour>& palette) {
        // Frames that are nearly all transparent can leave the sample with few opaque pixels
        // or none, and giflib's quantiser runs off its table when given none. The colours seen
        // before they overflowed the palette then join the sample.
        if (red_.size() < static_cast<std::size_t>(count_))
            for (std::uint32_t slot : slots_)
                if (slot != kEmpty) {
                    red_.push_back(static_cast<GifByteType>(slot >> 16));
                    green_.push_back(static_cast<GifByteType>(slot >> 8));
                    blue_.push_back(static_cast<GifByteType>(slot));
                }
        const std::size_t count = red_.size();
        std::vector<GifByteType> chosen(count);
        std::array<GifColorType, kPaletteSize> entries{};
        int entryCount = limit_;
        {
            const std::lock_guard<std::mutex> hold(quantiserLock);
            if (GifQuantizeBuffer(static_cast<unsigned>(count), 1, &entryCount, red_.data(),
                                  green_.data(), blue_.data(), chosen.data(),
                                  entries.data()) != GIF_OK)
                return false;
        }
        std::array<std::array<std::uint64_t, 4>, kPaletteSize> sums{};
        for (std::size_t i = 0; i < count; ++i) {
            std::array<std::uint64_t, 4>& sum = sums[chosen[i]];
            sum[0] += red_[i];
            sum[1] += green_[i];
            sum[2] += blue_[i];
            ++sum[3];
        }
        palette.clear();
        for (int k = 0; k < entryCount; ++k) {
            const std::array<std::uint64_t, 4>& sum = sums[k];
            const std::uint64_t n = sum[3];
            if (n == 0) {
                palette.push_back(colourOf(entries[k]));
                continue;
            }
            palette.push_back({static_cast<std::uint8_t>((sum[0] + n / 2) / n),
                               static_cast<std::uint8_t>((sum[1] + n / 2) / n),
                               static_cast<std::uint8_t>((sum[2] + n / 2) / n)});
        }
        return true;
    }

    void dropSample() {
        std::vector<GifByteType>().swap(red_);
        std::vector<GifByteType>().swap(green_);
        std::vector<GifByteType>().swap(blue_);
    }

  private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF; // no 24-bit colour
    static constexpr int kSlotBits = 10;                // 1024 slots: at most 257 are ever taken

    void insert(std::uint32_t rgb) {
        std::uint32_t slot = (rgb * 0x9E3779B1u) >> (32 - kSlotBits);
        while (slots_[slot] != kEmpty) {
            if (slots_[slot] == rgb) return;
            slot = (slot + 1) & ((1u << kSlotBits) - 1);
        }
        slots_[slot] = rgb;
        ++count_;
    }

    int limit_;
    bool transparent_;
    std::array<std::uint32_t, std::size_t{1} << kSlotBits> slots_;
    int count_ = 0;
    std::uint32_t last_ = kEmpty;
    std::uint64_t stride_;
    std::uint64_t untilSample_ = 1;
    std::vector<GifByteType> red_, green_, blue_;
};

// The palette index nearest to a colour by squared RGB distance, the lowest index on a tie,
// found once per distinct colour and then remembered in a table over all 2^24 colours. The
// table goes cube by cube (16 levels of each primary to a cube), so the colours of one region
// of a frame, which dithering scatters around its own, stay within a few pages of it.
class NearestEntry {
  public:
    explicit NearestEntry(std::vector<Colour> palette)
        : palette_(std::move(palette)),
          table_(std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t{1} << 24)),
          known_((std::size_t{1} << 24) / 64, 0), cubes_(kCubes) {}

    std::uint8_t operator()(std::uint32_t rgb) {
        const std::uint32_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
        const std::uint32_t cube = (r >> 4) << 8 | (g >> 4) << 4 | b >> 4;
        const std::uint32_t at = cube << 12 | (r & 15) << 8 | (g & 15) << 4 | (b & 15);
        std::uint64_t& word = known_[at >> 6];
        const std::uint64_t bit = std::uint64_t{1} << (at & 63);
        if ((word & bit) == 0) {
            table_[at] =
                search(cube, static_cast<int>(r), static_cast<int>(g), static_cast<int>(b));
            word |= bit;
        }
        return table_[at];
    }

    [[nodiscard]] const Colour& colour(int index) const { return palette_[index]; }

  private:
    static constexpr int kCubes = 4096;

    struct Cube {
        std::uint32_t first = 0; // in candidates_
        std::uint16_t count = 0;
        bool known = false;
    };

    // Among the entries that can be nearest to some colour of the cube only, in index order so
    // the first of equals wins.
    std::uint8_t search(std::uint32_t cube, int r, int g, int b) {
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

    // An entry can be nearest to a colour of the cube only if its distance to the cube's
    // nearest point is within the smallest distance of any entry to the cube's farthest point.
    void findCandidates(std::uint32_t cube) {
        const int low[3] = {static_cast<int>(cube >> 8) * 16, static_cast<int>(cube >> 4 & 15) * 16,
                            static_cast<int>(cube & 15) * 16};
        std::array<int, kPaletteSize> nearest{};
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

    std::vector<Colour> palette_;
    std::unique_ptr<std::uint8_t[]> table_;
    std::vector<std::uint64_t> known_;
    std::vector<Cube> cubes_;
    std::vector<std::uint8_t> candidates_;
};

// giflib writes through this into the sink. No exception may cross the library: a failed
// append is a failed write, remembered because giflib does not report a failure to write the
// trailer.
struct GifOutput {
    ByteSink& out;
    bool outOfMemory = false;
};

int appendOutput(GifFileType* gif, const GifByteType* data, int count) {
    GifOutput& output = *static_cast<GifOutput*>(gif->UserData);
    try {
        output.out.putBytes({data, static_cast<std::size_t>(count)});
        return count;
    } catch (...) {
        output.outOfMemory = true;
        return 0;
    }
}

struct GifCloser {
    void operator()(GifFileType* gif) const { EGifCloseFile(gif, nullptr); }
};
struct ColourMapFreer {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

EncodeResult giflibFailure(int code, const GifOutput& output) {
    if (output.outOfMemory) return encodeOutOfMemory();
    const char* text = GifErrorString(code);
    std::string message = text != nullptr ? text : "unknown error";
    return {code == E_GIF_ERR_NOT_ENOUGH_MEM ? EncodeError::OutOfMemory
                                             : EncodeError::UnusableFrame,
            "the GIF library failed: " + std::move(message)};
}

// "NETSCAPE2.0" with a loop count of 0: play forever. Without it most viewers play once.
bool putLoopForever(GifFileType* gif) {
    static const char kApplication[] = "NETSCAPE2.0";
    static const GifByteType kLoops[] = {1, 0, 0}; // sub-block 1, count 0 as 16 bits
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof kApplication - 1, kApplication) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof kLoops, kLoops) == GIF_OK &&
           EGifPutExtensionTrailer(gif) == GIF_OK;
}

// The second pass: each frame's pixels as palette indices, a row at a time.
class FrameWriter {
  public:
    FrameWriter(GifFileType* gif, NearestEntry& nearest, int transparentIndex,
                const GifSettings& settings, bool dither, int width)
        : gif_(gif), nearest_(nearest), transparentIndex_(transparentIndex),
          transparent_(settings.transparent), dither_(dither),
          fps_(settings.timing.framesPerSecond), indices_(static_cast<std::size_t>(width)) {
        if (dither_) {
            errors_.assign(static_cast<std::size_t>(width + 2) * 3, 0);
            nextErrors_.assign(errors_.size(), 0);
        }
    }

    // False when giflib failed; its code is in the file's Error.
    bool write(int index, const FrameView& frame) {
        GraphicsControlBlock control{};
        // With transparency each frame is drawn on a cleared screen: left in place, the
        // earlier frames would show through its transparent pixels.
        control.DisposalMode = transparent_ ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT;
        control.UserInputFlag = false;
        control.DelayTime = delayOf(index, fps_);
        control.TransparentColor = transparent_ ? transparentIndex_ : NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        const auto length = static_cast<int>(EGifGCBToExtension(&control, extension));
        if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, length, extension) != GIF_OK ||
            EGifPutImageDesc(gif_, 0, 0, frame.width, frame.height, false, nullptr) != GIF_OK)
            return false;
        if (dither_) {
            std::fill(errors_.begin(), errors_.end(), 0);
            std::fill(nextErrors_.begin(), nextErrors_.end(), 0);
        }
        for (int row = 0; row < frame.height; ++row) {
            if (dither_)
                ditherRow(rowOf(frame, row), frame.width);
            else
                mapRow(rowOf(frame, row), frame.width);
            if (EGifPutLine(gif_, indices_.data(), frame.width) != GIF_OK) return false;
        }
        return true;
    }

  private:
    bool isTransparent(std::uint32_t pixel) const {
        return transparent_ && alphaOf(pixel) < kOpaqueFrom;
    }

    void mapRow(const std::uint32_t* pixels, int width) {
        std::uint32_t lastRgb = pixels[0] & kRgb;
        std::uint8_t lastIndex = nearest_(lastRgb);
        for (int column = 0; column < width; ++column) {
            const std::uint32_t pixel = pixels[column];
            if (isTransparent(pixel)) {
                indices_[column] = static_cast<GifPixelType>(transparentIndex_);
                continue;
            }
            const std::uint32_t rgb = pixel & kRgb;
            if (rgb != lastRgb) {
                lastRgb = rgb;
                lastIndex = nearest_(rgb);
            }
            indices_[column] = lastIndex;
        }
    }

    // Floyd-Steinberg, left to right, with the errors in sixteenths. Column c's errors are at
    // 3 (c + 1), so the neighbours outside the frame need no test. A transparent pixel takes
    // no error and passes none on: whatever lies behind it has nothing to do with the flag.
    void ditherRow(const std::uint32_t* pixels, int width) {
        for (int column = 0; column < width; ++column) {
            const std::uint32_t pixel = pixels[column];
            int* here = &errors_[static_cast<std::size_t>(column + 1) * 3];
            if (isTransparent(pixel)) {
                indices_[column] = static_cast<GifPixelType>(transparentIndex_);
                continue;
            }
            int wanted[3];
            const int original[3] = {static_cast<int>(pixel >> 16 & 0xFF),
                                     static_cast<int>(pixel >> 8 & 0xFF),
                                     static_cast<int>(pixel & 0xFF)};
            for (int c = 0; c < 3; ++c)
                wanted[c] = std::clamp(original[c] + ((here[c] + 8) >> 4), 0, 255);
            const std::uint8_t index =
                nearest_(static_cast<std::uint32_t>(wanted[0] << 16 | wanted[1] << 8 | wanted[2]));
            indices_[column] = index;
            const Colour& got = nearest_.colour(index);
            const int error[3] = {wanted[0] - got.red, wanted[1] - got.green, wanted[2] - got.blue};
            int* below = &nextErrors_[static_cast<std::size_t>(column + 1) * 3];
            for (int c = 0; c < 3; ++c) {
                here[3 + c] += 7 * error[c];
                below[c - 3] += 3 * error[c];
                below[c] += 5 * error[c];
                below[c + 3] += error[c];
            }
        }
        errors_.swap(nextErrors_);
        std::fill(nextErrors_.begin(), nextErrors_.end(), 0);
    }

    GifFileType* gif_;
    NearestEntry& nearest_;
    int transparentIndex_;
    bool transparent_;
    bool dither_;
    int fps_;
    std::vector<GifPixelType> indices_;
    std::vector<int> errors_, nextErrors_;
};

EncodeResult encode(FrameSequence& frames, const GifSettings& settings, ByteSink& out) {
    const int fps = settings.timing.framesPerSecond;
    if (fps < kFramesPerSecondMin || fps > kFramesPerSecondMax)
        return unusable("GIF frame rate outside 1..50 frames per second");
    const int count = frames.frameCount();
    const int width = frames.width();
    const int height = frames.height();
    if (count < 1) return unusable("the animation has no frames");
    if (width < 1 || height < 1 || width > kMaxGifSide || height > kMaxGifSide)
        return unusable("the frames' size cannot be stored in a GIF file");

    // Checks what each pass is handed; false stops the pass.
    int expected = 0;
    const char* refusal = nullptr;
    auto accept = [&](int index, const FrameView& frame) {
        if (index != expected || index >= count)
            refusal = "the frames came out of order";
        else if (!fitsAnimation(frame, width, height))
            refusal = "a frame's size differs from the animation's";
        else
            return true;
        return false;
    };
    auto finishPass = [&](bool walked) -> const char* {
        if (refusal != nullptr) return refusal;
        if (!walked) return "the frames could not be made";
        if (expected != count) return "fewer frames came than the animation has";
        return nullptr;
    };

    const int limit = settings.transparent ? kPaletteSize - 1 : kPaletteSize;
    const std::uint64_t pixelCount = static_cast<std::uint64_t>(count) *
                                     static_cast<std::uint64_t>(width) *
                                     static_cast<std::uint64_t>(height);
    ColourSurvey survey(limit, settings.transparent, pixelCount, width);
    const bool surveyed = frames.forEachFrame([&](int index, const FrameView& frame) {
        if (!accept(index, frame)) return false;
        survey.take(frame);
        ++expected;
        return true;
    });
    if (const char* failure = finishPass(surveyed)) return unusable(failure);

    std::vector<Colour> palette;
    const bool exact = survey.fits();
    if (exact)
        palette = survey.distinctColours();
    else if (!survey.quantise(palette))
        return encodeOutOfMemory();
    survey.dropSample();

    // The transparent index follows the colours; the map is filled out with black to the
    // power of two the format needs, with at least two entries.
    const int transparentIndex = static_cast<int>(palette.size());
    const int used = transparentIndex + (settings.transparent ? 1 : 0);
    int mapSize = 2;
    while (mapSize < used)
        mapSize *= 2;
    std::array<GifColorType, kPaletteSize> entries{};
    for (std::size_t k = 0; k < palette.size(); ++k)
        entries[k] = {palette[k].red, palette[k].green, palette[k].blue};
    const std::unique_ptr<ColorMapObject, ColourMapFreer> map(
        GifMakeMapObject(mapSize, entries.data()));
    if (!map) return encodeOutOfMemory();

    NearestEntry nearest(std::move(palette));
    GifOutput output{out};
    int error = E_GIF_SUCCEEDED;
    std::unique_ptr<GifFileType, GifCloser> gif(EGifOpen(&output, appendOutput, &error));
    if (!gif) return giflibFailure(error, output);
    // giflib decides between GIF87a and GIF89a by the extensions of images held in memory,
    // and a streamed file holds none: without this the header would claim GIF87a.
    EGifSetGifVersion(gif.get(), true);
    const int background = settings.transparent ? transparentIndex : 0;
    if (EGifPutScreenDesc(gif.get(), width, height, kColourResolution, background, map.get()) !=
            GIF_OK ||
        !putLoopForever(gif.get()))
        return giflibFailure(gif->Error, output);

    FrameWriter writer(gif.get(), nearest, transparentIndex, settings, settings.dither && !exact,
                       width);
    bool giflibFailed = false;
    expected = 0;
    const bool written = frames.forEachFrame([&](int index, const FrameView& frame) {
        if (!accept(index, frame)) return false;
        if (!writer.write(index, frame)) {
            giflibFailed = true;
            return false;
        }
        ++expected;
        return true;
    });
    if (giflibFailed) return giflibFailure(gif->Error, output);
    if (const char* failure = finishPass(written)) return unusable(failure);

    if (EGifCloseFile(gif.release(), &error) != GIF_OK) return giflibFailure(error, output);
    if (output.outOfMemory) return encodeOutOfMemory(); // the trailer
    return {};
}

} // namespace

EncodeResult encodeGifAnimation(FrameSequence& frames, const GifSettings& settings, ByteSink& out) {
    return appendWholeFile(out, [&] {
        try {
            return encode(frames, settings, out);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (...) {
            // Whatever the frames' maker threw: the promise is an error, not an exception.
            return unusable("the frames could not be made");
        }
    });
}
