#include "scene.h"

#include "geometry/rotation.h"

namespace {
constexpr int kStartTiltKeys = 15; // fifteen "x" keys: 45 degrees about X
}

void initialiseScene(Scene& scene) {
    clearDepth(scene.depthBuffer);
    deriveWaveValues(scene.wave);
    clearControlNet(scene.flag.controlNet);
    shapeControlNet(scene.flag.controlNet, scene.pictureWidth, scene.pictureHeight,
                    scene.fitFlagToPicture);
}

void createFlag(Scene& scene, ScreenOrigin origin) {
    FlagGeometry& flag = scene.flag;
    evaluateSurface(flag.controlNet, flag.surfaceGrid);
    flag.modelOffset = {};
    buildQuadEdges(flag.quadEdges);
    buildPolygonList(flag.polygonList);
    flag.topologyBuilt = true;
    scene.origin = origin;
    for (int k = 0; k < kStartTiltKeys; ++k) (void)handleKey(flag, 'x');
    scene.wave.wavePhase += phaseStep(scene.wave);
    recomputeFlag(flag, scene.wave);
}

void renderFrame(Scene& scene, FrameView view) {
    FlagGeometry& flag = scene.flag;
    prepareFaces(flag);
    averageVertexNormals(flag);
    computeScreenPlanes(flag);
    const std::uint32_t wirePixel = packPixel(scene.wireColour);
    for (const PolygonRecord& polygon : flag.polygonList) {
        if (polygon.edges == kNone) break;
        if (scene.displayMode == kDisplayWireframe)
            drawPolygonWire(flag, polygon, view, scene.origin, wirePixel);
    }
}

void drawSceneFrame(Scene& scene, FrameView view) {
    fillFrame(view, scene.background);
    clearDepth(scene.depthBuffer);
    renderFrame(scene, view);
}

void stepAnimation(Scene& scene, int direction) {
    scene.wave.animationDirection = direction;
    scene.wave.wavePhase += phaseStep(scene.wave) * direction;
    recomputeFlag(scene.flag, scene.wave);
}

void advanceAnimation(Scene& scene) {
    scene.wave.wavePhase += phaseStep(scene.wave) * scene.wave.animationDirection;
    recomputeFlag(scene.flag, scene.wave);
}
