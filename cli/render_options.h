#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imagefiles/animation.h"
#include "imagefiles/webp_writer.h"
#include "scene/scene.h"

// One action on the scene. False, with `error` set to one line, when it could not be done (a
// picture that cannot be read); the run then stops before anything is drawn.
using SceneAction = std::function<bool(Scene&, std::string& error)>;

// What the headless renderer was asked to do: actions applied in order to the start-up scene,
// then the displayed frame written to `output`.
struct RenderRequest {
    std::vector<SceneAction> actions;
    std::string output;
    int bmpDepth = 24;
    int jpegQuality = 80;
    bool progressive = false;
    bool cycle = false;        // one wave cycle: one animated file (WebP, GIF) or a numbered series
    bool seamless = false;     // the cycle loops without a jump
    bool transparent = false;  // undrawn and erased pixels transparent (PNG, WebP, GIF)
    bool dither = false;       // GIF
    bool qualityGiven = false; // --quality: also makes WebP lossy
    int effort = kWebpEffortDefault; // WebP
    int framesPerSecond = kWindowFramesPerSecond;
    int scale = 1;
    int supersample = 1;
    int threads = 0; // 0: one for each processor
    bool help = false;
    bool version = false;
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

// Applies the request's actions to the scene in order. A --picture is read when its turn comes,
// so that it replaces (and frees) the one before it. False for the first action that fails, with
// `error` set to one line, for a picture "FILE: what is wrong"; nothing is then to be drawn or
// written.
[[nodiscard]] bool applyActions(const RenderRequest& request, Scene& scene, std::string& error);

extern const char kRenderUsage[];
