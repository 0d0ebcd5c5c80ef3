#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "cli/render_options.h"
#include "flag_test_support.h"

namespace {
ParseResult parse(std::vector<std::string> args) {
    return parseRenderArguments(args);
}

std::unique_ptr<Scene> apply(const RenderRequest& request) {
    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    std::string error;
    EXPECT_TRUE(applyActions(request, *scene, error)) << error;
    return scene;
}
} // namespace

// The command lines of tests/cli/bad_arguments.txt, split as a shell splits them ('' is an empty
// argument); the end-to-end test runs the same table.
std::vector<std::vector<std::string>> badArgumentLines() {
    std::ifstream table(VEXAROND_CLI_TEST_DIR "/bad_arguments.txt");
    EXPECT_TRUE(table) << "the table of bad command lines is missing";
    std::vector<std::vector<std::string>> lines;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> args;
        std::istringstream words(line);
        for (std::string word; words >> word;)
            args.push_back(word == "''" ? "" : word);
        lines.push_back(std::move(args));
    }
    return lines;
}

TEST(RenderArguments, RejectsBadInputWithOneClearLine) {
    auto cases = badArgumentLines();
    EXPECT_FALSE(cases.empty());
    cases.push_back({}); // no output name at all
    for (const auto& args : cases) {
        const ParseResult r = parse(args);
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_FALSE(r.ok) << joined;
        EXPECT_FALSE(r.error.empty()) << joined;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << joined;
    }
}

TEST(RenderArguments, AcceptsTheDocumentedRanges) {
    const ParseResult r = parse(
        {"--period",     "2",           "--height",  "20",          "--direction", "0",
         "--turbulence", "6",           "--speed",   "20",          "--ripple",    "2",
         "--light",      "-1,0.5,2e-1", "--surface", "90",          "--intensity", "1",
         "--background", "black",       "--flag",    "white",       "--wireframe", "--keys",
         "xyz",          "--step",      "-3",        "--bmp-depth", "16",          "OUT.BMP"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.request.actions.size(), 14u);
    EXPECT_EQ(r.request.bmpDepth, 16);
    EXPECT_EQ(r.request.output, "OUT.BMP");
    EXPECT_TRUE(parse({"--help"}).request.help);
    // Like --help, --version needs no output name and stops at once, whatever follows.
    const ParseResult version = parse({"--version", "--period", "99"});
    ASSERT_TRUE(version.ok) << version.error;
    EXPECT_TRUE(version.request.version);
    EXPECT_FALSE(version.request.help);
    EXPECT_EQ(parse({"out.webp"}).request.effort, kWebpEffortDefault);
    for (const char* effort : {"0", "9"}) {
        const ParseResult given = parse({"--effort", effort, "out.webp"});
        ASSERT_TRUE(given.ok) << given.error;
        EXPECT_EQ(given.request.effort, std::stoi(effort));
    }
}

// The start-up values are checked once, on startScene itself; without actions the headless
// renderer draws exactly that scene.
TEST(RenderArguments, StartsFromTheStartUpScene) {
    const ParseResult r = parse({"out.bmp"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.request.bmpDepth, 24);
    auto scene = apply(r.request);
    auto expected = std::make_unique<Scene>();
    startScene(*expected);
    EXPECT_EQ(scene->flag.keyLog, expected->flag.keyLog);
    EXPECT_EQ(scene->wave.wavePhase, expected->wave.wavePhase);
    EXPECT_EQ(scene->displayMode, expected->displayMode);
    EXPECT_EQ(std::memcmp(&scene->light, &expected->light, sizeof scene->light), 0);
    EXPECT_TRUE(samePositionBits(scene->flag.surfaceGrid, expected->flag.surfaceGrid));
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
    auto scene =
        apply(parse({"--light", "0,0,2", "--surface", "90", "--intensity", "15", "o.bmp"}).request);
    EXPECT_DOUBLE_EQ(scene->light.lightDirection.z, 2); // any length; shading scales it
    EXPECT_DOUBLE_EQ(scene->light.specularWeight, 0.9);
    EXPECT_DOUBLE_EQ(scene->light.diffuseWeight, (1 - 0.9) * 0.25);
    EXPECT_DOUBLE_EQ(scene->light.brightness, 1.5);
}

TEST(RenderArguments, LightPointPicksOnTheDialOrDoesNothingAtAll) {
    struct Case {
        const char* point;
        bool picked;
        Vec3 direction; // worked out by hand from the dial's rule, when picked
    };
    const Case cases[] = {
        {"80,80", true, {0, 0, 1}},
        // a = b = 45/65, r = 0.9791, c = sin(acos(r)) = 0.2035, n = 1.
        {"125,35", true, {0.6923, 0.6923, 0.2035}},
        // The region's leftmost point: a = -64/65, b = 0, c = sqrt(65^2 - 64^2) / 65.
        {"16,80", true, {-64.0 / 65, 0, std::sqrt(129.0) / 65}},
        {"15,80", false, {}}, // one pixel further out
        {"16,79", false, {}}, // 64^2 + 1 from the centre
        {"150,150", false, {}},
        {"-5,2000000000", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        const ParseResult r = parse({"--flag", "red", "--light-point", c.point, "o.bmp"});
        ASSERT_TRUE(r.ok) << r.error;
        auto picked = apply(r.request);
        auto untouched = apply(parse({"--flag", "red", "o.bmp"}).request);
        if (c.picked) {
            EXPECT_NEAR(picked->light.lightDirection.x, c.direction.x, 5e-5);
            EXPECT_NEAR(picked->light.lightDirection.y, c.direction.y, 5e-5);
            EXPECT_NEAR(picked->light.lightDirection.z, c.direction.z, 5e-5);
        } else {
            EXPECT_EQ(picked->light.lightDirection.x, untouched->light.lightDirection.x);
            EXPECT_EQ(picked->light.lightDirection.y, untouched->light.lightDirection.y);
            EXPECT_EQ(picked->light.lightDirection.z, untouched->light.lightDirection.z);
        }
    }
    for (const char* bad : {"80", "80,", "a,b", "1.5,2", "80,80,80"}) {
        SCOPED_TRACE(bad);
        const ParseResult r = parse({"--light-point", bad, "o.bmp"});
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("--light-point"), std::string::npos);
    }
}
