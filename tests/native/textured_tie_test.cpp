// Textured pixels whose picture sample lies on or next to a rounding tie: the sampler's
// trunc(value + 0.5) turns a difference in the last bit of a vertex into a whole level, so these
// pixels show whether the flag's surface is exactly the one the rules build.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "scene/scene_frames.h"

namespace {

const std::string kPicture = std::string(VEXAROND_REFERENCE_DIR) + "/picture.bmp";

// The frame vexarond-render writes for these actions.
std::unique_ptr<FrameImage> renderedFrame(std::vector<std::string> args) {
    args.push_back("frame.bmp"); // named, never written
    const auto scene = sceneFromArguments(args);
    auto frame = std::make_unique<FrameImage>();
    SceneFrames(*scene, FrameLook{}, FrameRun::Single, 1).drawFrame(0, *frame);
    return frame;
}

struct TieCase {
    const char* name;
    std::vector<std::string> args;
    int column, row; // in the 641 x 481 frame, row 0 at the top
    std::uint32_t rgb;
};

// The picture (tests/reference/picture.bmp, 48 x 64) has columns 23 and 24 of blue, green, red
// (210, 90, 30) and (240, 240, 240) in the rows below, and red (220, 255) in columns 15 and 16
// of rows 24 and 25. A pixel's channel is k = trunc(C * I / 15) with C = trunc(sample + 0.5).
const TieCase kTies[] = {
    // Start-up flag with the picture: the fifteen "x" keys replayed one by one. Row y = -16 of
    // quad 338 starts at x = 29 on an edge whose ends both have u = 0.48; its weight gives
    // u = (1 - t) * 0.48 + t * 0.48 = 0.47999999999999993 there. At x = 31, s = 2 / 8, so
    // u = 0.48999999999999994 and X = 47 u = 23.029999999999998: green is
    // 90 + 150 * 0.029999999999998 + 0.5 = 94.99999999999963, C = 94, and with I = 8.6097396
    // k = trunc(94 * 8.6097396 / 15) = 53 (blue 211 -> 121, red 36 -> 20).
    {"picture_fit", {"--picture", kPicture}, 351, 256, 0x143579},
    // The flag in its default shape: row y = 15 of quad 234 spans x = -30 (u = 0.32) to -16
    // (u = 0.36); at x = -27, s = 3 / 14, u = 0.32857142857142857 and X = 15.442857142857143.
    // Red is 220 + 35 * 0.442857142857143 = 235.5 exactly, a tie: + 0.5 gives C = 236, and with
    // I = 5.1576184 k = trunc(236 * 5.1576184 / 15) = 81 (a hair below the tie it would be 80).
    {"picture_no_fit", {"--no-fit", "--picture", kPicture}, 293, 225, 0x51072E},
    // "j" last: the key moves the shown surface by (0, -5, 0) and the frame is drawn without a
    // recompute. Row y = -85 of quad 538 then starts at x = 13 with u = 0.48 exactly, so at
    // x = 15 u = 0.49, X = 23.03 and green is 95.00000000000017: C = 95, and with I = 8.3727681
    // k = trunc(95 * 8.3727681 / 15) = 53. A recompute would rebuild the moved surface with the
    // offset added before the turns, where u = 0.47999999999999993 gives C = 94 and k = 52.
    {"move_last", {"--picture", kPicture, "--keys", "j"}, 335, 325, 0x143575},
    // Four "y" keys last, after the erase settings' recomputes: the turns the keys made on the
    // shown surface are the ones a replay makes. Quad 613, row y = -106, x = 19: u =
    // 0.48999999999999994 as in the first case, green C = 94, I = 6.3261831: k = 39.
    {"erase_wide",
     {"--background", "blue", "--picture", kPicture, "--erase", "255,0,255", "--tolerance", "150",
      "--keys", "yyyy"},
     339,
     346,
     0x0F2758},
};

TEST(TexturedTies, PixelsOnRoundingTiesAreTheRulesValues) {
    for (const TieCase& c : kTies) {
        SCOPED_TRACE(c.name);
        const auto frame = renderedFrame(c.args);
        EXPECT_EQ(frame->view().at(c.column, c.row) & 0xFFFFFF, c.rgb)
            << std::hex << (frame->view().at(c.column, c.row) & 0xFFFFFF);
    }
}

} // namespace
