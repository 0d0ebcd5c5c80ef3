#include "transform.h"

#include <cmath>

#include "constants.h"

Transform4 identityTransform() {
    Transform4 t;
    for (int k = 0; k < 4; ++k)
        t.m[k][k] = 1;
    return t;
}

Transform4 multiply(const Transform4& a, const Transform4& b) {
    Transform4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k)
                s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

Transform4 rotationAbout(Axis axis, int degrees) {
    const double t = degrees * kPi / 180;
    const double c = std::cos(t);
    const double s = std::sin(t);
    Transform4 r = identityTransform();
    switch (axis) {
    case Axis::X:
        r.m[1][1] = c, r.m[1][2] = s;
        r.m[2][1] = -s, r.m[2][2] = c;
        break;
    case Axis::Y:
        r.m[0][0] = c, r.m[0][2] = -s;
        r.m[2][0] = s, r.m[2][2] = c;
        break;
    case Axis::Z:
        r.m[0][0] = c, r.m[0][1] = s;
        r.m[1][0] = -s, r.m[1][1] = c;
        break;
    }
    return r;
}
