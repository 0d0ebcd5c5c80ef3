#include "shading.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "span_kernels.h"

namespace {
Vec3 unit(Vec3 v) {
    const double squares = v.x * v.x + v.y * v.y + v.z * v.z;
    if (!(squares >= std::numeric_limits<double>::min() && std::isfinite(squares))) {
        // The squares overflow or lose precision below the normal range: scale by a power of
        // two first, which is exact, so the direction is the same as for any other length.
        const double largest = std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
        if (!(largest > 0) || !std::isfinite(largest)) return {};
        const int exponent = std::ilogb(largest);
        v = {std::scalbn(v.x, -exponent), std::scalbn(v.y, -exponent), std::scalbn(v.z, -exponent)};
    }
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}
} // namespace

FrameLight frameLight(const LightState& light) {
    return {unit(light.lightDirection), light.specularWeight, light.diffuseWeight,
            light.brightness};
}

void samplePictureSpan(const TextureImage& image, const double* u, const double* v, int count,
                       double* red, double* green, double* blue) {
    span_kernels::active().samplePictureSpan({image.pixels.data(), image.width, image.height}, u, v,
                                             count, red, green, blue);
}

void samplePictureSpanWithAlpha(const TextureImage& image, const double* u, const double* v,
                                int count, double* red, double* green, double* blue,
                                double* alpha) {
    const int width = image.width, height = image.height;
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(width);
    for (int k = 0; k < count; ++k) {
        const double x = (width - 1) * u[k], y = (height - 1) * v[k];
        const int ix = static_cast<int>(x), iy = static_cast<int>(y);
        const double fx = x - ix, fy = y - iy;
        const std::uint8_t* upper = image.pixels.data() + (height - 1 - iy) * rowBytes;
        const std::uint8_t* lower = iy == height - 1 ? upper : upper - rowBytes;
        const std::size_t left = 4 * static_cast<std::size_t>(ix);
        const std::size_t right = ix == width - 1 ? left : left + 4;
        const std::uint8_t* corner[4] = {upper + left, upper + right, lower + left, lower + right};
        const double weight[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
        double opacity = 0, sum[3] = {0, 0, 0}; // blue, green, red, each times its opacity
        for (int c = 0; c < 4; ++c) {
            const double w = weight[c] * corner[c][3];
            opacity += w;
            for (int byte = 0; byte < 3; ++byte)
                sum[byte] += w * corner[c][byte];
        }
        double out[3] = {0, 0, 0};
        if (opacity > 0)
            for (int byte = 0; byte < 3; ++byte)
                out[byte] = std::clamp(static_cast<int>(sum[byte] / opacity + 0.5), 0, 255);
        blue[k] = out[0], green[k] = out[1], red[k] = out[2];
        alpha[k] = std::clamp(static_cast<int>(opacity + 0.5), 0, 255);
    }
}
