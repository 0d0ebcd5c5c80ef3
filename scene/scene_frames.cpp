#include "scene_frames.h"

#include <algorithm>
#include <memory>
#include <system_error>
#include <thread>

#include "memory.h"

SceneFrames::SceneFrames(const Scene& scene, const FrameLook& look, FrameRun run, int threads)
    : look_(look), run_(run), threads_(std::max(threads, 1)), width_(frameWidthAt(look.scale)),
      height_(frameHeightAt(look.scale)), base_(scene) {
    setFrameScale(base_, look.scale * look.supersample);
    const int count = run == FrameRun::Single ? 1 : std::max(base_.wave.framesPerCycle, 1);
    phases_.reserve(count);
    for (int k = 0; k < count; ++k)
        phases_.push_back(phaseOf(k));
}

double SceneFrames::phaseOf(int k) const {
    const WaveState& wave = base_.wave;
    switch (run_) {
    case FrameRun::Single: break;
    case FrameRun::Capture: {
        // Tick by tick, as the capture moves it: the phase is wrapped the same way.
        WaveState ticked = wave;
        for (int tick = 0; tick < k; ++tick)
            tickPhase(ticked);
        return ticked.wavePhase;
    }
    case FrameRun::Seamless: {
        // k periods of 3600 over (setting x count): exact for k = 0, and for k = count one
        // whole wave period, 360 / frequency, rounded once.
        const double count = std::max(wave.framesPerCycle, 1);
        return wave.wavePhase +
               wave.animationDirection * (3600.0 * k) / (wave.wavePeriodSetting * count);
    }
    }
    return wave.wavePhase;
}

void SceneFrames::draw(Worker& worker, int k) {
    if (k == 0 && run_ != FrameRun::Seamless) {
        // The first frame is the one the window shows: the scene's surface as the last action
        // left it. After a key that is the surface the key turned or moved, not a recompute.
        worker.scene.flag.surfaceGrid = base_.flag.surfaceGrid;
    } else {
        showPhase(worker.scene, k < frameCount() ? phases_[k] : phaseOf(k));
    }
    const bool mark = look_.alphaChannel && look_.transparent;
    if (look_.supersample > 1) {
        drawSceneFrame(worker.scene, worker.fine.view(), mark);
        averageBlocks(worker.fine.view(), look_.supersample, look_.alphaChannel,
                      worker.frame.view());
    } else {
        drawSceneFrame(worker.scene, worker.frame.view(), mark);
        if (look_.alphaChannel) undrawnMarkToAlpha(worker.frame.view());
    }
}

std::unique_ptr<SceneFrames::Worker> SceneFrames::makeWorker() const {
    auto worker = std::make_unique<Worker>();
    worker->scene = base_;
    worker->frame = FrameImage(width_, height_);
    const int s = look_.supersample;
    if (s > 1) worker->fine = FrameImage(width_ * s, height_ * s);
    return worker;
}

void SceneFrames::drawFrame(int k, FrameImage& frame) {
    auto worker = makeWorker();
    draw(*worker, k);
    frame = std::move(worker->frame);
}

std::uint64_t SceneFrames::laneBytes() const {
    const int s = look_.supersample;
    std::uint64_t pixels = std::uint64_t{static_cast<std::uint32_t>(width_)} * height_;
    if (s > 1) pixels += pixels * s * s;
    return sizeof(Worker) + depthCellCountAt(base_.frameScale) * sizeof(std::int32_t) +
           pixels * sizeof(std::uint32_t);
}

int lanesInFlight(int threads, int frames, std::uint64_t laneBytes,
                  std::optional<std::uint64_t> available) {
    std::uint64_t lanes = static_cast<std::uint64_t>(std::max(1, std::min(threads, frames)));
    if (available && laneBytes > 0) lanes = std::min(lanes, *available / 2 / laneBytes);
    return static_cast<int>(std::max<std::uint64_t>(lanes, 1));
}

bool SceneFrames::forEachFrame(const std::function<bool(int, const FrameView&)>& visit) {
    const int count = frameCount();
    const int wanted = lanesInFlight(threads_, count, laneBytes(), availableMemoryBytes());
    std::vector<std::unique_ptr<Worker>> workers;
    try {
        for (int w = 0; w < wanted; ++w)
            workers.push_back(makeWorker());
    } catch (const std::bad_alloc&) {
        if (workers.empty()) throw; // not even one frame's buffers: the caller says so
    }
    const int lanes = static_cast<int>(workers.size());
    int helpersThatStart = lanes - 1;
    for (int batch = 0; batch < count; batch += lanes) {
        const int n = std::min(lanes, count - batch);
        {
            std::vector<std::jthread> helpers;
            helpers.reserve(static_cast<std::size_t>(n));
            for (int w = 1; w < n && w <= helpersThatStart; ++w) {
                try {
                    helpers.emplace_back([&, w] { draw(*workers[w], batch + w); });
                } catch (const std::system_error&) {
                    helpersThatStart = w - 1; // the system has no more threads for us
                }
            }
            // This thread draws its own frame and those no helper could be started for.
            const int started = static_cast<int>(helpers.size());
            draw(*workers[0], batch);
            for (int w = started + 1; w < n; ++w)
                draw(*workers[w], batch + w);
        } // the helpers join here
        for (int w = 0; w < n; ++w)
            if (!visit(batch + w, workers[w]->frame.view())) return false;
    }
    return true;
}

void averageBlocks(const FrameView& fine, int factor, bool alphaChannel, FrameView out) {
    const std::uint32_t n = static_cast<std::uint32_t>(factor * factor);
    for (int row = 0; row < out.height; ++row) {
        for (int column = 0; column < out.width; ++column) {
            std::uint32_t opacity = 0, sum[3] = {0, 0, 0}; // red, green, blue times opacity
            for (int dy = 0; dy < factor; ++dy) {
                for (int dx = 0; dx < factor; ++dx) {
                    const std::uint32_t p = fine.at(column * factor + dx, row * factor + dy);
                    const std::uint32_t a = (p & kUndrawnMark) ? 0 : 255;
                    opacity += a;
                    sum[0] += a * ((p >> 16) & 255);
                    sum[1] += a * ((p >> 8) & 255);
                    sum[2] += a * (p & 255);
                }
            }
            // Rounded halves up; a block with nothing drawn keeps black under alpha 0.
            std::uint32_t c[3] = {0, 0, 0};
            if (opacity > 0)
                for (int k = 0; k < 3; ++k)
                    c[k] = (2 * sum[k] + opacity) / (2 * opacity);
            std::uint32_t pixel = (c[0] << 16) | (c[1] << 8) | c[2];
            if (alphaChannel) pixel |= ((2 * opacity + n) / (2 * n)) << 24;
            out.at(column, row) = pixel;
        }
    }
}
