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
    // Each pixel weighs 255 where drawn and 0 where not, so the opacity-weighted sums are 255
    // times the plain sums over the drawn pixels, and (2 * 255 * sum + 255 * n) / (2 * 255 * n)
    // is (2 * sum + n) / (2 * n): the drawn pixels are counted and summed, red and blue side by
    // side in one word (16 pixels of 255 at most: each half stays below 2^16).
    static_assert(kMaxSupersample * kMaxSupersample * 255 < (1 << 16));
    constexpr int kMaxCount = kMaxSupersample * kMaxSupersample;
    // The divisions by 2 * count as multiplications: with numerators below 2^14 and divisors up
    // to 32, (x * ceil(2^32 / d)) >> 32 is exactly x / d rounded down. The alpha of each count
    // is the same for every block.
    const std::uint32_t n = static_cast<std::uint32_t>(factor * factor);
    std::uint64_t inverse[kMaxCount + 1] = {};
    std::uint32_t alpha[kMaxCount + 1] = {};
    for (std::uint32_t count = 0; count <= n; ++count) {
        if (count > 0) inverse[count] = ((std::uint64_t{1} << 32) + 2 * count - 1) / (2 * count);
        alpha[count] = alphaChannel ? ((2 * 255 * count + n) / (2 * n)) << 24 : 0;
    }
    const auto halfUp = [&](std::uint32_t sum, std::uint32_t count) {
        return static_cast<std::uint32_t>(((2 * sum + count) * inverse[count]) >> 32);
    };
    for (int row = 0; row < out.height; ++row) {
        const std::uint32_t* top =
            fine.pixels + static_cast<std::ptrdiff_t>(row) * factor * fine.stride;
        std::uint32_t* to = out.pixels + static_cast<std::ptrdiff_t>(row) * out.stride;
        for (int column = 0; column < out.width; ++column, top += factor) {
            std::uint32_t count = 0, redBlue = 0, green = 0;
            for (int dy = 0; dy < factor; ++dy) {
                const std::uint32_t* p = top + static_cast<std::ptrdiff_t>(dy) * fine.stride;
                for (int dx = 0; dx < factor; ++dx) {
                    const std::uint32_t keep = (p[dx] & kUndrawnMark) ? 0u : ~0u;
                    const std::uint32_t q = p[dx] & keep;
                    count += keep & 1;
                    redBlue += q & 0x00FF00FFu;
                    green += (q >> 8) & 0xFFu;
                }
            }
            // Rounded halves up; a block with nothing drawn keeps black under alpha 0.
            std::uint32_t pixel = alpha[count];
            if (count > 0)
                pixel |= halfUp(redBlue >> 16, count) << 16 | halfUp(green, count) << 8 |
                         halfUp(redBlue & 0xFFFFu, count);
            to[column] = pixel;
        }
    }
}
