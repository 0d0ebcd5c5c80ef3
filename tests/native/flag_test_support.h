#pragma once

// Small helpers shared by the core tests: a flag at rest, the start-up wave settings and
// light, and comparisons of whole surfaces.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "geometry/flag.h"
#include "geometry/wave.h"
#include "scene/scene.h"

// Default-sized control net at rest, its evaluated surface and the mesh topology; no keys,
// no offset. On the heap: the record is a few hundred kilobytes.
inline std::unique_ptr<FlagGeometry> makeRestFlag() {
    auto flag = std::make_unique<FlagGeometry>();
    clearControlNet(flag->controlNet);
    shapeControlNet(flag->controlNet, kDefaultPictureWidth, kDefaultPictureHeight, true);
    evaluateSurface(flag->controlNet, flag->surfaceGrid);
    buildQuadEdges(flag->quadEdges);
    buildPolygonList(flag->polygonList);
    flag->topologyBuilt = true;
    return flag;
}

// The wave as the program starts: slider defaults and the first phase step (10 degrees).
inline WaveState startWave() {
    WaveState wave;
    deriveWaveValues(wave);
    wave.wavePhase = 10;
    return wave;
}

// The light the start-up scene shades with: the light window replaces the record's own
// direction with its dial marker's.
inline LightState startUpLight() {
    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    return scene->light;
}

// The same flag before any key: no logged or overflowed rotation, recomputed at `wave`.
inline std::unique_ptr<FlagGeometry> withoutRotationKeys(const FlagGeometry& flag,
                                                         const WaveState& wave) {
    auto fresh = std::make_unique<FlagGeometry>(flag);
    fresh->keyCount = 0;
    fresh->overflowed = false;
    fresh->overflowRotation = identityTransform();
    recomputeFlag(*fresh, wave);
    return fresh;
}

// Every vertex position the same to the last bit (the sign of zero included).
inline bool samePositionBits(const SurfaceGrid& a, const SurfaceGrid& b) {
    for (int i = 0; i < kGridSize; ++i)
        for (int j = 0; j < kGridSize; ++j)
            if (std::memcmp(&a[i][j].x, &b[i][j].x, 3 * sizeof(double)) != 0) return false;
    return true;
}

// Largest difference of any coordinate of any vertex position.
inline double maxPositionDifference(const SurfaceGrid& a, const SurfaceGrid& b) {
    double worst = 0;
    for (int i = 0; i < kGridSize; ++i)
        for (int j = 0; j < kGridSize; ++j)
            worst = std::max({worst, std::fabs(a[i][j].x - b[i][j].x),
                              std::fabs(a[i][j].y - b[i][j].y), std::fabs(a[i][j].z - b[i][j].z)});
    return worst;
}

// Largest coordinate magnitude: the scale for relative comparisons of whole surfaces.
inline double maxCoordinate(const SurfaceGrid& grid) {
    double worst = 0;
    for (const auto& row : grid)
        for (const MeshVertex& p : row)
            worst = std::max({worst, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
    return worst;
}
