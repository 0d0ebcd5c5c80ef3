#pragma once

// The fill's rule for each pixel, worked one pixel at a time and written to be read: a row's
// span ends, each pixel's depth and place in its span, its light intensity, its picture sample,
// the erase test and the scale of each channel, with what they read.
//
// Frames are drawn by the pixel passes (fill.h, span_kernel_body.h), which give every pixel the
// same operations in the same order, several pixels or rows side by side; each of their steps
// names the function here that it follows, and the tests compare every build of them with this
// rule bit for bit. Of the rule only the erase test and the channel scale (below) run inside the
// passes themselves, and samplePicture draws the erase window's preview.

#include <cmath>
#include <cstdint>

#include "geometry/flag.h"
#include "frame.h"
#include "pipeline.h"
#include "shading.h"

// The intensity scale: at an intensity of 15 a channel shows its full base value.
inline constexpr double kFullScale = 15;
// The intensity's constant term: an ambient light of 2/15 of the base colour.
inline constexpr double kAmbient = 2;
// The largest value of a channel.
inline constexpr double kFullChannel = 255;
// Added to a bilinear sample before it is truncated: rounds it to the nearest whole.
inline constexpr double kSampleRounding = 0.5;
// Scale of the row side test of the span search.
inline constexpr double kSideScale = 10000;
// Luma weights of the erase test's colour space.
inline constexpr double kLumaRed = 0.3, kLumaGreen = 0.59, kLumaBlue = 0.11;
// A pixel nearer to the erase colour than this many times the tolerance is left out.
inline constexpr double kEraseReach = 1.2;

// Crossings only this far out are searched; the window's client area spans -320 to 320, and a
// frame K times larger searches K times as far.
inline constexpr double kSpanSearchLimit = 5000;

// Picture pixels close to the erase colour are left out of the textured flag.
struct EraseState {
    bool eraseEnabled = false;
    int eraseTolerance = 50;
    std::uint8_t eraseColour[3] = {128, 128, 128}; // red, green, blue
    double eraseLuma = 0;
    double eraseRedDiff = 0;
    double eraseBlueDiff = 0;
};

// Sets the erase colour and the three values the erase test compares with.
void setEraseColour(EraseState& erase, Colour colour);

// What one frame's fill reads besides the polygon.
struct FillContext {
    FrameView view;
    std::int32_t* depth = nullptr; // depthCellCountAt(scale) cells
    int depthRowCells = kDepthRowCells;
    ScreenOrigin origin;
    double spanSearchLimit = kSpanSearchLimit;
    FrameLight light;
    const TextureImage* picture = nullptr; // set: the picture instead of the polygon's colour
    const EraseState* erase = nullptr;
};

// One end of a row's span: its x (a whole number) and the attributes interpolated there.
struct SpanEnd {
    double x = 0;
    Vec3 normal;
    double u = 0, v = 0;
};

// The two ends of row y: the quad's edges cut with the row, in loop order; an end moves only for
// a crossing strictly further out. A row that meets no edge keeps left.x = limit > right.x.
void findSpanEnds(const FlagGeometry& flag, const PolygonRecord& polygon, int y, SpanEnd& left,
                  SpanEnd& right, double searchLimit = kSpanSearchLimit);

// Light intensity for an interpolated normal of any length, at least kAmbient; both sides of the
// flag are lit alike.
[[nodiscard]] double shadePixel(Vec3 n, const FrameLight& light);

struct Sample {
    std::uint8_t red = 0, green = 0, blue = 0, fourth = 0;
};

// Bilinear sample of the picture at texture coordinates u, v in [0, 1]; (0, 0) is the top-left
// pixel, (1, 1) the bottom-right one.
[[nodiscard]] Sample samplePicture(const TextureImage& image, double u, double v);

// Draws row y between its ends as the rule says, one pixel after the other: the depth test, the
// intensity, the polygon's colour or the picture's (left out where the erase test or the
// picture's own transparency says so) and the scaled channels.
void fillSpanPixelByPixel(const PolygonRecord& polygon, const SpanEnd& left, const SpanEnd& right,
                          int y, const FillContext& context);
// Draws the quad's rows inside the client area, each with findSpanEnds and
// fillSpanPixelByPixel.
void fillPolygonPixelByPixel(const FlagGeometry& flag, const PolygonRecord& polygon,
                             const FillContext& context);

// The steps the passes share as they are. Internal linkage: each build of the passes then
// compiles its own copy with its own instruction set, and no copy is ever run by another build.
namespace {
[[nodiscard]] inline double luma(double red, double green, double blue) {
    return kLumaRed * red + kLumaGreen * green + kLumaBlue * blue;
}

// Whether a sampled colour lies near enough to the erase colour to be left out: its distance
// in the space of luma, blue difference and red difference.
[[nodiscard]] inline bool isErased(const EraseState& erase, double red, double green, double blue) {
    const double y = luma(red, green, blue);
    const double dl = erase.eraseLuma - y;
    const double db = erase.eraseBlueDiff - (blue - y);
    const double dr = erase.eraseRedDiff - (red - y);
    return std::sqrt(dl * dl + db * db + dr * dr) < kEraseReach * erase.eraseTolerance;
}

// A base colour value scaled by the intensity: C * I / 15 truncated, held to 0..255; not a
// number gives 0. Written with selects, which the passes' loops vectorise.
[[nodiscard]] inline std::int32_t scaledChannel(double colour, double intensity) {
    double value = colour * intensity / kFullScale;
    value = value > 0 ? value : 0;
    value = value < kFullChannel ? value : kFullChannel;
    return static_cast<std::int32_t>(value);
}

// The frame pixel (0x00RRGGBB) of a base colour at the intensity.
[[nodiscard]] inline std::uint32_t shadedPixel(double red, double green, double blue,
                                               double intensity) {
    return static_cast<std::uint32_t>(scaledChannel(red, intensity) << 16 |
                                      scaledChannel(green, intensity) << 8 |
                                      scaledChannel(blue, intensity));
}
} // namespace
