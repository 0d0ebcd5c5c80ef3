#pragma once

// A 4 x 4 matrix applied to row vectors (x, y, z, 1): row 3 is the translation, column 3 is
// never read.
struct Transform4 {
    double m[4][4] = {};
};

Transform4 identityTransform();
Transform4 multiply(const Transform4& a, const Transform4& b); // a then b, for row vectors

enum class Axis { X, Y, Z };

// Rotation by whole degrees about an axis through the origin.
Transform4 rotationAbout(Axis axis, int degrees);
