#include "shading.h"

#include <algorithm>
#include <cmath>

namespace {
Vec3 unit(Vec3 v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}
} // namespace

FrameLight frameLight(const LightState& light) {
    return {unit(light.lightDirection), light.specularWeight, light.diffuseWeight,
            light.brightness};
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
