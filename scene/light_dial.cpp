#include "light_dial.h"

#include <cmath>

Vec3 lightDirectionFromDial(int x, int y) {
    constexpr double kCentre = 80, kRadius = 65;
    const double a = (x - kCentre) / kRadius;
    const double b = (kCentre - y) / kRadius; // screen y grows downward
    const double r = std::sqrt(a * a + b * b);
    const double c = std::sin(std::acos(r));
    const double n = std::sqrt(a * a + b * b + c * c);
    return {a / n, b / n, c / n};
}

bool insideDialPickRegion(int x, int y) {
    // Radius 64 about the dial's centre: one pixel inside the drawn circle, so that a pick
    // never gives the direction of the circle itself (z = 0).
    constexpr long long kCentre = 80, kRadius = 64;
    const long long dx = x - kCentre, dy = y - kCentre;
    return dx * dx + dy * dy <= kRadius * kRadius;
}
