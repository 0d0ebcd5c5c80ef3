#include <gtest/gtest.h>

#include <memory>

#include "cli/render_options.h"

namespace {
ParseResult parse(std::vector<std::string> args) { return parseRenderArguments(args); }

std::unique_ptr<Scene> apply(const RenderRequest& request) {
    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    for (const auto& action : request.actions) action(*scene);
    return scene;
}
} // namespace

TEST(RenderArguments, RejectsBadInputWithOneClearLine) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--flag", "red"},
        {"--bogus", "out.bmp"},
        {"--period", "11", "out.bmp"},
        {"--period", "1", "out.bmp"},
        {"--height", "-1", "out.bmp"},
        {"--direction", "241", "out.bmp"},
        {"--turbulence", "7", "out.bmp"},
        {"--speed", "21", "out.bmp"},
        {"--speed", "1.5", "out.bmp"},
        {"--speed", "", "out.bmp"},
        {"--speed", "9x", "out.bmp"},
        {"--ripple", "3", "out.bmp"},
        {"--surface", "9", "out.bmp"},
        {"--intensity", "16", "out.bmp"},
        {"--light", "1,2", "out.bmp"},
        {"--light", "1,2,0", "out.bmp"},
        {"--light", "1,2,-3", "out.bmp"},
        {"--light", "a,b,c", "out.bmp"},
        {"--light", "1,2,nan", "out.bmp"},
        {"--background", "purple", "out.bmp"},
        {"--flag", "black", "out.bmp"},
        {"--bmp-depth", "8", "out.bmp"},
        {"--step", "many", "out.bmp"},
        {"out.png"},
        {"first.bmp", "second.bmp"},
        {"--keys"},
    };
    for (const auto& args : cases) {
        const ParseResult r = parse(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_FALSE(r.ok) << joined;
        EXPECT_FALSE(r.error.empty()) << joined;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << joined;
    }
}

TEST(RenderArguments, AcceptsTheDocumentedRanges) {
    const ParseResult r = parse({"--period", "2", "--height", "20", "--direction", "0",
                                 "--turbulence", "6", "--speed", "20", "--ripple", "2",
                                 "--light", "-1,0.5,2e-1", "--surface", "90", "--intensity", "1",
                                 "--background", "black", "--flag", "white", "--wireframe",
                                 "--keys", "xyz", "--step", "-3", "--bmp-depth", "16", "OUT.BMP"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.request.actions.size(), 14u);
    EXPECT_EQ(r.request.bmpDepth, 16);
    EXPECT_EQ(r.request.output, "OUT.BMP");
    EXPECT_TRUE(parse({"--help"}).request.help);
}

TEST(RenderArguments, StartsFromTheStartUpScene) {
    const ParseResult r = parse({"out.bmp"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.request.bmpDepth, 24);
    auto scene = apply(r.request);
    EXPECT_EQ(scene->flag.keyCount, 15);
    EXPECT_EQ(scene->wave.wavePhase, 10);
    EXPECT_EQ(scene->displayMode, DisplayMode::Wireframe);
    EXPECT_NEAR(scene->light.lightDirection.x, -0.538462, 1e-6);
    EXPECT_NEAR(scene->light.lightDirection.y, 0.538462, 1e-6);
    EXPECT_NEAR(scene->light.lightDirection.z, 0.648165, 1e-6);
}

TEST(RenderArguments, ActionsApplyInOrderLikeTheUsersActions) {
    auto scene = apply(parse({"--flag", "red", "--speed", "20", "--step", "2", "--step", "-1",
                              "--keys", "yh", "--background", "white", "--period", "2", "o.bmp"})
                           .request);
    EXPECT_EQ(scene->displayMode, DisplayMode::Solid);
    EXPECT_EQ(scene->flag.polygonList[0].red, 255);
    EXPECT_EQ(scene->flag.polygonList[0].green, 0);
    // Steps use the speed in force when they are taken: 10 + 2 * 20 - 20.
    EXPECT_EQ(scene->wave.wavePhase, 30);
    EXPECT_EQ(scene->wave.animationDirection, -1);
    EXPECT_EQ(scene->flag.keyCount, 16);
    EXPECT_EQ(scene->flag.modelOffset.x, -5);
    EXPECT_EQ(scene->background, (Colour{255, 255, 255}));
    EXPECT_EQ(scene->wireColour, (Colour{0, 0, 0}));
    EXPECT_EQ(scene->wave.framesPerCycle, 90); // period 2, speed 20
}

TEST(RenderArguments, LightAndMaterialSettings) {
    auto scene = apply(parse({"--light", "0,0,2", "--surface", "90", "--intensity", "15", "o.bmp"})
                           .request);
    EXPECT_DOUBLE_EQ(scene->light.lightDirection.z, 2); // any length; shading scales it
    EXPECT_DOUBLE_EQ(scene->light.specularWeight, 0.9);
    EXPECT_DOUBLE_EQ(scene->light.diffuseWeight, (1 - 0.9) * 0.25);
    EXPECT_DOUBLE_EQ(scene->light.brightness, 1.5);
}
