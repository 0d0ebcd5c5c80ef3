#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "imagefiles/animation.h"
#include "render/frame.h"
#include "scene/scene.h"

// How the headless renderer's frames look beyond the scene itself.
struct FrameLook {
    int scale = 1;       // frames this many times larger in each direction (1..4)
    int supersample = 1; // drawn this many times larger again, each block averaged (1..4)
    bool alphaChannel =
        false; // pixels carry alpha in the top byte (0xAARRGGBB), for PNG, WebP, GIF
    bool transparent =
        false; // with alphaChannel: pixels no part of the flag was drawn on get alpha 0
};
inline constexpr int kMaxLookScale = 4;
inline constexpr int kMaxSupersample = 4;

// Which frames: the scene as it is, one wave cycle as the window's capture takes it (one tick
// between frames), or one cycle that loops without a jump.
enum class FrameRun { Single, Capture, Seamless };

// The frames of a run, drawn from a copy of `scene`. A frame depends only on its phase, the
// settings and the keys, so the frames are drawn `threads` at a time, each on its own copy of
// the scene; the pixels are the same for any number of threads.
//  - Single and the first frame of Capture: the scene's surface as it stands, as the window
//    shows it (after a key, without a recompute).
//  - Capture: frame 1 at the scene's phase, then one animation tick (movePhase) before each of
//    framesPerCycle frames, exactly as the window's capture.
//  - Seamless: the same count of frames (the whole number nearest to one cycle), the phase
//    moving by exactly one wave period over them, so that frame count + 1 would be frame 1
//    again, also when the period is not a whole number of ticks.
//
// Frames are drawn on `threads` threads at most, fewer when their buffers would take more than
// half the memory available (lanesInFlight); a thread that cannot be started leaves its frames
// to the calling thread, so a run never fails for want of threads.
class SceneFrames : public FrameSequence {
  public:
    SceneFrames(const Scene& scene, const FrameLook& look, FrameRun run, int threads);

    int frameCount() const override { return static_cast<int>(phases_.size()); }
    int width() const override { return width_; }
    int height() const override { return height_; }
    bool forEachFrame(const std::function<bool(int, const FrameView&)>& visit) override;

    // The phase frame k (from 0) is drawn at; k may pass the end, continuing the run.
    [[nodiscard]] double phaseOf(int k) const;
    // Draws frame k (any k >= 0, see phaseOf) into `frame`, of width() x height().
    void drawFrame(int k, FrameImage& frame);
    // The memory one thread's frames and scene take (the picture is shared by all).
    [[nodiscard]] std::uint64_t laneBytes() const;

  private:
    // One lane's own scene and frames, so that lanes never share what they write.
    struct Worker {
        Scene scene;
        FrameImage fine; // the supersampled drawing, when there is one
        FrameImage frame;
    };
    [[nodiscard]] std::unique_ptr<Worker> makeWorker() const;
    void draw(Worker& worker, int k);

    FrameLook look_;
    FrameRun run_;
    int threads_;
    int width_, height_;
    Scene base_;
    std::vector<double> phases_;
};

// How many frames are drawn at once: `threads`, no more than there are frames, and no more than
// fill half of `available` bytes (when known) at `laneBytes` each; one at least.
[[nodiscard]] int lanesInFlight(int threads, int frames, std::uint64_t laneBytes,
                                std::optional<std::uint64_t> available);

// Averages each block of factor x factor pixels of `fine` into one pixel of `out`, whose size
// times the factor fits in `fine`. With alpha, each colour is weighted by its pixel's opacity.
void averageBlocks(const FrameView& fine, int factor, bool alphaChannel, FrameView out);
