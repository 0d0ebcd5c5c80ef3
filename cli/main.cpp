// vexarond-render: the flag's frames without the window, for web pages, videos and batch work.
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "imagefiles/bmp_writer.h"
#include "imagefiles/image_format.h"
#include "render_options.h"

namespace {
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The writer that the output file's extension chooses.
WriteResult writeFrame(const RenderRequest& request, const CapturedFrame& frame) {
    switch (imageFormatForFileName(request.output)) {
    case ImageFormat::Bmp: return writeBmpFile(request.output, frame, request.bmpDepth);
    case ImageFormat::Unknown: break;
    }
    return {EncodeError::UnknownFormat, FileError::None, "no picture format has this extension"};
}

int render(const RenderRequest& request) {
    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    for (const auto& action : request.actions) action(*scene);
    FrameImage frame;
    drawSceneFrame(*scene, frame.view());
    const WriteResult written = writeFrame(request, captureFrame(frame.view()));
    if (!written.ok()) {
        std::fprintf(stderr, "vexarond-render: %s: %s\n", request.output.c_str(),
                     written.message.c_str());
        return kExitFailure;
    }
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    const ParseResult parsed = parseRenderArguments(std::vector<std::string>(argv + 1, argv + argc));
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
