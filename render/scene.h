#pragma once

#include "fill.h"
#include "frame.h"
#include "geometry/flag.h"
#include "imagefiles/texture_image.h"
#include "shading.h"
#include "geometry/wave.h"
#include "pipeline.h"

inline constexpr int kDisplayWireframe = 0;
inline constexpr int kDisplaySolid = 1;
inline constexpr int kDisplayPicture = 2;

// Everything the flag's frames depend on, without any window: the window program and the
// headless renderer drive the same record through the same operations below.
struct Scene {
    FlagGeometry flag;
    WaveState wave;
    int displayMode = kDisplayWireframe;
    Colour wireColour{255, 255, 255};
    Colour background{0, 0, 0};
    ScreenOrigin origin;
    DepthBuffer depthBuffer;
    LightState light;
    EraseState erase;
    bool fitFlagToPicture = true;
    bool pictureLoaded = false;
    TextureImage picture;
    int pictureWidth = kDefaultPictureWidth;
    int pictureHeight = kDefaultPictureHeight;
};

inline constexpr int kSurfaceColourCount = 7;
inline constexpr int kBackgroundCount = 8;
inline constexpr int kBlackBackground = 7;
// Flag colours in menu order pink, cyan, yellow, blue, green, red, white.
extern const Colour surfaceColours[kSurfaceColourCount];
// Backgrounds pink, cyan, yellow, blue, green, red, white, black, and the wireframe colour
// that stands out from each.
extern const Colour backgroundColours[kBackgroundCount];
extern const Colour lineColours[kBackgroundCount];

// Start-up computations: derived wave values, the cleared depth buffer, the shaped control net.
void initialiseScene(Scene& scene);

// The flag as the main window's creation makes it: surface, topology, screen origin, the
// fifteen start-up "x" keys (45 degrees about X), the first phase step and a recompute.
void createFlag(Scene& scene, ScreenOrigin origin);

// Clears the frame to the background and the depth buffer, then renders the surface.
void drawSceneFrame(Scene& scene, FrameView view);

// A single step forward (+1) or backward (-1): sets the direction, moves the phase, recomputes.
void stepAnimation(Scene& scene, int direction);

// One animation tick: moves the phase in the current direction and recomputes.
void advanceAnimation(Scene& scene);

// Writes a flag colour into every polygon record; nothing before the list is built.
void setSurfaceColour(FlagGeometry& flag, int index);

// Display choices, each followed by a recompute of the flag.
void chooseSurfaceColour(Scene& scene, int index); // the flag lit in one colour
void chooseWireframe(Scene& scene);
// The flag textured with the picture; false (and only a recompute) while no picture is loaded.
bool choosePicture(Scene& scene);
// Background and the matching wireframe colour; the flag is not recomputed.
void chooseBackground(Scene& scene, int index);

// The wave window's sliders and ripple choice: set, derive, recompute.
enum class WaveSetting { Period, Height, Direction, Turbulence, Speed };
struct SettingRange {
    int minimum, maximum;
};
[[nodiscard]] SettingRange waveSettingRange(WaveSetting setting);
void setWaveSetting(Scene& scene, WaveSetting setting, int value); // value clamped to its range
void setRippleForm(Scene& scene, int form);

// The light window: direction (any length, z > 0), surface slider 10..90, intensity 1..15.
void setLightDirection(Scene& scene, Vec3 direction);
void setSurfaceSlider(Scene& scene, int position);
void setIntensitySlider(Scene& scene, int position);
inline constexpr int kLightMarkerX = 45, kLightMarkerY = 45; // the dial's marker at start-up

// renderFrame: the three preparation passes, then each quad by the display mode's drawer.
void renderFrame(Scene& scene, FrameView view);
