// vexarond-render: the flag's frames without the window, for web pages, videos and batch work.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "frame_series.h"
#include "imagefiles/frame_file.h"
#include "imagefiles/image_format.h"
#include "render_options.h"
#include "scene/scene_frames.h"
#include "vexarond_version.h"

namespace {
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int exitCode(const std::string& name, const WriteResult& written) {
    if (written.ok()) return 0;
    std::fprintf(stderr, "vexarond-render: %s: %s\n", name.c_str(), written.message.c_str());
    return kExitFailure;
}

FrameFileSettings fileSettings(const RenderRequest& request, ImageFormat format) {
    FrameFileSettings settings;
    settings.format = format;
    settings.bmpDepth = request.bmpDepth;
    settings.jpegQuality = request.jpegQuality;
    settings.progressive = request.progressive;
    settings.transparent = request.transparent;
    settings.webpQuality = request.qualityGiven ? request.jpegQuality : kWebpLossless;
    settings.dither = request.dither;
    settings.webpEffort = request.effort;
    settings.timing.framesPerSecond = request.framesPerSecond;
    return settings;
}

int threadCount(const RenderRequest& request) {
    if (request.threads > 0) return request.threads;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int render(RenderRequest& request) {
    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    std::string failed;
    if (!applyActions(request, *scene, failed)) {
        std::fprintf(stderr, "vexarond-render: %s\n", failed.c_str());
        return kExitFailure;
    }

    const ImageFormat format = imageFormatForFileName(request.output);
    const FrameFileSettings settings = fileSettings(request, format);
    const FrameLook look{request.scale, request.supersample, hasAlphaChannel(format),
                         request.transparent};
    const FrameRun run = !request.cycle     ? FrameRun::Single
                         : request.seamless ? FrameRun::Seamless
                                            : FrameRun::Capture;
    SceneFrames frames(*scene, look, run, threadCount(request));
    scene.reset(); // the frames keep their own copies
    if (isAnimationFormat(format))
        return exitCode(request.output,
                        writeAnimation(pathFromArgument(request.output), frames, settings));
    if (run != FrameRun::Single) {
        const SeriesResult series = writeFrameSeries(request.output, settings, frames);
        return exitCode(series.failedName, series.written);
    }
    WriteResult written;
    (void)frames.forEachFrame([&](int, const FrameView& view) {
        written = writeFrame(pathFromArgument(request.output), view, settings);
        return true;
    });
    return exitCode(request.output, written);
}

int run(const std::vector<std::string>& arguments) {
    ParseResult parsed = parseRenderArguments(arguments);
    if (!parsed.ok) {
        std::fprintf(stderr, "vexarond-render: %s (see --help)\n", parsed.error.c_str());
        return kExitUsage;
    }
    if (parsed.request.help) {
        std::fputs(kRenderUsage, stdout);
        return 0;
    }
    if (parsed.request.version) {
        std::fputs("vexarond-render " VEXAROND_VERSION "\n", stdout);
        return 0;
    }
    try {
        return render(parsed.request);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vexarond-render: out of memory\n");
        return kExitFailure;
    } catch (const std::exception& e) {
        // Anything else the system refused (threads are already done without): one line.
        std::fprintf(stderr, "vexarond-render: %s\n", e.what());
        return kExitFailure;
    }
}
} // namespace

#ifdef _WIN32
// The wide command line, so that any file name arrives whole; the options take it as UTF-8.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    try {
        for (int k = 1; k < argc; ++k) {
            const std::u8string utf8 = std::filesystem::path(argv[k]).u8string();
            arguments.emplace_back(utf8.begin(), utf8.end());
        }
    } catch (const std::exception&) {
        std::fprintf(stderr, "vexarond-render: an argument is not valid text\n");
        return kExitUsage;
    }
    return run(arguments);
}
#else
int main(int argc, char** argv) {
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
