// vexarond-render: the flag's frames without the window, for web pages, videos and batch work.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "frame_series.h"
#include "imagefiles/image_format.h"
#include "render_options.h"

namespace {
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

bool reportFailure(const std::string& name, const WriteResult& written) {
    if (written.ok()) return false;
    std::fprintf(stderr, "vexarond-render: %s: %s\n", name.c_str(), written.message.c_str());
    return true;
}

FrameFileSettings fileSettings(const RenderRequest& request) {
    return {imageFormatForFileName(request.output), request.bmpDepth, request.jpegQuality,
            request.progressive};
}

int render(RenderRequest& request) {
    std::string unreadable;
    if (!readRequestPictures(request, unreadable)) {
        std::fprintf(stderr, "vexarond-render: %s\n", unreadable.c_str());
        return kExitFailure;
    }
    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    for (const auto& action : request.actions) action(*scene);
    auto frame = std::make_unique<FrameImage>();
    const FrameFileSettings settings = fileSettings(request);
    if (request.cycle) {
        const SeriesResult series = writeCycleSeries(request.output, settings, *scene, *frame);
        return reportFailure(series.failedName, series.written) ? kExitFailure : 0;
    }
    drawSceneFrame(*scene, frame->view());
    return reportFailure(request.output, writeFrameFile(request.output, settings, frame->view()))
               ? kExitFailure
               : 0;
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
    try {
        return render(parsed.request);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vexarond-render: out of memory\n");
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
int main(int argc, char** argv) { return run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
