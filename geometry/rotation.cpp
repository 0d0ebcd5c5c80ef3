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
    const int ox = static_cast<int>(flag.modelOffset.x);
    const int oy = static_cast<int>(flag.modelOffset.y);
    const int oz = static_cast<int>(flag.modelOffset.z);
    translate(flag, -ox, -oy, -oz);
    applyTransform(flag.surfaceGrid, rotationAbout(axis, degrees));
    translate(flag, ox, oy, oz);
}

void rotateX(FlagGeometry& flag, int degrees) {
    rotate(flag, Axis::X, degrees);
}
void rotateY(FlagGeometry& flag, int degrees) {
    rotate(flag, Axis::Y, degrees);
}
void rotateZ(FlagGeometry& flag, int degrees) {
    rotate(flag, Axis::Z, degrees);
}

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
    {'X', true, Axis::X, -kRotationStep, 0, 0, 0}, {'x', true, Axis::X, +kRotationStep, 0, 0, 0},
    {'Y', true, Axis::Y, -kRotationStep, 0, 0, 0}, {'y', true, Axis::Y, +kRotationStep, 0, 0, 0},
    {'Z', true, Axis::Z, -kRotationStep, 0, 0, 0}, {'z', true, Axis::Z, +kRotationStep, 0, 0, 0},
    {'H', false, Axis::X, 0, -kFineMove, 0, 0},    {'h', false, Axis::X, 0, -kCoarseMove, 0, 0},
    {'L', false, Axis::X, 0, +kFineMove, 0, 0},    {'l', false, Axis::X, 0, +kCoarseMove, 0, 0},
    {'J', false, Axis::X, 0, 0, -kFineMove, 0},    {'j', false, Axis::X, 0, 0, -kCoarseMove, 0},
    {'K', false, Axis::X, 0, 0, +kFineMove, 0},    {'k', false, Axis::X, 0, 0, +kCoarseMove, 0},
    {'B', false, Axis::X, 0, 0, 0, -kCoarseMove},  {'b', false, Axis::X, 0, 0, 0, -kCoarseMove},
    {'F', false, Axis::X, 0, 0, 0, +kCoarseMove},  {'f', false, Axis::X, 0, 0, 0, +kCoarseMove},
};
constexpr int kRotationKeyCount = 6; // the table's first rows

const KeyAction* findKey(unsigned char key) {
    for (const KeyAction& a : kKeyTable)
        if (static_cast<unsigned char>(a.key) == key) return &a;
    return nullptr;
}

// The surface as three arrays of coordinates, so that one key's arithmetic runs over whole
// vectors of vertices.
struct Coordinates {
    alignas(64) double c[3][kVertexCount];
};

// One rotation key on every vertex: the three transforms of rotate() fused into one pass.
// A rotation about axis k turns the coordinates i < j and keeps k. Written out, each transform
// also adds products with 0 and multiplies by 1; those terms change no value except the sign
// of a zero result, and the "+ 0.0" left in each coordinate gives that sign exactly as they do
// (a zero sum that ends in + (+0) is +0). The moves add the whole offset as in translate():
// first its negation, then itself.
void turnAll(Coordinates& p, const Transform4& rotation, int i, int j, int k,
             const double (&back)[3], const double (&there)[3]) {
    const auto& m = rotation.m;
    const double mii = m[i][i], mji = m[j][i], mij = m[i][j], mjj = m[j][j];
    double* __restrict pi = p.c[i];
    double* __restrict pj = p.c[j];
    double* __restrict pk = p.c[k];
    for (int v = 0; v < kVertexCount; ++v) {
        const double a = pi[v] + back[i], b = pj[v] + back[j], c = pk[v] + back[k];
        pi[v] = (a * mii + b * mji + 0.0) + there[i];
        pj[v] = (a * mij + b * mjj + 0.0) + there[j];
        pk[v] = (c + 0.0) + there[k];
    }
}
} // namespace

void replayRotationKeys(SurfaceGrid& grid, std::span<const char> keys, Vec3 offset) {
    // The offset as translate() adds it: whole numbers, the way back its negation as an int.
    const int o[3] = {static_cast<int>(offset.x), static_cast<int>(offset.y),
                      static_cast<int>(offset.z)};
    const double back[3] = {static_cast<double>(-o[0]), static_cast<double>(-o[1]),
                            static_cast<double>(-o[2])};
    const double there[3] = {static_cast<double>(o[0]), static_cast<double>(o[1]),
                             static_cast<double>(o[2])};
    Transform4 turns[kRotationKeyCount];
    for (int r = 0; r < kRotationKeyCount; ++r)
        turns[r] = rotationAbout(kKeyTable[r].axis, kKeyTable[r].degrees);

    Coordinates p;
    for (int v = 0; v < kVertexCount; ++v) {
        const MeshVertex& q = gridVertex(grid, v);
        p.c[0][v] = q.x, p.c[1][v] = q.y, p.c[2][v] = q.z;
    }
    for (char key : keys) {
        const KeyAction* action = findKey(static_cast<unsigned char>(key));
        if (!action || !action->rotation) continue;
        const Transform4& turn = turns[action - kKeyTable];
        switch (action->axis) {
        case Axis::X: turnAll(p, turn, 1, 2, 0, back, there); break;
        case Axis::Y: turnAll(p, turn, 0, 2, 1, back, there); break;
        case Axis::Z: turnAll(p, turn, 0, 1, 2, back, there); break;
        }
    }
    for (int v = 0; v < kVertexCount; ++v) {
        MeshVertex& q = gridVertex(grid, v);
        q.x = p.c[0][v], q.y = p.c[1][v], q.z = p.c[2][v];
    }
}

KeyResult handleKey(FlagGeometry& flag, unsigned char key) {
    const KeyAction* a = findKey(key);
    if (!a) return KeyResult::Ignored;
    if (!a->rotation) {
        translate(flag, a->dx, a->dy, a->dz);
        return KeyResult::Handled;
    }
    rotate(flag, a->axis, a->degrees);
    if (flag.keyCount < kKeyLogSize) {
        flag.keyLog[flag.keyCount++] = a->key;
    } else {
        flag.overflowRotation = multiply(flag.overflowRotation, rotationAbout(a->axis, a->degrees));
        flag.overflowed = true;
    }
    return KeyResult::Handled;
}
