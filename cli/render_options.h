#pragma once

#include <functional>
#include <string>
#include <vector>

#include "scene/scene.h"

// What the headless renderer was asked to do: actions applied in order to the start-up scene,
// then the displayed frame written to `output`.
struct RenderRequest {
    std::vector<std::function<void(Scene&)>> actions;
    std::string output;
    int bmpDepth = 24;
    bool help = false;
};

struct ParseResult {
    bool ok = false;
    std::string error; // one line, for stderr
    RenderRequest request;
};

[[nodiscard]] ParseResult parseRenderArguments(const std::vector<std::string>& arguments);

extern const char kRenderUsage[];
