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

// Light intensity for an interpolated normal, on the scale where 15 is the full base colour;
// both sides of the flag are lit alike.
[[nodiscard]] double shadePixel(Vec3 normal, const FrameLight& light);

struct Sample {
    std::uint8_t red = 0, green = 0, blue = 0, fourth = 0;
};

// Bilinear sample of the picture at texture coordinates u, v in [0, 1]; (0, 0) is the top-left
// pixel, (1, 1) the bottom-right one.
[[nodiscard]] Sample samplePicture(const TextureImage& image, int width, int height, double u,
                                   double v);

// The light window's dial: a client point inside its circle (centre 80, 80, radius 65) as a
// unit direction toward the viewer's side.
[[nodiscard]] Vec3 lightDirectionFromDial(int x, int y);
