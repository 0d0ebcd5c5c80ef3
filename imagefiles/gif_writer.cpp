#include "gif_writer.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include <gif_lib.h>

#include "palette.h"

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
        sample_.reserve(most);
    }

    void take(const FrameView& frame) {
        for (int row = 0; row < frame.height; ++row) {
            const std::uint32_t* pixels = rowOf(frame, row);
            for (int column = 0; column < frame.width; ++column) {
                const std::uint32_t pixel = pixels[column];
                const bool opaque = !transparent_ || alphaOf(pixel) >= kOpaqueFrom;
                if (--untilSample_ == 0) {
                    untilSample_ = stride_;
                    if (opaque) sample_.push_back(pixel & kRgb);
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

    // The palette chosen from the sample at full precision, leaving one entry free for the
    // transparent index that frame differencing and --transparent use.
    [[nodiscard]] std::vector<Colour> quantise() {
        // Frames that are nearly all transparent can leave the sample with few opaque pixels
        // or none: the colours seen before they overflowed the palette then join it.
        if (sample_.size() < static_cast<std::size_t>(count_))
            for (std::uint32_t slot : slots_)
                if (slot != kEmpty) sample_.push_back(slot);
        return quantisePalette(std::move(sample_), kPaletteSize - 1);
    }

    void dropSample() { std::vector<std::uint32_t>().swap(sample_); }

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
    std::vector<std::uint32_t> sample_;
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

std::size_t areaOf(int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

// A frame's place on the screen.
struct Rectangle {
    int left = 0, top = 0, right = 0, bottom = 0; // right and bottom excluded

    [[nodiscard]] bool empty() const { return right <= left || bottom <= top; }
    void include(int column, int row) {
        if (empty()) {
            *this = {column, row, column + 1, row + 1};
            return;
        }
        left = std::min(left, column);
        top = std::min(top, row);
        right = std::max(right, column + 1);
        bottom = std::max(bottom, row + 1);
    }
    void include(const Rectangle& other) {
        if (other.empty()) return;
        include(other.left, other.top);
        include(other.right - 1, other.bottom - 1);
    }
};

// The second pass: each frame's pixels as palette indices, then only what differs from the
// screen the decoder shows at that moment. Each frame is written once the next one is known,
// since its disposal depends on what comes after it.
class FrameWriter {
  public:
    // `transparentIndex` is -1 when the palette has no entry to spare for it.
    FrameWriter(GifFileType* gif, NearestEntry& nearest, int transparentIndex,
                const GifSettings& settings, bool dither, int width, int height)
        : gif_(gif), nearest_(nearest), transparentIndex_(transparentIndex),
          transparent_(settings.transparent), dither_(dither),
          fps_(settings.timing.framesPerSecond), width_(width), height_(height),
          shown_(areaOf(width, height)), pending_(shown_.size()), next_(shown_.size()),
          first_(shown_.size()), line_(static_cast<std::size_t>(width)) {
        if (dither_) {
            errors_.assign(static_cast<std::size_t>(width + 2) * 3, 0);
            nextErrors_.assign(errors_.size(), 0);
        }
    }

    // False when giflib failed; its code is in the file's Error.
    bool add(int index, const FrameView& frame) {
        mapFrame(frame, next_);
        if (index == 0) {
            first_ = next_;
        } else if (!writePending(index - 1, next_)) {
            return false;
        }
        pending_.swap(next_);
        return true;
    }

    // The last frame, which leads into the first when the animation loops.
    bool finish(int lastIndex) { return writePending(lastIndex, first_); }

  private:
    using Indices = std::vector<GifPixelType>;

    bool isTransparent(std::uint32_t pixel) const {
        return transparent_ && alphaOf(pixel) < kOpaqueFrom;
    }
    bool isClear(GifPixelType index) const {
        return transparent_ && index == static_cast<GifPixelType>(transparentIndex_);
    }
    std::size_t at(int column, int row) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(column);
    }

    // Writes the pending frame, number `index`, followed by `next`.
    bool writePending(int index, const Indices& next) {
        Rectangle area;
        if (index == 0) {
            area = {0, 0, width_, height_};
            // What a decoder shows before the first frame differs between decoders: with
            // transparency it is taken as clear, and otherwise nothing of it is relied on.
            if (transparent_)
                std::fill(shown_.begin(), shown_.end(),
                          static_cast<GifPixelType>(transparentIndex_));
        } else {
            for (int row = 0; row < height_; ++row)
                for (int column = 0; column < width_; ++column)
                    if (pending_[at(column, row)] != shown_[at(column, row)])
                        area.include(column, row);
        }
        // A transparent pixel of a frame leaves what was there, so a pixel that turns clear
        // must be cleared by disposing of the frame before: that frame's area then takes it in.
        Rectangle clearing;
        if (transparent_)
            for (int row = 0; row < height_; ++row)
                for (int column = 0; column < width_; ++column)
                    if (!isClear(pending_[at(column, row)]) && isClear(next[at(column, row)]))
                        clearing.include(column, row);
        const bool dispose = !clearing.empty();
        area.include(clearing);
        // An image has at least one pixel; an unchanged frame shows one of its own again.
        if (area.empty()) area = {0, 0, 1, 1};

        const bool skipUnchanged = index > 0 && transparentIndex_ >= 0 && skipHelps(area);
        GraphicsControlBlock control{};
        control.DisposalMode = dispose ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT;
        control.UserInputFlag = false;
        control.DelayTime = delayOf(index, fps_);
        control.TransparentColor =
            transparent_ || skipUnchanged ? transparentIndex_ : NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        const auto length = static_cast<int>(EGifGCBToExtension(&control, extension));
        const int areaWidth = area.right - area.left;
        if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, length, extension) != GIF_OK ||
            EGifPutImageDesc(gif_, area.left, area.top, areaWidth, area.bottom - area.top, false,
                             nullptr) != GIF_OK)
            return false;
        for (int row = area.top; row < area.bottom; ++row) {
            for (int column = area.left; column < area.right; ++column) {
                const GifPixelType index = pending_[at(column, row)];
                line_[static_cast<std::size_t>(column - area.left)] =
                    skipUnchanged && index == shown_[at(column, row)]
                        ? static_cast<GifPixelType>(transparentIndex_)
                        : index;
            }
            if (EGifPutLine(gif_, line_.data(), areaWidth) != GIF_OK) return false;
        }

        shown_ = pending_;
        if (dispose)
            for (int row = area.top; row < area.bottom; ++row)
                std::fill_n(shown_.begin() + static_cast<std::ptrdiff_t>(at(area.left, row)),
                            areaWidth, static_cast<GifPixelType>(transparentIndex_));
        return true;
    }

    // Whether marking the area's unchanged pixels transparent makes fewer runs of equal
    // indices along its rows: LZW's codes follow the runs, so fewer runs is the smaller image.
    bool skipHelps(const Rectangle& area) const {
        const auto transparent = static_cast<GifPixelType>(transparentIndex_);
        std::size_t plainRuns = 0, skippedRuns = 0;
        for (int row = area.top; row < area.bottom; ++row) {
            int plainLast = -1, skippedLast = -1;
            for (int column = area.left; column < area.right; ++column) {
                const GifPixelType index = pending_[at(column, row)];
                const int skipped = index == shown_[at(column, row)] ? transparent : index;
                plainRuns += index != plainLast;
                skippedRuns += skipped != skippedLast;
                plainLast = index;
                skippedLast = skipped;
            }
        }
        return skippedRuns < plainRuns;
    }

    void mapFrame(const FrameView& frame, Indices& into) {
        if (dither_) {
            std::fill(errors_.begin(), errors_.end(), 0);
            std::fill(nextErrors_.begin(), nextErrors_.end(), 0);
        }
        for (int row = 0; row < frame.height; ++row) {
            GifPixelType* indices = into.data() + at(0, row);
            if (dither_)
                ditherRow(rowOf(frame, row), frame.width, indices);
            else
                mapRow(rowOf(frame, row), frame.width, indices);
        }
    }

    void mapRow(const std::uint32_t* pixels, int width, GifPixelType* indices) {
        std::uint32_t lastRgb = pixels[0] & kRgb;
        std::uint8_t lastIndex = nearest_(lastRgb);
        for (int column = 0; column < width; ++column) {
            const std::uint32_t pixel = pixels[column];
            if (isTransparent(pixel)) {
                indices[column] = static_cast<GifPixelType>(transparentIndex_);
                continue;
            }
            const std::uint32_t rgb = pixel & kRgb;
            if (rgb != lastRgb) {
                lastRgb = rgb;
                lastIndex = nearest_(rgb);
            }
            indices[column] = lastIndex;
        }
    }

    // Floyd-Steinberg, left to right, with the errors in sixteenths. Column c's errors are at
    // 3 (c + 1), so the neighbours outside the frame need no test. A transparent pixel takes
    // no error and passes none on: whatever lies behind it has nothing to do with the flag.
    // The diffusion is held back where it only adds noise: a pixel whose own colour is within
    // a few levels of its entry passes nothing on (smooth areas stay smooth, and the next frame
    // repeats them, which the differencing keeps small), and the carried error is bounded so
    // that an edge does not smear into a trail of speckles.
    void ditherRow(const std::uint32_t* pixels, int width, GifPixelType* indices) {
        for (int column = 0; column < width; ++column) {
            const std::uint32_t pixel = pixels[column];
            int* here = &errors_[static_cast<std::size_t>(column + 1) * 3];
            if (isTransparent(pixel)) {
                indices[column] = static_cast<GifPixelType>(transparentIndex_);
                continue;
            }
            int wanted[3];
            const int original[3] = {static_cast<int>(pixel >> 16 & 0xFF),
                                     static_cast<int>(pixel >> 8 & 0xFF),
                                     static_cast<int>(pixel & 0xFF)};
            for (int c = 0; c < 3; ++c) {
                const int carried = std::clamp((here[c] + 8) >> 4, -kMaxCarried, kMaxCarried);
                wanted[c] = std::clamp(original[c] + carried, 0, 255);
            }
            const std::uint8_t index =
                nearest_(static_cast<std::uint32_t>(wanted[0] << 16 | wanted[1] << 8 | wanted[2]));
            indices[column] = index;
            const Colour& got = nearest_.colour(index);
            const int own[3] = {original[0] - got.red, original[1] - got.green,
                                original[2] - got.blue};
            if (own[0] * own[0] + own[1] * own[1] + own[2] * own[2] <= kQuietDistance) continue;
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

    static constexpr int kMaxCarried = 24;    // levels per channel
    static constexpr int kQuietDistance = 12; // squared RGB distance: two levels per channel

    GifFileType* gif_;
    NearestEntry& nearest_;
    int transparentIndex_;
    bool transparent_;
    bool dither_;
    int fps_;
    int width_, height_;
    Indices shown_;   // what a decoder shows before the pending frame, disposal done
    Indices pending_; // the frame waiting for its successor
    Indices next_;
    Indices first_;
    Indices line_;
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

    const bool exact = survey.fits();
    std::vector<Colour> palette = exact ? survey.distinctColours() : survey.quantise();
    survey.dropSample();

    // The transparent index follows the colours; the map is filled out with black to the
    // power of two the format needs, with at least two entries. Without --transparent a
    // transparent entry only lets later frames leave unchanged pixels out, so it takes a
    // free place in the map but never makes the map larger.
    const int used = static_cast<int>(palette.size()) + (settings.transparent ? 1 : 0);
    int mapSize = 2;
    while (mapSize < used)
        mapSize *= 2;
    const int transparentIndex =
        static_cast<int>(palette.size()) < mapSize ? static_cast<int>(palette.size()) : -1;
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
                       width, height);
    bool giflibFailed = false;
    expected = 0;
    const bool written = frames.forEachFrame([&](int index, const FrameView& frame) {
        if (!accept(index, frame)) return false;
        if (!writer.add(index, frame)) {
            giflibFailed = true;
            return false;
        }
        ++expected;
        return true;
    });
    if (giflibFailed) return giflibFailure(gif->Error, output);
    if (const char* failure = finishPass(written)) return unusable(failure);
    if (!writer.finish(count - 1)) return giflibFailure(gif->Error, output);

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
