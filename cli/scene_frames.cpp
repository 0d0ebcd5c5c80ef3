#include "scene_frames.h"

#include <algorithm>
#include <memory>
#include <thread>

SceneFrames::SceneFrames(const Scene& scene, const FrameLook& look, FrameRun run, int threads)
    : look_(look), run_(run), threads_(std::max(threads, 1)), width_(frameWidthAt(look.scale)),
      height_(frameHeightAt(look.scale)), base_(scene) {
    setFrameScale(base_, look.scale * look.supersample);
    const int count = run == FrameRun::Single ? 1 : std::max(base_.wave.framesPerCycle, 1);
    phases_.reserve(count);
    for (int k = 0; k < count; ++k) phases_.push_back(phaseOf(k));
}

double SceneFrames::phaseOf(int k) const {
    const WaveState& wave = base_.wave;
    switch (run_) {
    case FrameRun::Single: break;
    case FrameRun::Capture: {
        // Tick by tick, as the capture moves it: the phase is wrapped the same way.
        WaveState ticked = wave;
        for (int tick = 0; tick < k; ++tick)
            movePhase(ticked, phaseStep(ticked) * ticked.animationDirection);
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
        averageBlocks(worker.fine.view(), look_.supersample, look_.alphaChannel, worker.frame.view());
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

bool SceneFrames::forEachFrame(const std::function<bool(int, const FrameView&)>& visit) {
    const int count = frameCount();
    const int lanes = std::min(threads_, count);
    std::vector<std::unique_ptr<Worker>> workers;
    for (int w = 0; w < lanes; ++w)
        workers.push_back(makeWorker());
    for (int batch = 0; batch < count; batch += lanes) {
        const int n = std::min(lanes, count - batch);
        {
            std::vector<std::jthread> helpers;
            for (int w = 1; w < n; ++w)
                helpers.emplace_back([&, w] { draw(*workers[w], batch + w); });
            draw(*workers[0], batch);
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
                for (int k = 0; k < 3; ++k) c[k] = (2 * sum[k] + opacity) / (2 * opacity);
            std::uint32_t pixel = (c[0] << 16) | (c[1] << 8) | c[2];
            if (alphaChannel) pixel |= ((2 * opacity + n) / (2 * n)) << 24;
            out.at(column, row) = pixel;
        }
    }
}
