#include "wave.h"

#include <cmath>

#include "constants.h"
#include "rotation.h"

const double waveWeights[kNetSize][kNetSize] = {
    {0, 10, 20, 40, 55, 65, 45, 25, 15}, {5, 10, 20, 40, 55, 65, 45, 25, 15},
    {5, 10, 20, 40, 55, 65, 45, 25, 15}, {5, 10, 20, 40, 55, 65, 45, 25, 15},
    {5, 10, 20, 40, 55, 65, 45, 25, 15}, {5, 10, 20, 40, 55, 65, 45, 25, 15},
    {5, 10, 20, 40, 55, 65, 45, 25, 15}, {5, 10, 20, 40, 55, 65, 45, 25, 15},
    {0, 10, 20, 40, 55, 65, 45, 25, 15},
};

const double rippleWeights[kGridSize] = {0,  1,  2,  2,  3,  3,  4,  5,  6,  7,  8,  9,  10,
                                         11, 12, 13, 14, 15, 16, 17, 17, 18, 18, 16, 14, 12};

void deriveWaveValues(WaveState& wave) {
    wave.waveFrequency = wave.wavePeriodSetting / 10.0;
    wave.waveHeight = wave.waveHeightSetting / 10.0;
    wave.waveDirection = wave.waveDirectionSetting - WaveState::waveDirectionSpan / 2;
    wave.turbulence = wave.turbulenceSetting / 10.0;
    wave.waveSpeed = wave.waveSpeedSetting;
    wave.framesPerCycle = static_cast<int>(360 / wave.waveFrequency / wave.waveSpeed + 0.5);
}

void movePhase(WaveState& wave, std::int64_t degrees) {
    std::int64_t phase = wave.wavePhase + degrees;
    if (phase > kPhaseWrapLimit || phase < -kPhaseWrapLimit) phase %= kPhaseWrap;
    wave.wavePhase = static_cast<int>(phase);
}

void addRipple(SurfaceGrid& grid, const WaveState& wave) {
    addRipple(grid, wave, wave.wavePhase);
}

void addRipple(SurfaceGrid& grid, const WaveState& wave, double phase) {
    // The ring spreads from x = -180, z = 0, just beyond the hoist at mid-height.
    static constexpr double kRingCentreX = -180;
    for (int i = 0; i < kGridSize; ++i) {
        const double span = grid[i][kGridSize - 1].x - grid[i][0].x;
        for (int j = 0; j < kGridSize; ++j) {
            MeshVertex& p = grid[i][j];
            const double d = std::sqrt(p.z * p.z + (kRingCentreX - p.x) * (kRingCentreX - p.x));
            const double a = (d * 900 / span - phase) * kPi / 180;
            double e = 0;
            double f = 0;
            switch (wave.turbulenceMode) {
            case 2: {
                const double g = a * (2 * wave.waveFrequency);
                e = std::cos(g) * std::sin(g);
                f = wave.turbulence * 3;
                break;
            }
            case 1: {
                const double g = a * (2 * wave.waveFrequency);
                e = std::cos(g) + std::sin(g);
                f = wave.turbulence * 3;
                break;
            }
            default:
                e = std::sin(a * wave.waveFrequency);
                f = wave.turbulence * 12;
                break;
            }
            p.y = p.y - e * (f * rippleWeights[j] / 25);
        }
    }
}

void recomputeFlag(FlagGeometry& flag, const WaveState& wave) {
    recomputeFlagAtPhase(flag, wave, wave.wavePhase);
}

void recomputeFlagAtPhase(FlagGeometry& flag, const WaveState& wave, double phase) {
    const int ox = static_cast<int>(flag.modelOffset.x);
    const int oy = static_cast<int>(flag.modelOffset.y);
    const int oz = static_cast<int>(flag.modelOffset.z);
    flag.wavedNet = flag.controlNet;

    for (int r = 0; r < kNetSize; ++r) {
        const auto& rest = flag.controlNet[r];
        const double span = rest[kNetSize - 1].x - rest[0].x;
        const double rowShift = r * wave.waveDirection * 1.125;
        for (int c = 0; c < kNetSize; ++c) {
            // 900 degrees from hoist to fly end before the frequency scales it.
            const double angle = ((rest[c].x - rest[0].x) * 900 / span - phase + rowShift) * kPi /
                                 180 * wave.waveFrequency;
            flag.wavedNet[r][c].y =
                std::sin(angle) * wave.waveHeight * waveWeights[r][c] + rest[c].y;
        }
    }

    evaluateSurface(flag.wavedNet, flag.surfaceGrid, flag.surfaceXZ);
    addRipple(flag.surfaceGrid, wave, phase);
    for (auto& row : flag.surfaceGrid)
        for (auto& p : row)
            p.x += ox, p.y += oy, p.z += oz;
    replayRotationKeys(flag.surfaceGrid, std::span(flag.keyLog).first(flag.keyCount),
                       flag.modelOffset);
    if (flag.overflowed)
        rotateAboutOffset(flag.surfaceGrid, flag.overflowRotation, flag.modelOffset);
}
