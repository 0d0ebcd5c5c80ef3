#pragma once

// The headless renderer's scene for a command line, as its main does it.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/render_options.h"

// The start-up scene with the arguments' actions applied, pictures read; a command line that does
// not parse, or an action that fails, fails the test.
inline std::unique_ptr<Scene> sceneFromArguments(const std::vector<std::string>& args) {
    const ParseResult parsed = parseRenderArguments(args);
    EXPECT_TRUE(parsed.ok) << parsed.error;
    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    std::string error;
    EXPECT_TRUE(applyActions(parsed.request, *scene, error)) << error;
    return scene;
}
