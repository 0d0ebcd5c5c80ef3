#include "scene.h"

#include <algorithm>

#include "geometry/rotation.h"

namespace {
constexpr int kStartTiltKeys = 15; // fifteen "x" keys: 45 degrees about X
}

const Colour surfaceColours[kSurfaceColourCount] = {
    {255, 0, 255}, {0, 255, 255}, {255, 255, 0}, {0, 0, 255},
    {0, 255, 0},   {255, 0, 0},   {255, 255, 255},
};
const Colour backgroundColours[kBackgroundCount] = {
    {255, 0, 255}, {0, 255, 255}, {255, 255, 0},   {0, 0, 255},
    {0, 255, 0},   {255, 0, 0},   {255, 255, 255}, {0, 0, 0},
};
const Colour lineColours[kBackgroundCount] = {
    {0, 255, 0},   {255, 0, 0},   {0, 0, 255}, {255, 255, 0},
    {255, 0, 255}, {0, 255, 255}, {0, 0, 0},   {255, 255, 255},
};

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
    // The depth buffer has room for a 640 x 480 client area and no more.
    scene.origin = {std::min(origin.x, kClientWidth / 2), std::min(origin.y, kClientHeight / 2)};
    for (int k = 0; k < kStartTiltKeys; ++k) (void)handleKey(flag, 'x');
    scene.wave.wavePhase += phaseStep(scene.wave);
    recomputeFlag(flag, scene.wave);
}

void renderFrame(Scene& scene, FrameView view) {
    FlagGeometry& flag = scene.flag;
    prepareFaces(flag);
    averageVertexNormals(flag);
    computeScreenPlanes(flag);
    if (scene.displayMode == kDisplayWireframe) {
        const std::uint32_t wirePixel = packPixel(scene.wireColour);
        for (const PolygonRecord& polygon : flag.polygonList) {
            if (polygon.edges == kNone) break;
            drawPolygonWire(flag, polygon, view, scene.origin, wirePixel);
        }
        return;
    }
    FillContext context;
    context.view = view;
    context.depth = scene.depthBuffer.data();
    context.origin = scene.origin;
    context.textured = scene.displayMode == kDisplayPicture && scene.pictureLoaded &&
                       !scene.picture.pixels.empty();
    context.light = frameLight(scene.light);
    context.picture = &scene.picture;
    context.pictureWidth = scene.picture.width;
    context.pictureHeight = scene.picture.height;
    context.erase = &scene.erase;
    for (const PolygonRecord& polygon : flag.polygonList) {
        if (polygon.edges == kNone) break;
        fillPolygon(flag, polygon, context);
    }
}

void setSurfaceColour(FlagGeometry& flag, int index) {
    if (!flag.topologyBuilt || index < 0 || index >= kSurfaceColourCount) return;
    const Colour c = surfaceColours[index];
    for (PolygonRecord& polygon : flag.polygonList) {
        if (polygon.edges == kNone) break;
        polygon.red = c.red, polygon.green = c.green, polygon.blue = c.blue;
    }
}

void chooseSurfaceColour(Scene& scene, int index) {
    setSurfaceColour(scene.flag, index);
    scene.displayMode = kDisplaySolid;
    recomputeFlag(scene.flag, scene.wave);
}

void chooseWireframe(Scene& scene) {
    scene.displayMode = kDisplayWireframe;
    recomputeFlag(scene.flag, scene.wave);
}

bool choosePicture(Scene& scene) {
    const bool shown = scene.pictureLoaded;
    if (shown) {
        scene.displayMode = kDisplayPicture;
        shapeControlNet(scene.flag.controlNet, scene.pictureWidth, scene.pictureHeight,
                        scene.fitFlagToPicture);
    }
    recomputeFlag(scene.flag, scene.wave);
    return shown;
}

void chooseBackground(Scene& scene, int index) {
    if (index < 0 || index >= kBackgroundCount) return;
    scene.wireColour = lineColours[index];
    scene.background = backgroundColours[index];
}

SettingRange waveSettingRange(WaveSetting setting) {
    switch (setting) {
    case WaveSetting::Period: return {2, 10};
    case WaveSetting::Height: return {0, 20};
    case WaveSetting::Direction: return {0, WaveState::waveDirectionSpan};
    case WaveSetting::Turbulence: return {0, 6};
    case WaveSetting::Speed: return {2, 20};
    }
    return {0, 0};
}

void setWaveSetting(Scene& scene, WaveSetting setting, int value) {
    const SettingRange range = waveSettingRange(setting);
    value = std::clamp(value, range.minimum, range.maximum);
    WaveState& w = scene.wave;
    switch (setting) {
    case WaveSetting::Period: w.wavePeriodSetting = value; break;
    case WaveSetting::Height: w.waveHeightSetting = value; break;
    case WaveSetting::Direction: w.waveDirectionSetting = value; break;
    case WaveSetting::Turbulence: w.turbulenceSetting = value; break;
    case WaveSetting::Speed: w.waveSpeedSetting = value; break;
    }
    deriveWaveValues(w);
    recomputeFlag(scene.flag, w);
}

void setRippleForm(Scene& scene, int form) {
    scene.wave.turbulenceMode = form;
    recomputeFlag(scene.flag, scene.wave);
}

void setLightDirection(Scene& scene, Vec3 direction) {
    scene.light.lightDirection = direction;
    recomputeFlag(scene.flag, scene.wave);
}

void setSurfaceSlider(Scene& scene, int position) {
    position = std::clamp(position, 10, 90);
    scene.light.specularWeight = position / 100.0;
    scene.light.diffuseWeight = (1 - scene.light.specularWeight) * 0.25;
    recomputeFlag(scene.flag, scene.wave);
}

void setIntensitySlider(Scene& scene, int position) {
    position = std::clamp(position, 1, 15);
    scene.light.brightness = position / 10.0;
    recomputeFlag(scene.flag, scene.wave);
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
