// vexarond-render: the flag's frames without the window, for web pages, videos and batch work.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "imagefiles/bmp_writer.h"
#include "imagefiles/image_format.h"
#include "imagefiles/jpeg_writer.h"
#include "imagefiles/numbered_frames.h"
#include "render_options.h"

namespace {
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The frame on `view` written to `name` by the writer that the output's extension chooses.
WriteResult writeFrame(const RenderRequest& request, const std::string& name, FrameView view) {
    const std::filesystem::path path = pathFromArgument(name);
    switch (imageFormatForFileName(request.output)) {
    case ImageFormat::Bmp: return writeBmpFile(path, captureFrame(view), request.bmpDepth);
    case ImageFormat::Jpeg:
        return writeJpegFile(path, captureFrame(view), request.jpegQuality, request.progressive);
    case ImageFormat::Unknown: break;
    }
    return {EncodeError::UnknownFormat, FileError::None, "no picture format has this extension"};
}

bool reportFailure(const std::string& name, const WriteResult& written) {
    if (written.ok()) return false;
    std::fprintf(stderr, "vexarond-render: %s: %s\n", name.c_str(), written.message.c_str());
    return true;
}

// One wave cycle as the window's numbered capture writes it: the frame shown first, then one
// animation tick before each further frame, framesPerCycle files named by the capture's rule.
int writeCycle(const RenderRequest& request, Scene& scene, FrameImage& frame) {
    const std::size_t position = frameNumberPosition(request.output);
    const ImageFormat format = imageFormatForFileName(request.output);
    const int frames = scene.wave.framesPerCycle;
    for (int number = 1; number <= frames; ++number) {
        if (number > 1) advanceAnimation(scene);
        drawSceneFrame(scene, frame.view());
        const std::string name = numberedFrameName(request.output, position, number, format);
        if (reportFailure(name, writeFrame(request, name, frame.view()))) return kExitFailure;
    }
    return 0;
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
    if (request.cycle) return writeCycle(request, *scene, *frame);
    drawSceneFrame(*scene, frame->view());
    return reportFailure(request.output, writeFrame(request, request.output, frame->view()))
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
