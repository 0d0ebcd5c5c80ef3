#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "geometry/flag.h"
#include "geometry/wave.h"
#include "imagefiles/texture_image.h"
#include "render/fill.h"
#include "render/frame.h"
#include "render/pipeline.h"
#include "render/shading.h"

enum class DisplayMode { Wireframe = 0, Solid = 1, Picture = 2 };

// Everything the flag's frames depend on, without any window: the window program and the
// headless renderer drive the same record through the same operations below, and nothing
// else writes its fields.
struct Scene {
    FlagGeometry flag;
    WaveState wave;
    DisplayMode displayMode = DisplayMode::Wireframe;
    Colour wireColour{255, 255, 255};
    Colour background{0, 0, 0};
    ScreenOrigin origin;
    int frameScale = 1; // see setFrameScale
    DepthBuffer depthBuffer;
    LightState light;
    EraseState erase;
    bool fitFlagToPicture = true;
    // None until the first picture is put in; a failed load never touches it. Never changed
    // once put in, so copies of the scene (the drawing threads') share it instead of copying,
    // and it is freed when the last of them lets it go.
    std::shared_ptr<const TextureImage> picture;

    [[nodiscard]] bool pictureLoaded() const { return picture != nullptr; }
    // The flag's proportions come from the picture, or from the default flag before one.
    [[nodiscard]] int pictureWidth() const {
        return pictureLoaded() ? picture->width : kDefaultPictureWidth;
    }
    [[nodiscard]] int pictureHeight() const {
        return pictureLoaded() ? picture->height : kDefaultPictureHeight;
    }
};

// The colours of the display menu, in its order: the first seven are the flag colours, all
// eight the backgrounds. The English names are the headless renderer's.
enum ColourChoice { kPink, kCyan, kYellow, kBlue, kGreen, kRed, kWhite, kBlack };
inline constexpr int kSurfaceColourCount = kWhite + 1;
inline constexpr int kBackgroundCount = kBlack + 1;
extern const char* const colourNames[kBackgroundCount];
extern const Colour surfaceColours[kSurfaceColourCount];
extern const Colour backgroundColours[kBackgroundCount];
// The wireframe colour that stands out from each background.
extern const Colour lineColours[kBackgroundCount];

// The range of a slider or choice, both ends included.
struct SettingRange {
    int minimum, maximum;
    [[nodiscard]] constexpr bool contains(int value) const {
        return value >= minimum && value <= maximum;
    }
};

// The scene exactly as the program shows it right after start-up: derived wave values, the
// cleared depth buffer, the shaped control net, the surface and topology, the fifteen start-up
// "x" keys (45 degrees about X), the first phase step, and the light set from the light
// window's dial marker.
void startScene(Scene& scene);

// Where model x = 0, y = 0 lands: half the client area, never more than the depth buffer holds.
void setScreenOrigin(Scene& scene, ScreenOrigin origin);

// Frames `scale` (1..kMaxFrameScale) times larger in each direction, drawn on views of
// frameWidthAt(scale) x frameHeightAt(scale) pixels or more: the projection, the origin and
// the depth buffer grow with it. Scale 1 is the window's frame.
void setFrameScale(Scene& scene, int scale);

// Clears the frame to the background and (for the filled modes) the depth buffer, then renders
// the surface. With
// `markUndrawn` the background carries kUndrawnMark, so that the pixels no part of the flag
// was drawn on can be told apart afterwards (erased picture pixels among them).
void drawSceneFrame(Scene& scene, FrameView view, bool markUndrawn = false);
// renderFrame: the preparation passes the display mode needs (projection and face normals;
// for the filled modes also vertex normals and screen planes), then each quad by its drawer.
void renderFrame(Scene& scene, FrameView view);

// Characters typed into the main window, one after the other (handleKey): each turns or moves
// the surface at once, and nothing is recomputed, as in the window.
void typeKeys(Scene& scene, std::string_view keys);
// A tool window's redraw request, after it set what it sets: the flag rebuilt for the current
// settings.
void recomputeScene(Scene& scene);

// `count` single steps forward (+1) or backward (-1): sets the direction, moves the phase by
// the speed for each, and recomputes once (the surface depends on the phase alone).
void stepAnimation(Scene& scene, int direction, int count = 1);
// One animation tick, also the step between two frames of a numbered capture: moves the phase
// in the current direction (tickPhase) and recomputes.
void advanceAnimation(Scene& scene);
// The phase move of one tick alone, for working out where later ticks will be.
void tickPhase(WaveState& wave);
// The play commands' direction: +1 forward, -1 backward; the flag is not recomputed.
void setPlayDirection(Scene& scene, int direction);
// Shows the flag at any phase, whole or not, without changing the stored phase.
void showPhase(Scene& scene, double phase);

// Writes a flag colour into every polygon record; nothing before the list is built.
void setSurfaceColour(FlagGeometry& flag, int index);

// Display choices, each followed by a recompute of the flag.
void chooseSurfaceColour(Scene& scene, int index); // the flag lit in one colour
void chooseWireframe(Scene& scene);
// The flag textured with the picture; false (and only a recompute) while no picture is loaded.
bool choosePicture(Scene& scene);
// Background and the matching wireframe colour; the flag is not recomputed.
void chooseBackground(Scene& scene, int index);

// A picture that was read completely replaces the scene's picture, which is freed unless a copy
// of the scene still holds it; the flag takes its proportions (while fitting is on) and shows
// it, textured. The picture is moved in, never copied.
void putPicture(Scene& scene, TextureImage picture);
// The tool windows' settings below change the scene's fields (and what is derived from them)
// and nothing more: a tool window then asks the main window to redraw, which rebuilds the flag
// once (recomputeScene) however many settings changed. The menu's commands above rebuild it
// themselves.

// The control box's aspect switch: the flag follows the picture's proportions or keeps the
// default shape; reshapes the control net.
void setFitFlagToPicture(Scene& scene, bool fit);

// The erase colour window: the colour (with its derived values), the switch and the tolerance.
void setEraseColour(Scene& scene, Colour colour);
void setErasing(Scene& scene, bool enabled);
void setEraseTolerance(Scene& scene, int tolerance); // clamped to kEraseToleranceRange

// The wave window's sliders and ripple choice: set and derive.
enum class WaveSetting { Period, Height, Direction, Turbulence, Speed };
[[nodiscard]] SettingRange waveSettingRange(WaveSetting setting);
void setWaveSetting(Scene& scene, WaveSetting setting, int value); // value clamped to its range
[[nodiscard]] int waveSetting(const Scene& scene, WaveSetting setting);
// The five slider positions in WaveSetting order, for a snapshot and its restore (one recompute).
inline constexpr int kWaveSettingCount = 5;
using WaveSliders = std::array<int, kWaveSettingCount>;
[[nodiscard]] WaveSliders waveSliders(const Scene& scene);
void setWaveSliders(Scene& scene, const WaveSliders& positions); // each clamped
inline constexpr SettingRange kRippleFormRange{0, 2};
void setRippleForm(Scene& scene, int form); // clamped

// The light window: direction (any length, z > 0), surface and intensity sliders (clamped).
inline constexpr SettingRange kSurfaceSliderRange{10, 90};
inline constexpr SettingRange kIntensitySliderRange{1, 15};
inline constexpr SettingRange kEraseToleranceRange{0, 200};
void setLightDirection(Scene& scene, Vec3 direction);
// A pick on the light dial at a client point: inside its pick region the light takes the
// dial's direction (true); outside nothing at all changes (false).
bool pickLightDial(Scene& scene, int x, int y);
void setSurfaceSlider(Scene& scene, int position);
void setIntensitySlider(Scene& scene, int position);
inline constexpr int kLightMarkerX = 45, kLightMarkerY = 45; // the dial's marker at start-up
