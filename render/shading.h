#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "geometry/vec3.h"
#include "imagefiles/texture_image.h"

// Light direction and material weights, as the light window sets them.
struct LightState {
    Vec3 lightDirection{-0.5385, 0.5385, 0.6482};
    double specularWeight = 0.5;
    double diffuseWeight = 0.125;
    double brightness = 0.3;
};

// The light as one frame uses it: the unit light vector is the same for every pixel.
struct FrameLight {
    Vec3 unitLight;
    double specularWeight = 0;
    double diffuseWeight = 0;
    double brightness = 0;
};
[[nodiscard]] FrameLight frameLight(const LightState& light);

// Light intensity for an interpolated normal, on the scale where 15 is the full base colour;
// both sides of the flag are lit alike. Inline: it runs for every pixel the fill draws.
[[nodiscard]] inline double shadePixel(Vec3 n, const FrameLight& light) {
    constexpr double kFullScale = 15; // intensity of the full base colour
    constexpr double kAmbient = 2;    // constant term: 2/15 of the base colour
    // Written with selects instead of branches so that a loop over pixels can be vectorised;
    // each select gives exactly what the plain "if" would.
    const double turn = n.z < 0 ? -1.0 : 1.0; // a normal facing away is turned toward the viewer
    n = {turn * n.x, turn * n.y, turn * n.z};
    const double nLength = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    n = {n.x / nLength, n.y / nLength, n.z / nLength};
    const Vec3 l = light.unitLight;
    double d = dot(n, l);
    d = d < 0 ? 0 : d;
    Vec3 r{2 * d * n.x - l.x, 2 * d * n.y - l.y, 2 * d * n.z - l.z};
    const double rLength = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
    r = {r.x / rLength, r.y / rLength, r.z / rLength};
    const double s = r.z < 0 ? 0 : r.z; // the viewer looks along z
    double p = dot(r, l);
    p = p < 0 ? 0 : p;
    const double lit = kFullScale * (light.specularWeight * s + light.diffuseWeight * d);
    return (0.0 < lit ? lit : 0.0) + kFullScale * light.brightness * (p * p) + kAmbient;
}

struct Sample {
    std::uint8_t red = 0, green = 0, blue = 0, fourth = 0;
};

// Bilinear sample of the picture at texture coordinates u, v in [0, 1]; (0, 0) is the top-left
// pixel, (1, 1) the bottom-right one. Inline for the fill's pixel loop.
[[nodiscard]] inline Sample samplePicture(const TextureImage& image, double u, double v) {
    const int width = image.width, height = image.height;
    const double x = (width - 1) * u, y = (height - 1) * v;
    const int ix = static_cast<int>(x), iy = static_cast<int>(y);
    const double fx = x - ix, fy = y - iy;
    const int ix1 = ix == width - 1 ? ix : ix + 1;
    const int iy1 = iy == height - 1 ? iy : iy + 1;
    // Picture rows count from the top; the image stores the bottom row first.
    const std::uint8_t* c00 = image.pixel(ix, height - 1 - iy);
    const std::uint8_t* c10 = image.pixel(ix1, height - 1 - iy);
    const std::uint8_t* c01 = image.pixel(ix, height - 1 - iy1);
    const std::uint8_t* c11 = image.pixel(ix1, height - 1 - iy1);
    const double w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy);
    const double w01 = (1 - fx) * fy, w11 = fx * fy;
    std::uint8_t out[4];
    for (int byte = 0; byte < 4; ++byte) {
        const double value =
            w10 * c10[byte] + w00 * c00[byte] + w11 * c11[byte] + w01 * c01[byte] + 0.5;
        out[byte] = static_cast<std::uint8_t>(std::clamp(static_cast<int>(value), 0, 255));
    }
    return {out[2], out[1], out[0], out[3]};
}

// samplePicture for many points at once, giving the same red, green and blue: in passes that
// the compiler can vectorise. Every array holds `count` values.
void samplePictureSpan(const TextureImage& image, const double* u, const double* v, int count,
                       double* red, double* green, double* blue);

// A picture with transparency (hasAlpha) is sampled with each pixel's colour weighted by its
// opacity, so transparent pixels lend no colour to the edge of a cut-out shape; `alpha` gets
// the interpolated opacity rounded to a whole 0..255. Where it is below kOpaqueEnough the flag
// is cut out, as where the erase colour is.
inline constexpr double kOpaqueEnough = 128;
void samplePictureSpanWithAlpha(const TextureImage& image, const double* u, const double* v,
                                int count, double* red, double* green, double* blue,
                                double* alpha);

// The light window's dial: a client point inside its circle (centre 80, 80, radius 65) as a
// unit direction toward the viewer's side.
[[nodiscard]] Vec3 lightDirectionFromDial(int x, int y);
// Whether a client point is inside the dial's pick region, the disc of radius 64 about the
// centre, one pixel inside the drawn circle. The window and the headless renderer both ask here.
[[nodiscard]] bool insideDialPickRegion(int x, int y);
