// Frame cost at the start-up view: the recompute alone and whole frames in each display mode;
// reading a large picture file; and writing frames as the window's save and the headless
// renderer do. The "allocations" counter counts heap allocations per frame; it must stay 0.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <unistd.h>

#include "cli/frame_series.h"
#include "scene/scene_frames.h"
#include "geometry/rotation.h"
#include "imagefiles/bmp_reader.h"
#include "imagefiles/bmp_writer.h"
#include "imagefiles/frame_file.h"
#include "imagefiles/image_format.h"
#include "imagefiles/jpeg_reader.h"
#include "imagefiles/jpeg_writer.h"
#include "ramp_picture.h"
#include "scene/scene.h"
#include "tests/native/jpeg_file_builder.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

enum class Mode { Wireframe, Solid, Textured, TexturedErasing };

std::unique_ptr<Scene> makeScene(Mode mode, int extraKeys) {
    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    if (mode == Mode::Solid) chooseSurfaceColour(*scene, kRed);
    if (mode == Mode::Textured || mode == Mode::TexturedErasing) putPicture(*scene, rampPicture());
    if (mode == Mode::TexturedErasing) {
        // The colour in the picture's middle: a patch of the flag is left out.
        setEraseColour(*scene, {128, 127, 127});
        setErasing(*scene, true);
    }
    // Pairs of opposite keys leave the view as it was, so the frames stay comparable.
    for (int k = 0; k < extraKeys; ++k)
        (void)handleKey(scene->flag, k % 2 ? 'Y' : 'y');
    return scene;
}

// Clearing the colour and depth buffers, as every frame starts: the floor a frame is measured
// against. Memory's speed differs between machines far less than ratios to it do.
void clearBuffers(FrameView view, DepthBuffer& depth, int scale) {
    fillFrame(view, {0, 0, 0});
    clearDepth(depth, scale);
    benchmark::DoNotOptimize(view.pixels);
    benchmark::DoNotOptimize(depth.data());
}

void BM_ClearBuffers(benchmark::State& state) {
    FrameImage image;
    DepthBuffer depth;
    for (auto _ : state)
        clearBuffers(image.view(), depth, 1);
}

using Clock = std::chrono::steady_clock;

// Seconds one clear of frame and depth buffers takes at `scale`: the median of a few timed
// batches, measured in the frame benchmark's own run.
double clearSeconds(int scale) {
    FrameImage image(frameWidthAt(scale), frameHeightAt(scale));
    DepthBuffer depth;
    clearBuffers(image.view(), depth, scale);
    constexpr int kBatches = 7, kClears = 50;
    std::vector<double> batches;
    for (int b = 0; b < kBatches; ++b) {
        const auto start = Clock::now();
        for (int k = 0; k < kClears; ++k)
            clearBuffers(image.view(), depth, scale);
        batches.push_back(std::chrono::duration<double>(Clock::now() - start).count() / kClears);
    }
    std::nth_element(batches.begin(), batches.begin() + kBatches / 2, batches.end());
    return batches[kBatches / 2];
}

// The pixels a frame of the scene draws: those the background's mark is gone from.
double drawnPixels(Scene scene, FrameImage& image) {
    drawSceneFrame(scene, image.view(), true);
    return static_cast<double>(std::count_if(image.pixels.begin(), image.pixels.end(),
                                             [](std::uint32_t p) { return !(p & kUndrawnMark); }));
}

// A whole frame: the animation's tick, the clear and the render. Beside its time, the frame
// as a multiple of clearing its buffers ("x_clear") and per drawn pixel ("ns_per_pixel").
void frame(benchmark::State& state, Mode mode, int extraKeys, int scale = 1) {
    auto scene = makeScene(mode, extraKeys);
    setFrameScale(*scene, scale);
    FrameImage image(frameWidthAt(scale), frameHeightAt(scale));
    const FrameView view = image.view();
    const double clear = clearSeconds(scale);
    const double drawn = drawnPixels(*scene, image);
    long before = allocations.load();
    const auto start = Clock::now();
    for (auto _ : state) {
        advanceAnimation(*scene);
        drawSceneFrame(*scene, view);
        benchmark::DoNotOptimize(image.pixels.data());
    }
    const double perFrame = std::chrono::duration<double>(Clock::now() - start).count() /
                            static_cast<double>(state.iterations());
    state.counters["allocations"] = benchmark::Counter(
        static_cast<double>(allocations.load() - before), benchmark::Counter::kAvgIterations);
    state.counters["x_clear"] = perFrame / clear;
    state.counters["ns_per_pixel"] = perFrame * 1e9 / drawn;
}

void BM_RecomputeFlag(benchmark::State& state) {
    auto scene = makeScene(Mode::Wireframe, 0);
    for (auto _ : state) {
        recomputeFlag(scene->flag, scene->wave);
        benchmark::DoNotOptimize(scene->flag.surfaceGrid[0][0].x);
    }
}
void BM_FrameWireframe(benchmark::State& state) {
    frame(state, Mode::Wireframe, 0);
}
void BM_FrameSolid(benchmark::State& state) {
    frame(state, Mode::Solid, 0);
}
void BM_FrameTextured(benchmark::State& state) {
    frame(state, Mode::Textured, 0);
}
void BM_FrameTexturedAfter4096Keys(benchmark::State& state) {
    frame(state, Mode::Textured, 4096);
}
void BM_FrameTexturedErasing(benchmark::State& state) {
    frame(state, Mode::TexturedErasing, 0);
}

// The textured frame three times larger in each direction (1921 x 1441): nine times the
// pixels, the same quads.
void BM_FrameTexturedScale3(benchmark::State& state) {
    frame(state, Mode::Textured, 0, 3);
}

// A 2000 x 1500 photo-sized picture: ramps with fine detail, so that JPEG has work to do.
constexpr int kFileWidth = 2000, kFileHeight = 1500;
// Pixel (x, y), y counted from the bottom, as the files store their rows.
Colour largeFramePixel(int x, int y) {
    const int detail = ((x ^ y) & 15) * 4;
    return {static_cast<std::uint8_t>(255 - x * 200 / kFileWidth - detail),
            static_cast<std::uint8_t>(x * 200 / kFileWidth + detail),
            static_cast<std::uint8_t>(y * 200 / kFileHeight + detail)};
}

FrameImage largeFrame() {
    FrameImage frame(kFileWidth, kFileHeight);
    for (int y = 0; y < kFileHeight; ++y)
        for (int x = 0; x < kFileWidth; ++x)
            frame.view().at(x, kFileHeight - 1 - y) = packPixel(largeFramePixel(x, y));
    return frame;
}

void BM_ReadJpeg2000x1500(benchmark::State& state) {
    std::vector<std::uint8_t> samples; // red, green, blue, top row first
    samples.reserve(3u * kFileWidth * kFileHeight);
    for (int y = kFileHeight - 1; y >= 0; --y)
        for (int x = 0; x < kFileWidth; ++x) {
            const Colour c = largeFramePixel(x, y);
            samples.insert(samples.end(), {c.red, c.green, c.blue});
        }
    const std::vector<std::uint8_t> file =
        makeJpeg(kFileWidth, kFileHeight, samples, {.quality = 90});
    for (auto _ : state) {
        PictureResult read = readJpegPicture(file);
        if (!read.ok()) state.SkipWithError(read.message.c_str());
        benchmark::DoNotOptimize(read.picture.pixels.data());
    }
    state.counters["file_bytes"] = static_cast<double>(file.size());
}

void BM_ReadBmp2000x1500(benchmark::State& state) {
    std::vector<std::uint8_t> file;
    ByteSink out{file};
    if (!encodeBmp(largeFrame().view(), kBmpDepth24, out).ok()) state.SkipWithError("no BMP file");
    for (auto _ : state) {
        PictureResult read = readBmpPicture(file);
        if (!read.ok()) state.SkipWithError(read.message.c_str());
        benchmark::DoNotOptimize(read.picture.pixels.data());
    }
}

// Written files go to a folder of the benchmark's own in the system's temporary folder, removed
// with what it holds afterwards.
class ScratchFolder {
  public:
    ScratchFolder()
        : path_(std::filesystem::temp_directory_path() /
                ("vexarond-bench-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The frame the program shows at start-up, which the window's save writes.
struct StartFrame {
    std::unique_ptr<Scene> scene = makeScene(Mode::Wireframe, 0);
    FrameImage image;
    StartFrame() { drawSceneFrame(*scene, image.view()); }
};

constexpr int kJpegQuality = 80;

// Writes the start-up frame to `name` in a scratch folder, as the window's save does.
void captureAndWrite(benchmark::State& state, const char* name, const FrameFileSettings& settings) {
    StartFrame shown;
    const ScratchFolder folder;
    const std::filesystem::path path = folder.path() / name;
    for (auto _ : state) {
        const WriteResult written = writeFrame(path, shown.image.view(), settings);
        if (!written.ok()) state.SkipWithError(written.message.c_str());
    }
}

void BM_CaptureBmp24File(benchmark::State& state) {
    FrameFileSettings settings;
    settings.format = ImageFormat::Bmp;
    settings.bmpDepth = kBmpDepth24;
    captureAndWrite(state, "frame.bmp", settings);
}

void BM_CaptureJpeg80Memory(benchmark::State& state) {
    StartFrame shown;
    std::vector<std::uint8_t> bytes;
    for (auto _ : state) {
        bytes.clear();
        ByteSink sink{bytes};
        const EncodeResult encoded = encodeJpeg(shown.image.view(), kJpegQuality, false, sink);
        if (!encoded.ok()) state.SkipWithError(encoded.message.c_str());
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
}

void BM_CaptureJpeg80File(benchmark::State& state) {
    FrameFileSettings settings;
    settings.format = ImageFormat::Jpeg;
    settings.jpegQuality = kJpegQuality;
    captureAndWrite(state, "frame.jpg", settings);
}

// `vexarond-render --cycle flag.jpg` at start-up: 60 frames, each drawn, captured, encoded and
// written, through the headless renderer's own series writer.
void BM_JpegCycle60(benchmark::State& state) {
    const std::unique_ptr<Scene> start = makeScene(Mode::Wireframe, 0);
    if (start->wave.framesPerCycle != 60) state.SkipWithError("not a 60-frame cycle");
    const ScratchFolder folder;
    const std::string output = (folder.path() / "flag.jpg").string();
    FrameFileSettings settings;
    settings.format = ImageFormat::Jpeg;
    settings.jpegQuality = kJpegQuality;
    for (auto _ : state) {
        SceneFrames frames(*start, {}, FrameRun::Capture, 1);
        const SeriesResult series = writeFrameSeries(output, settings, frames);
        if (!series.ok()) state.SkipWithError(series.written.message.c_str());
    }
}

// `vexarond-render --picture flag.bmp --cycle [--quality 80] flag.webp|flag.gif` at start-up:
// 60 textured frames drawn on all cores and written as one animated file.
void animatedCycle(benchmark::State& state, ImageFormat format, bool lossy) {
    const std::unique_ptr<Scene> start = makeScene(Mode::Textured, 0);
    if (start->wave.framesPerCycle != 60) state.SkipWithError("not a 60-frame cycle");
    const ScratchFolder folder;
    const std::string output =
        (folder.path() / (std::string("flag") + imageFormatExtension(format))).string();
    FrameFileSettings settings;
    settings.format = format;
    if (lossy) settings.webpQuality = kJpegQuality;
    const int threads = std::max(1u, std::thread::hardware_concurrency());
    for (auto _ : state) {
        SceneFrames frames(*start, {1, 1, true, false}, FrameRun::Capture, threads);
        const WriteResult written = writeAnimation(output, frames, settings);
        if (!written.ok()) state.SkipWithError(written.message.c_str());
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(output));
}
// The averaging of a `--scale 4 --supersample 2` frame: 5128 x 3848 drawn pixels, a quarter of
// them not drawn on, into 2564 x 1924.
void BM_AverageBlocksScale4Supersample2(benchmark::State& state) {
    FrameImage fine(frameWidthAt(4) * 2, frameHeightAt(4) * 2),
        out(frameWidthAt(4), frameHeightAt(4));
    std::uint32_t seed = 1;
    for (std::uint32_t& p : fine.pixels) {
        seed = seed * 1664525u + 1013904223u;
        p = (seed >> 8) | ((seed & 3) == 0 ? kUndrawnMark : 0);
    }
    for (auto _ : state) {
        averageBlocks(fine.view(), 2, true, out.view());
        benchmark::DoNotOptimize(out.pixels.data());
    }
}

void BM_WebpLossyCycle60(benchmark::State& state) {
    animatedCycle(state, ImageFormat::Webp, true);
}
void BM_WebpLosslessCycle60(benchmark::State& state) {
    animatedCycle(state, ImageFormat::Webp, false);
}
void BM_GifCycle60(benchmark::State& state) {
    animatedCycle(state, ImageFormat::Gif, false);
}
} // namespace

BENCHMARK(BM_ClearBuffers)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecomputeFlag)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameWireframe)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameSolid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameTextured)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameTexturedAfter4096Keys)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameTexturedErasing)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameTexturedScale3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadJpeg2000x1500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBmp2000x1500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureBmp24File)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CaptureJpeg80Memory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureJpeg80File)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegCycle60)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AverageBlocksScale4Supersample2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebpLossyCycle60)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WebpLosslessCycle60)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GifCycle60)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
