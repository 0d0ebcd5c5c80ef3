#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bmp_file_builder.h"
#include "cli/render_options.h"
#include "cli_test_support.h"
#include "file_test_support.h"

namespace {

class RenderPicture : public ScratchFolder {
  protected:
    // A 2 x 3 picture file (24 bits, every pixel blue 1, green 2, red 3).
    std::string pictureFile(const std::string& name) {
        BmpFields f;
        f.width = 2;
        f.height = 3;
        const Bytes row{1, 2, 3, 1, 2, 3, 0, 0};
        Bytes rows;
        for (int k = 0; k < 3; ++k)
            rows.insert(rows.end(), row.begin(), row.end());
        const Bytes file = buildBmp(f, rows);
        const std::filesystem::path path =
            dir / std::filesystem::path(std::u8string(name.begin(), name.end()));
        writeText(path, std::string(file.begin(), file.end()));
        return path.string();
    }
};

TEST_F(RenderPicture, PutsThePictureOnTheFlagAsTheWindowsLoadDoes) {
    const std::string file = pictureFile("flag.bmp");
    auto scene = sceneFromArguments({"--picture", file, "o.bmp"});
    EXPECT_EQ(scene->displayMode, DisplayMode::Picture);
    EXPECT_EQ(scene->picture->width, 2);
    EXPECT_EQ(scene->picture->height, 3);
    EXPECT_EQ(scene->picture->pixels,
              (Bytes{1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0}));
    EXPECT_TRUE(scene->fitFlagToPicture);

    // The shape the window gives a picture load, with fitting on and off.
    for (const bool fit : {true, false}) {
        Scene expected;
        startScene(expected);
        setFitFlagToPicture(expected, fit);
        putPicture(expected, *scene->picture);
        auto got = sceneFromArguments({fit ? "--fit" : "--no-fit", "--picture", file, "o.bmp"});
        EXPECT_EQ(got->fitFlagToPicture, fit);
        EXPECT_EQ(got->flag.controlNet[0][0].x, expected.flag.controlNet[0][0].x) << fit;
        EXPECT_EQ(got->flag.controlNet[0][0].z, expected.flag.controlNet[0][0].z) << fit;
    }
    // Without fitting the flag keeps the start-up shape; fitted to 2 x 3 it keeps the height
    // and becomes about half as wide (x from about -175 to about -87).
    auto start = sceneFromArguments({"o.bmp"});
    auto unfitted = sceneFromArguments({"--picture", file, "--no-fit", "o.bmp"});
    EXPECT_EQ(unfitted->flag.controlNet[0][0].x, start->flag.controlNet[0][0].x);
    EXPECT_EQ(unfitted->flag.controlNet[0][0].z, start->flag.controlNet[0][0].z);
    auto fitted = sceneFromArguments({"--picture", file, "o.bmp"});
    EXPECT_GT(fitted->flag.controlNet[0][0].x, -90);
    EXPECT_LT(fitted->flag.controlNet[0][0].x, -80);
    EXPECT_EQ(fitted->flag.controlNet[0][0].z, start->flag.controlNet[0][0].z);
}

TEST_F(RenderPicture, EraseSetsTheColourAndSwitchesErasingOn) {
    auto scene = sceneFromArguments({"--erase", "10,20,255", "--tolerance", "0", "o.bmp"});
    EXPECT_TRUE(scene->erase.eraseEnabled);
    EXPECT_EQ(scene->erase.eraseColour[0], 10);
    EXPECT_EQ(scene->erase.eraseColour[1], 20);
    EXPECT_EQ(scene->erase.eraseColour[2], 255);
    EXPECT_EQ(scene->erase.eraseTolerance, 0);
    EXPECT_EQ(sceneFromArguments({"--tolerance", "200", "o.bmp"})->erase.eraseTolerance, 200);
    EXPECT_FALSE(sceneFromArguments({"--tolerance", "200", "o.bmp"})->erase.eraseEnabled);
}

TEST_F(RenderPicture, ReadsAJapaneseFileName) {
    const std::string file = pictureFile("旗の絵.bmp");
    EXPECT_EQ(sceneFromArguments({"--picture", file, "o.bmp"})->picture->width, 2);
}

TEST_F(RenderPicture, AFileThatCannotBeReadIsOneLineNamingIt) {
    const std::string missing = (dir / "missing.bmp").string();
    writeText(dir / "text.bmp", "just text");
    writeText(dir / "short.bmp", "BM");
    struct Case {
        std::string file;
        std::string line;
    };
    const Case cases[] = {
        {missing, missing + ": cannot open the file"},
        {(dir / "text.bmp").string(),
         (dir / "text.bmp").string() + ": not a BMP, JPEG or PNG file"},
        {(dir / "short.bmp").string(),
         (dir / "short.bmp").string() + ": the BMP headers are cut short"},
    };
    for (const Case& c : cases) {
        // A good picture first: the bad one still stops the run.
        ParseResult parsed = parseRenderArguments(
            {"--picture", pictureFile("good.bmp"), "--picture", c.file, "o.bmp"});
        ASSERT_TRUE(parsed.ok) << parsed.error;
        auto scene = std::make_unique<Scene>();
        startScene(*scene);
        std::string error;
        EXPECT_FALSE(applyActions(parsed.request, *scene, error));
        EXPECT_EQ(error, c.line);
        // The picture before it is still the scene's: a failed read takes nothing away.
        ASSERT_TRUE(scene->pictureLoaded());
        EXPECT_EQ(scene->picture->width, 2);
    }
}

TEST(RenderPictureArguments, RejectsBadValuesWithOneLineNamingTheOption) {
    struct Case {
        std::vector<std::string> args;
        const char* option;
    };
    const Case cases[] = {
        {{"--picture"}, "--picture"},
        {{"--picture", "", "o.bmp"}, "--picture"},
        {{"--erase", "1,2", "o.bmp"}, "--erase"},
        {{"--erase", "1,2,3,4", "o.bmp"}, "--erase"},
        {{"--erase", "256,0,0", "o.bmp"}, "--erase"},
        {{"--erase", "-1,0,0", "o.bmp"}, "--erase"},
        {{"--erase", "a,b,c", "o.bmp"}, "--erase"},
        {{"--erase", "1,,3", "o.bmp"}, "--erase"},
        {{"--erase", " 1,2,3", "o.bmp"}, "--erase"},
        {{"--tolerance", "201", "o.bmp"}, "--tolerance"},
        {{"--tolerance", "-1", "o.bmp"}, "--tolerance"},
        {{"--tolerance", "x", "o.bmp"}, "--tolerance"},
    };
    for (const Case& c : cases) {
        const ParseResult r = parseRenderArguments(c.args);
        EXPECT_FALSE(r.ok) << c.args[1];
        EXPECT_EQ(r.error.rfind(c.option, 0), 0u) << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    }
}

TEST(RenderPictureArguments, PathsKeepTheArgumentsBytes) {
    // UTF-8 and bytes that are not UTF-8 alike reach the file system unchanged.
    for (const std::string name : {"a.bmp", "旗.bmp", "caf\xE9.bmp"})
        EXPECT_EQ(pathFromArgument(name).native(), name);
}

} // namespace
