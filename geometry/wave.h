#pragma once

#include <cstdint>

#include "flag.h"

// Wave settings (slider positions), the values derived from them and the animation phase.
struct WaveState {
    int wavePhase = 0;              // degrees; see movePhase
    int animationDirection = 1;     // +1 forward, -1 backward
    int wavePeriodSetting = 6;      // 2..10
    int waveHeightSetting = 10;     // 0..20
    int waveDirectionSetting = 120; // 0..waveDirectionSpan
    static constexpr int waveDirectionSpan = 240;
    int turbulenceSetting = 3; // 0..6
    int waveSpeedSetting = 10; // 2..20
    int turbulenceMode = 0;    // ripple form 0, 1 or 2

    // Derived from the settings by deriveWaveValues.
    double waveFrequency = 0;
    double waveHeight = 0;
    double waveDirection = 0;
    double turbulence = 0;
    double waveSpeed = 0;
    int framesPerCycle = 0;
};

void deriveWaveValues(WaveState& wave);

// Moves the phase by `degrees`. Nothing is wrapped while the phase stays within
// kPhaseWrapLimit, so every frame there is exactly the unwrapped one. Beyond it the phase is
// brought back by a whole multiple of kPhaseWrap before the int could overflow: 3600 degrees
// are a whole number of wave and ripple periods for every period setting (3600 x setting / 10
// = 360 x setting), so the flag's shape is the same up to rounding.
inline constexpr int kPhaseWrap = 3600;
inline constexpr int kPhaseWrapLimit = 1 << 30;
void movePhase(WaveState& wave, std::int64_t degrees);

// The phase step of one tick or single step: the speed truncated to whole degrees.
[[nodiscard]] inline int phaseStep(const WaveState& wave) {
    return static_cast<int>(wave.waveSpeed);
}

// Rebuilds surfaceGrid for the current frame: the wave on a copy of the rest net, the surface,
// the ripple, the model offset and the replay of every rotation key.
void recomputeFlag(FlagGeometry& flag, const WaveState& wave);
// The same at any phase, whole or not, instead of wave.wavePhase; the shape depends on the
// phase, the settings and the keys alone.
void recomputeFlagAtPhase(FlagGeometry& flag, const WaveState& wave, double phase);

// One wave period in phase degrees: 360 / frequency, i.e. 3600 / the period setting, exactly
// as far as a double holds it. The ripple's period divides it.
[[nodiscard]] inline double wavePeriodDegrees(const WaveState& wave) {
    return 3600.0 / wave.wavePeriodSetting;
}

// The ring-shaped ripple on the evaluated surface.
void addRipple(SurfaceGrid& grid, const WaveState& wave);
void addRipple(SurfaceGrid& grid, const WaveState& wave, double phase);

extern const double waveWeights[kNetSize][kNetSize];
extern const double rippleWeights[kGridSize];
