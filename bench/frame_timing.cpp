// Frame times without Google Benchmark, so that the same measurement runs in the Windows build
// (under Wine) and natively: the median of timed batches for clearing the buffers and for whole
// frames in each display mode, each frame also as a multiple of the clear; then one wave cycle
// of 60 textured frames made into a GIF and a WebP file as the window's animation export makes
// it (SceneFrames on every processor, then writeAnimation), as vexarond-render --cycle does.
//   frame_timing [BATCHES]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "imagefiles/frame_file.h"
#include "ramp_picture.h"
#include "scene/scene.h"
#include "scene/scene_frames.h"

namespace {
using Clock = std::chrono::steady_clock;

// Median seconds of one call of `work`, over `batches` batches of `calls` calls.
template <typename Work> double medianSeconds(int batches, int calls, Work work) {
    std::vector<double> times;
    work(); // warm up
    for (int b = 0; b < batches; ++b) {
        const auto start = Clock::now();
        for (int k = 0; k < calls; ++k)
            work();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count() / calls);
    }
    std::nth_element(times.begin(), times.begin() + batches / 2, times.end());
    return times[batches / 2];
}
} // namespace

int main(int argc, char** argv) {
    const int batches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    auto image = std::make_unique<FrameImage>();
    DepthBuffer depth;
    const double clear = medianSeconds(batches, 200, [&] {
        fillFrame(image->view(), {0, 0, 0});
        clearDepth(depth);
    });
    std::printf("%-12s %10.1f us\n", "clear", clear * 1e6);
    const char* names[] = {"wireframe", "solid", "textured"};
    for (int mode = 0; mode < 3; ++mode) {
        auto scene = std::make_unique<Scene>();
        startScene(*scene);
        if (mode == 1) chooseSurfaceColour(*scene, kRed);
        if (mode == 2) putPicture(*scene, rampPicture());
        const double frame = medianSeconds(batches, 20, [&] {
            advanceAnimation(*scene);
            drawSceneFrame(*scene, image->view());
        });
        std::printf("%-12s %10.1f us  x_clear %.1f\n", names[mode], frame * 1e6, frame / clear);
    }

    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    putPicture(*scene, rampPicture());
    const int threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    struct Export {
        const char* name;
        ImageFormat format;
        const char* file;
    };
    for (const Export& e : {Export{"gif cycle", ImageFormat::Gif, "vexarond-timing.gif"},
                            Export{"webp cycle", ImageFormat::Webp, "vexarond-timing.webp"}}) {
        FrameFileSettings settings;
        settings.format = e.format;
        bool ok = true;
        const double cycle = medianSeconds(std::max(1, batches / 3), 1, [&] {
            SceneFrames frames(*scene, {1, 1, true, false}, FrameRun::Seamless, threads);
            ok = ok && writeAnimation(folder / e.file, frames, settings).ok();
        });
        std::error_code ignored;
        std::filesystem::remove(folder / e.file, ignored);
        if (!ok) {
            std::printf("%-12s could not be written\n", e.name);
            return 1;
        }
        std::printf("%-12s %10.1f ms  %d frames, %d threads\n", e.name, cycle * 1e3,
                    scene->wave.framesPerCycle, threads);
    }
    return 0;
}
