#pragma once

#include "frame.h"
#include "geometry/flag.h"
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
    bool fitFlagToPicture = true;
    int pictureWidth = kDefaultPictureWidth;
    int pictureHeight = kDefaultPictureHeight;
};

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

// renderFrame: the three preparation passes, then each quad by the display mode's drawer.
void renderFrame(Scene& scene, FrameView view);
