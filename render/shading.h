#pragma once

#include <cstdint>

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

// samplePicture (pixel_rule.h) for many points at once, by the active pixel passes' sampler:
// the same red, green and blue. Every array holds `count` values.
void samplePictureSpan(const TextureImage& image, const double* u, const double* v, int count,
                       double* red, double* green, double* blue);

// A picture with transparency (hasAlpha) is sampled with each pixel's colour weighted by its
// opacity, so transparent pixels lend no colour to the edge of a cut-out shape; `alpha` gets
// the interpolated opacity rounded to a whole 0..255. Where it is below kOpaqueEnough the flag
// is cut out, as where the erase colour is.
inline constexpr double kOpaqueEnough = 128;
void samplePictureSpanWithAlpha(const TextureImage& image, const double* u, const double* v,
                                int count, double* red, double* green, double* blue, double* alpha);
