#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imagefiles/animation.h"
#include "scene/scene.h"

// A picture named by --picture. Its action puts the picture into the scene; the file itself is
// read by readRequestPictures, before anything is drawn.
struct PictureArgument {
    std::string file; // as given
    std::shared_ptr<TextureImage> picture;
};

// What the headless renderer was asked to do: actions applied in order to the start-up scene,
// then the displayed frame written to `output`.
struct RenderRequest {
    std::vector<std::function<void(Scene&)>> actions;
    std::vector<PictureArgument> pictures; // in the order given
    std::string output;
    int bmpDepth = 24;
    int jpegQuality = 80;
    bool progressive = false;
    bool cycle = false; // one wave cycle: one animated file (WebP, GIF) or a numbered series
    bool seamless = false; // the cycle loops without a jump
    bool transparent = false; // undrawn and erased pixels transparent (PNG, WebP, GIF)
    bool dither = false;      // GIF
    bool qualityGiven = false; // --quality: also makes WebP lossy
    int framesPerSecond = kWindowFramesPerSecond;
    int scale = 1;
    int supersample = 1;
    int threads = 0; // 0: one for each processor
    bool help = false;
};

struct ParseResult {
    bool ok = false;
    std::string error; // one line, for stderr
    RenderRequest request;
};

[[nodiscard]] ParseResult parseRenderArguments(const std::vector<std::string>& arguments);

// The file a command-line argument names. The arguments are UTF-8 on Windows (main takes the
// wide command line and converts it) and the system's own bytes elsewhere; both reach the file
// through this one conversion.
[[nodiscard]] std::filesystem::path pathFromArgument(const std::string& argument);

// Reads the file of every --picture, in order. False for the first that cannot be read, with
// `error` set to one line "FILE: what is wrong"; nothing is then to be drawn or written.
[[nodiscard]] bool readRequestPictures(RenderRequest& request, std::string& error);

extern const char kRenderUsage[];
