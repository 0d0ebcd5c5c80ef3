#include "shading.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kFullScale = 15;  // intensity of the full base colour
constexpr double kAmbient = 2;     // constant term: 2/15 of the base colour
constexpr double kRounding = 0.5;

Vec3 unit(Vec3 v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}
} // namespace

FrameLight frameLight(const LightState& light) {
    return {unit(light.lightDirection), light.specularWeight, light.diffuseWeight,
            light.brightness};
}

double shadePixel(Vec3 n, const FrameLight& light) {
    if (n.z < 0) n = {-n.x, -n.y, -n.z}; // turn the normal toward the viewer
    n = unit(n);
    const Vec3 l = light.unitLight;
    double d = dot(n, l);
    if (d < 0) d = 0;
    const Vec3 r = unit({2 * d * n.x - l.x, 2 * d * n.y - l.y, 2 * d * n.z - l.z});
    double s = r.z; // the viewer looks along z
    if (s < 0) s = 0;
    double p = dot(r, l);
    if (p < 0) p = 0;
    return std::max(0.0, kFullScale * (light.specularWeight * s + light.diffuseWeight * d)) +
           kFullScale * light.brightness * (p * p) + kAmbient;
}

Sample samplePicture(const TextureImage& image, int width, int height, double u, double v) {
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
    auto blend = [&](int byte) {
        const double value = w10 * c10[byte] + w00 * c00[byte] + w11 * c11[byte] +
                             w01 * c01[byte] + kRounding;
        return static_cast<std::uint8_t>(std::clamp(static_cast<int>(value), 0, 255));
    };
    return {blend(2), blend(1), blend(0), blend(3)};
}

Vec3 lightDirectionFromDial(int x, int y) {
    constexpr double kCentre = 80, kRadius = 65;
    const double a = (x - kCentre) / kRadius;
    const double b = (kCentre - y) / kRadius; // screen y grows downward
    const double r = std::sqrt(a * a + b * b);
    const double c = std::sin(std::acos(r));
    const double n = std::sqrt(a * a + b * b + c * c);
    return {a / n, b / n, c / n};
}
