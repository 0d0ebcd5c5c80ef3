#pragma once

#include <windows.h>

#include "gdi.h"
#include "resources/resource.h"
#include "scene/scene.h"

// A slider's position and range; the wave sliders' positions live in the scene instead.
struct SliderRecord {
    int position = 0;
    int minimum = 0;
    int maximum = 0;
};

// What the tool windows keep for the whole run, beyond the scene: it outlives their windows.
struct WaveWindowState {
    int rippleButton = 12011; // the checked ripple radio button
    WaveSliders committed{};  // the five wave slider positions at the last commit
};

struct LightWindowState {
    int markerX = kLightMarkerX, markerY = kLightMarkerY; // the dial's marker, client pixels
    SliderRecord surface{50, kSurfaceSliderRange.minimum, kSurfaceSliderRange.maximum};
    SliderRecord intensity{3, kIntensitySliderRange.minimum, kIntensitySliderRange.maximum};
    bool dragging = false;
    struct Snapshot {
        Vec3 lightDirection;
        int markerX = 0, markerY = 0;
        int surface = 0, intensity = 0;
    } committed;
};

struct EraseWindowState {
    int committedTolerance = 50;     // the tolerance when the window was last created
    COLORREF customColours[16] = {}; // the colour chooser's custom colours, kept between uses
    Font buttonFont;                 // the two colour buttons' font, from WM_CREATE to WM_CLOSE
};

struct ControlBoxState {
    int animationCommand = IDM_STOP;
    int backgroundButton = IDC_BACKGROUND_LAST; // black
    int surfaceCommand = IDM_WIREFRAME;
};

// What the tool windows may see of the program's state: the scene they change, the windows
// they stand beside and relay to, and the control box's choice. The rest of the record
// (frame buffers, accelerators, the file commands' state) is the program's own, in
// app/scene_state.h, which builds on this.
struct SharedState {
    Scene core;

    HINSTANCE programInstance = nullptr;
    HWND mainWindow = nullptr;
    int windowWidth = 0; // outer size of a main window with a 640 x 480 client area
    int windowHeight = 0;

    int surfaceChoiceButton = IDC_SURFACE_WIREFRAME;

    // Set from the start of a numbered capture's dialogs to the end of its series: the display,
    // animation, save and capture commands wait.
    int captureRunning = 0;

    HWND waveWindow = nullptr;
    HWND lightWindow = nullptr;
    HWND controlWindow = nullptr;
    HWND eraseWindow = nullptr;
    int captionSyncBusy = 0;
    // Each tool window's control font (wave, light, control box, erase), from its WM_CREATE to
    // its WM_CLOSE.
    Font toolControlFonts[4];

    WaveWindowState wave;
    LightWindowState light;
    ControlBoxState controlBox;
    EraseWindowState eraseWindowState;
};

// The program's one record, as the tool windows see it; the program attaches it at start.
SharedState& sharedState();
void attachSharedState(SharedState* state);

inline constexpr UINT WM_REDRAW_REQUEST = WM_USER + 1; // recompute the flag and draw a frame
inline constexpr UINT WM_ENABLE_PICTURE_CHOICE = WM_USER + 2;
inline constexpr UINT_PTR kAnimationTimer = 10001; // the main window's only timer
inline constexpr UINT kAnimationInterval = 25;     // milliseconds while the flag plays
inline constexpr UINT kCaptureInterval = 100;      // milliseconds while a series is written

// After a change to the scene: the main window recomputes the flag and has drawn the new
// frame when this returns.
void requestRedraw();
