#include "rotation.h"

void applyTransform(SurfaceGrid& grid, const Transform4& t) {
    const auto& m = t.m;
    for (auto& row : grid) {
        for (auto& p : row) {
            const double x = p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + p.w * m[3][0];
            const double y = p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + p.w * m[3][1];
            const double z = p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + p.w * m[3][2];
            p.x = x, p.y = y, p.z = z;
        }
    }
}

void rotateAboutOffset(SurfaceGrid& grid, const Transform4& rotation, Vec3 offset) {
    const double ox = static_cast<int>(offset.x);
    const double oy = static_cast<int>(offset.y);
    const double oz = static_cast<int>(offset.z);
    const auto& m = rotation.m;
    for (auto& row : grid) {
        for (auto& p : row) {
            const double x = p.x - ox, y = p.y - oy, z = p.z - oz;
            p.x = x * m[0][0] + y * m[1][0] + z * m[2][0] + ox;
            p.y = x * m[0][1] + y * m[1][1] + z * m[2][1] + oy;
            p.z = x * m[0][2] + y * m[1][2] + z * m[2][2] + oz;
        }
    }
}

void translate(FlagGeometry& flag, int dx, int dy, int dz) {
    Transform4 move = identityTransform();
    move.m[3][0] = dx, move.m[3][1] = dy, move.m[3][2] = dz;
    applyTransform(flag.surfaceGrid, move);
    flag.modelOffset.x += dx;
    flag.modelOffset.y += dy;
    flag.modelOffset.z += dz;
}

static void rotate(FlagGeometry& flag, Axis axis, int degrees) {
    rotateAboutOffset(flag.surfaceGrid, rotationAbout(axis, degrees), flag.modelOffset);
}

void rotateX(FlagGeometry& flag, int degrees) { rotate(flag, Axis::X, degrees); }
void rotateY(FlagGeometry& flag, int degrees) { rotate(flag, Axis::Y, degrees); }
void rotateZ(FlagGeometry& flag, int degrees) { rotate(flag, Axis::Z, degrees); }

namespace {
inline constexpr int kRotationStep = 3; // degrees per rotation key
inline constexpr int kFineMove = 1;
inline constexpr int kCoarseMove = 5;

struct KeyAction {
    char key;
    bool rotation;
    Axis axis;
    int degrees;
    int dx, dy, dz;
};

constexpr KeyAction kKeyTable[] = {
    {'X', true, Axis::X, -kRotationStep, 0, 0, 0},
    {'x', true, Axis::X, +kRotationStep, 0, 0, 0},
    {'Y', true, Axis::Y, -kRotationStep, 0, 0, 0},
    {'y', true, Axis::Y, +kRotationStep, 0, 0, 0},
    {'Z', true, Axis::Z, -kRotationStep, 0, 0, 0},
    {'z', true, Axis::Z, +kRotationStep, 0, 0, 0},
    {'H', false, Axis::X, 0, -kFineMove, 0, 0},
    {'h', false, Axis::X, 0, -kCoarseMove, 0, 0},
    {'L', false, Axis::X, 0, +kFineMove, 0, 0},
    {'l', false, Axis::X, 0, +kCoarseMove, 0, 0},
    {'J', false, Axis::X, 0, 0, -kFineMove, 0},
    {'j', false, Axis::X, 0, 0, -kCoarseMove, 0},
    {'K', false, Axis::X, 0, 0, +kFineMove, 0},
    {'k', false, Axis::X, 0, 0, +kCoarseMove, 0},
    {'B', false, Axis::X, 0, 0, 0, -kCoarseMove},
    {'b', false, Axis::X, 0, 0, 0, -kCoarseMove},
    {'F', false, Axis::X, 0, 0, 0, +kCoarseMove},
    {'f', false, Axis::X, 0, 0, 0, +kCoarseMove},
};
} // namespace

KeyResult handleKey(FlagGeometry& flag, unsigned char key) {
    for (const KeyAction& a : kKeyTable) {
        if (static_cast<unsigned char>(a.key) != key) continue;
        if (!a.rotation) {
            translate(flag, a.dx, a.dy, a.dz);
            return KeyResult::Handled;
        }
        const Transform4 r = rotationAbout(a.axis, a.degrees);
        rotateAboutOffset(flag.surfaceGrid, r, flag.modelOffset);
        flag.keyRotation = multiply(flag.keyRotation, r);
        // A full log keeps its first keys as the record; keyRotation holds them all.
        if (flag.keyCount < kKeyLogSize) flag.keyLog[flag.keyCount++] = a.key;
        return KeyResult::Handled;
    }
    return KeyResult::Ignored;
}
