#include "scene.h"

#include <algorithm>

#include "geometry/rotation.h"
#include "light_dial.h"

namespace {
constexpr int kStartTiltKeys = 15; // fifteen "x" keys: 45 degrees about X

void reshapeFlag(Scene& scene) {
    shapeControlNet(scene.flag.controlNet, scene.pictureWidth(), scene.pictureHeight(),
                    scene.fitFlagToPicture);
}
} // namespace

const char* const colourNames[kBackgroundCount] = {"pink",  "cyan", "yellow", "blue",
                                                   "green", "red",  "white",  "black"};
const Colour surfaceColours[kSurfaceColourCount] = {
    {255, 0, 255}, {0, 255, 255}, {255, 255, 0},   {0, 0, 255},
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

void startScene(Scene& scene) {
    scene.frameScale = 1;
    clearDepth(scene.depthBuffer);
    deriveWaveValues(scene.wave);
    FlagGeometry& flag = scene.flag;
    clearControlNet(flag.controlNet);
    reshapeFlag(scene);
    evaluateSurface(flag.controlNet, flag.surfaceGrid);
    flag.modelOffset = {};
    buildQuadEdges(flag.quadEdges);
    buildPolygonList(flag.polygonList);
    flag.topologyBuilt = true;
    setScreenOrigin(scene, {kClientWidth / 2, kClientHeight / 2});
    for (int k = 0; k < kStartTiltKeys; ++k)
        (void)handleKey(flag, 'x');
    movePhase(scene.wave, phaseStep(scene.wave));
    recomputeFlag(flag, scene.wave);
    // The light window sets the light from its dial's marker when it opens at start-up.
    scene.light.lightDirection = lightDirectionFromDial(kLightMarkerX, kLightMarkerY);
}

void setScreenOrigin(Scene& scene, ScreenOrigin origin) {
    // The depth buffer has room for a 640 x 480 client area (times the scale) and no more.
    scene.origin = {std::min(origin.x, kClientWidth / 2 * scene.frameScale),
                    std::min(origin.y, kClientHeight / 2 * scene.frameScale)};
}

void setFrameScale(Scene& scene, int scale) {
    scene.frameScale = std::clamp(scale, 1, kMaxFrameScale);
    clearDepth(scene.depthBuffer, scene.frameScale);
    setScreenOrigin(scene,
                    {kClientWidth / 2 * scene.frameScale, kClientHeight / 2 * scene.frameScale});
}

void renderFrame(Scene& scene, FrameView view) {
    FlagGeometry& flag = scene.flag;
    prepareFaces(flag, scene.frameScale);
    if (scene.displayMode == DisplayMode::Wireframe) {
        // Lines need only the projected corners: no normals, planes or depths.
        drawFlagWire(flag, view, scene.origin, packPixel(scene.wireColour));
        return;
    }
    averageVertexNormals(flag);
    computeScreenPlanes(flag);
    FillContext context;
    context.view = view;
    context.depth = scene.depthBuffer.data();
    context.depthRowCells = depthRowCellsAt(scene.frameScale);
    context.origin = scene.origin;
    context.spanSearchLimit = kSpanSearchLimit * scene.frameScale;
    context.light = frameLight(scene.light);
    if (scene.displayMode == DisplayMode::Picture && scene.pictureLoaded())
        context.picture = scene.picture.get();
    context.erase = &scene.erase;
    fillPolygons(flag, context);
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
    scene.displayMode = DisplayMode::Solid;
    recomputeFlag(scene.flag, scene.wave);
}

void chooseWireframe(Scene& scene) {
    scene.displayMode = DisplayMode::Wireframe;
    recomputeFlag(scene.flag, scene.wave);
}

bool choosePicture(Scene& scene) {
    const bool shown = scene.pictureLoaded();
    if (shown) {
        scene.displayMode = DisplayMode::Picture;
        reshapeFlag(scene);
    }
    recomputeFlag(scene.flag, scene.wave);
    return shown;
}

void putPicture(Scene& scene, TextureImage picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != 4 * static_cast<std::size_t>(picture.width) * picture.height)
        return; // not a whole picture: the scene keeps what it has
    scene.picture = std::make_shared<const TextureImage>(std::move(picture));
    (void)choosePicture(scene);
}

void setFitFlagToPicture(Scene& scene, bool fit) {
    scene.fitFlagToPicture = fit;
    reshapeFlag(scene);
}

void setEraseColour(Scene& scene, Colour colour) {
    setEraseColour(scene.erase, colour);
}

void setErasing(Scene& scene, bool enabled) {
    scene.erase.eraseEnabled = enabled;
}

void setEraseTolerance(Scene& scene, int tolerance) {
    scene.erase.eraseTolerance =
        std::clamp(tolerance, kEraseToleranceRange.minimum, kEraseToleranceRange.maximum);
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

namespace {
// The setting's field in a WaveState, const or not.
template <typename Wave> auto& settingField(Wave& w, WaveSetting setting) {
    switch (setting) {
    case WaveSetting::Period: return w.wavePeriodSetting;
    case WaveSetting::Height: return w.waveHeightSetting;
    case WaveSetting::Direction: return w.waveDirectionSetting;
    case WaveSetting::Turbulence: return w.turbulenceSetting;
    case WaveSetting::Speed: break;
    }
    return w.waveSpeedSetting;
}

void storeWaveSetting(WaveState& w, WaveSetting setting, int value) {
    const SettingRange range = waveSettingRange(setting);
    settingField(w, setting) = std::clamp(value, range.minimum, range.maximum);
}
} // namespace

int waveSetting(const Scene& scene, WaveSetting setting) {
    return settingField(scene.wave, setting);
}

void setWaveSetting(Scene& scene, WaveSetting setting, int value) {
    storeWaveSetting(scene.wave, setting, value);
    deriveWaveValues(scene.wave);
}

WaveSliders waveSliders(const Scene& scene) {
    WaveSliders positions;
    for (int k = 0; k < kWaveSettingCount; ++k)
        positions[k] = waveSetting(scene, static_cast<WaveSetting>(k));
    return positions;
}

void setWaveSliders(Scene& scene, const WaveSliders& positions) {
    for (int k = 0; k < kWaveSettingCount; ++k)
        storeWaveSetting(scene.wave, static_cast<WaveSetting>(k), positions[k]);
    deriveWaveValues(scene.wave);
}

void setRippleForm(Scene& scene, int form) {
    scene.wave.turbulenceMode =
        std::clamp(form, kRippleFormRange.minimum, kRippleFormRange.maximum);
}

void setLightDirection(Scene& scene, Vec3 direction) {
    scene.light.lightDirection = direction;
}

bool pickLightDial(Scene& scene, int x, int y) {
    if (!insideDialPickRegion(x, y)) return false;
    setLightDirection(scene, lightDirectionFromDial(x, y));
    return true;
}

void setSurfaceSlider(Scene& scene, int position) {
    position = std::clamp(position, kSurfaceSliderRange.minimum, kSurfaceSliderRange.maximum);
    scene.light.specularWeight = position / 100.0;
    scene.light.diffuseWeight = (1 - scene.light.specularWeight) * 0.25;
}

void setIntensitySlider(Scene& scene, int position) {
    position = std::clamp(position, kIntensitySliderRange.minimum, kIntensitySliderRange.maximum);
    scene.light.brightness = position / 10.0;
}

void drawSceneFrame(Scene& scene, FrameView view, bool markUndrawn) {
    if (markUndrawn)
        fillFrameMarked(view, scene.background);
    else
        fillFrame(view, scene.background);
    // The wireframe does not test depths; the next filled frame clears them anyway.
    if (scene.displayMode != DisplayMode::Wireframe)
        clearDepth(scene.depthBuffer, scene.frameScale);
    renderFrame(scene, view);
}

void typeKeys(Scene& scene, std::string_view keys) {
    for (char key : keys)
        (void)handleKey(scene.flag, static_cast<unsigned char>(key));
}

void recomputeScene(Scene& scene) {
    recomputeFlag(scene.flag, scene.wave);
}

void stepAnimation(Scene& scene, int direction, int count) {
    scene.wave.animationDirection = direction;
    movePhase(scene.wave, static_cast<std::int64_t>(phaseStep(scene.wave)) * direction * count);
    recomputeFlag(scene.flag, scene.wave);
}

void tickPhase(WaveState& wave) {
    movePhase(wave, phaseStep(wave) * wave.animationDirection);
}

void advanceAnimation(Scene& scene) {
    tickPhase(scene.wave);
    recomputeFlag(scene.flag, scene.wave);
}

void setPlayDirection(Scene& scene, int direction) {
    scene.wave.animationDirection = direction < 0 ? -1 : 1;
}

void showPhase(Scene& scene, double phase) {
    recomputeFlagAtPhase(scene.flag, scene.wave, phase);
}
