#include "render_options.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <span>
#include <string_view>

#include "imagefiles/image_format.h"
#include "imagefiles/jpeg_writer.h"
#include "imagefiles/picture_file.h"
#include "scene/scene_frames.h"

const char kRenderUsage[] =
    "usage: vexarond-render [ACTION]... OUTPUT.bmp|.jpg|.png|.webp|.gif\n"
    "Draws the waving flag as the program shows it right after start-up, changed by the actions\n"
    "in the order given, and writes the displayed 641 x 481 frame as BMP, JPEG, PNG, WebP or\n"
    "GIF, as the output name's extension says (.bmp, .jpg, .jpeg, .png, .webp, .gif).\n"
    "\n"
    "  --period 2..10  --height 0..20  --direction 0..240  --turbulence 0..6  --speed 2..20\n"
    "                                   wave slider positions\n"
    "  --ripple 0|1|2                   ripple form\n"
    "  --light X,Y,Z                    light direction (any length, z > 0)\n"
    "  --light-point X,Y                a click on the light window's dial at that client\n"
    "                                   point (nothing happens outside the dial)\n"
    "  --surface 10..90  --intensity 1..15\n"
    "                                   light window sliders\n"
    "  --background pink|cyan|yellow|blue|green|red|white|black\n"
    "  --flag pink|cyan|yellow|blue|green|red|white\n"
    "                                   the flag lit in one colour\n"
    "  --wireframe                      the flag as a wireframe\n"
    "  --picture FILE                   the flag lit and textured with a BMP, JPEG or PNG\n"
    "                                   picture (the type comes from the file's first bytes),\n"
    "                                   shaped to its proportions while fitting is on; PNG\n"
    "                                   pixels less than half opaque are cut out of the flag\n"
    "  --fit  --no-fit                  the flag follows the picture's proportions (the\n"
    "                                   default) or keeps its own shape\n"
    "  --erase R,G,B                    leave out the picture's pixels near this colour\n"
    "                                   (0..255 each)\n"
    "  --tolerance 0..200               how near counts as the erase colour (default 50)\n"
    "  --keys STRING                    characters typed into the main window\n"
    "  --step N                         N single steps forward (negative: backward)\n"
    "  --bmp-depth 16|24|32             output depth (default 24)\n"
    "  --quality 60..100  --progressive JPEG quality (default 80) and progressive JPEG;\n"
    "                                   --quality also makes WebP lossy (default: lossless)\n"
    "  --cycle                          one whole wave cycle: one animated file that loops\n"
    "                                   forever for .webp and .gif, otherwise numbered files as\n"
    "                                   the window's capture writes them: flag.png gives\n"
    "                                   flag001.png, ...\n"
    "  --seamless                       the cycle's frames spaced so that the last leads into\n"
    "                                   the first without a jump\n"
    "  --fps 1..50                      frames per second of an animated file (default 40, the\n"
    "                                   window's speed of one frame a 25 ms tick)\n"
    "  --transparent                    no background: where no part of the flag is drawn is\n"
    "                                   transparent (PNG, WebP and GIF only)\n"
    "  --dither                         GIF: diffuse the error where colours are reduced\n"
    "  --effort 0..9                    WebP: how hard the encoder works for a smaller file\n"
    "                                   (default 4; lossy files use at most 6)\n"
    "  --scale 1..4                     frames this many times larger in each direction\n"
    "  --supersample 1..4               smooth edges: drawn this many times larger and averaged\n"
    "  --threads 1..64                  frames drawn at once (default: one per processor); fewer\n"
    "                                   when their buffers would take more than half the memory\n"
    "                                   available, and the rest on one thread when no more can\n"
    "                                   start\n"
    "  --help                           this text\n"
    "  --version                        the program's version\n";

namespace {
constexpr SettingRange kStepRange{-1000000, 1000000};
constexpr SettingRange kJpegQualityRange{kJpegQualityMin, kJpegQualityMax};
constexpr SettingRange kColourChannelRange{0, 255};
constexpr SettingRange kIntRange{INT_MIN, INT_MAX};
constexpr SettingRange kFramesPerSecondRange{kFramesPerSecondMin, kFramesPerSecondMax};
constexpr SettingRange kScaleRange{1, kMaxLookScale};
constexpr SettingRange kSupersampleRange{1, kMaxSupersample};
constexpr SettingRange kThreadRange{1, 64};
constexpr SettingRange kEffortRange{kWebpEffortMin, kWebpEffortMax};

bool parseInt(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && !std::isspace(static_cast<unsigned char>(text[0]));
}

// Exactly `values.size()` whole numbers separated by commas, each within `range`.
bool parseIntList(const std::string& text, std::span<long> values, SettingRange range) {
    std::size_t start = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        const std::size_t comma = k + 1 < values.size() ? text.find(',', start) : std::string::npos;
        if (k + 1 < values.size() && comma == std::string::npos) return false;
        const std::string part =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!parseInt(part, values[k]) || values[k] < range.minimum || values[k] > range.maximum)
            return false;
        start = comma + 1;
    }
    return true;
}

bool parseDouble(std::string_view text, double& value) {
    const std::string s(text);
    if (s.empty() || std::isspace(static_cast<unsigned char>(s[0]))) return false;
    char* end = nullptr;
    value = std::strtod(s.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

int colourIndex(const std::string& name, int count) {
    for (int k = 0; k < count; ++k)
        if (name == colourNames[k]) return k;
    return -1;
}

struct Parser {
    const std::vector<std::string>& args;
    std::size_t next = 0;
    ParseResult result;

    bool fail(std::string message) {
        result.error = std::move(message);
        return false;
    }
    bool value(const std::string& option, std::string& out) {
        if (next >= args.size()) return fail(option + " needs a value");
        out = args[next++];
        return true;
    }
    bool intValue(const std::string& option, SettingRange range, int& out) {
        std::string text;
        if (!value(option, text)) return false;
        long v = 0;
        if (!parseInt(text, v)) return fail(option + ": '" + text + "' is not a whole number");
        if (v < range.minimum || v > range.maximum)
            return fail(option + ": " + text + " is outside " + std::to_string(range.minimum) +
                        ".." + std::to_string(range.maximum));
        out = static_cast<int>(v);
        return true;
    }
    bool flag(bool& setting) {
        setting = true;
        return true;
    }
    // A tool window's change: the setting, then the redraw request that rebuilds the flag once.
    void addSetting(std::function<void(Scene&)> setting) {
        add([setting = std::move(setting)](Scene& s) {
            setting(s);
            recomputeScene(s);
        });
    }
    // An action that cannot fail.
    void add(std::function<void(Scene&)> action) {
        result.request.actions.push_back([action = std::move(action)](Scene& s, std::string&) {
            action(s);
            return true;
        });
    }

    bool waveOption(const std::string& option, WaveSetting setting) {
        int v = 0;
        if (!intValue(option, waveSettingRange(setting), v)) return false;
        addSetting([setting, v](Scene& s) { setWaveSetting(s, setting, v); });
        return true;
    }

    // A whole number in range, applied as the matching window control would apply it.
    bool sliderOption(const std::string& option, SettingRange range, void (*apply)(Scene&, int)) {
        int v = 0;
        if (!intValue(option, range, v)) return false;
        addSetting([apply, v](Scene& s) { apply(s, v); });
        return true;
    }

    bool option(const std::string& a) {
        if (a == "--period") return waveOption(a, WaveSetting::Period);
        if (a == "--height") return waveOption(a, WaveSetting::Height);
        if (a == "--direction") return waveOption(a, WaveSetting::Direction);
        if (a == "--turbulence") return waveOption(a, WaveSetting::Turbulence);
        if (a == "--speed") return waveOption(a, WaveSetting::Speed);
        if (a == "--ripple") return sliderOption(a, kRippleFormRange, setRippleForm);
        if (a == "--surface") return sliderOption(a, kSurfaceSliderRange, setSurfaceSlider);
        if (a == "--intensity") return sliderOption(a, kIntensitySliderRange, setIntensitySlider);
        if (a == "--tolerance") return sliderOption(a, kEraseToleranceRange, setEraseTolerance);
        if (a == "--picture") return pictureOption(a);
        if (a == "--erase") return eraseOption(a);
        if (a == "--fit" || a == "--no-fit") {
            const bool fit = a == "--fit";
            addSetting([fit](Scene& s) { setFitFlagToPicture(s, fit); });
            return true;
        }
        if (a == "--light") return lightOption(a);
        if (a == "--light-point") return lightPointOption(a);
        if (a == "--background" || a == "--flag") {
            std::string name;
            if (!value(a, name)) return false;
            const bool background = a == "--background";
            const int k = colourIndex(name, background ? kBackgroundCount : kSurfaceColourCount);
            if (k < 0) return fail(a + ": unknown colour '" + name + "'");
            if (background)
                add([k](Scene& s) { chooseBackground(s, k); });
            else
                add([k](Scene& s) { chooseSurfaceColour(s, k); });
            return true;
        }
        if (a == "--wireframe") {
            add([](Scene& s) { chooseWireframe(s); });
            return true;
        }
        if (a == "--keys") {
            std::string keys;
            if (!value(a, keys)) return false;
            add([keys](Scene& s) { typeKeys(s, keys); });
            return true;
        }
        if (a == "--step") {
            int v = 0;
            if (!intValue(a, kStepRange, v)) return false;
            // Only the written frame is seen: N steps are one phase move and one recompute.
            if (v != 0) add([v](Scene& s) { stepAnimation(s, v < 0 ? -1 : 1, std::abs(v)); });
            return true;
        }
        if (a == "--bmp-depth") {
            std::string text;
            if (!value(a, text)) return false;
            if (text != "16" && text != "24" && text != "32")
                return fail("--bmp-depth: " + text + " is not 16, 24 or 32");
            result.request.bmpDepth = std::stoi(text);
            return true;
        }
        if (a == "--quality") {
            result.request.qualityGiven = true;
            return intValue(a, kJpegQualityRange, result.request.jpegQuality);
        }
        if (a == "--effort") return intValue(a, kEffortRange, result.request.effort);
        if (a == "--fps") return intValue(a, kFramesPerSecondRange, result.request.framesPerSecond);
        if (a == "--scale") return intValue(a, kScaleRange, result.request.scale);
        if (a == "--supersample") return intValue(a, kSupersampleRange, result.request.supersample);
        if (a == "--threads") return intValue(a, kThreadRange, result.request.threads);
        if (a == "--seamless") return flag(result.request.seamless);
        if (a == "--transparent") return flag(result.request.transparent);
        if (a == "--dither") return flag(result.request.dither);
        if (a == "--progressive") return flag(result.request.progressive);
        if (a == "--cycle") return flag(result.request.cycle);
        return fail("unknown action '" + a + "'");
    }

    // Whole numbers separated by commas, as many as `values` holds.
    bool intListValue(const std::string& option, std::span<long> values, SettingRange range,
                      const char* expected) {
        std::string text;
        if (!value(option, text)) return false;
        if (!parseIntList(text, values, range)) return fail(option + ": expected " + expected);
        return true;
    }

    bool lightPointOption(const std::string& a) {
        long point[2];
        if (!intListValue(a, point, kIntRange, "X,Y (whole numbers)")) return false;
        const int x = static_cast<int>(point[0]), y = static_cast<int>(point[1]);
        addSetting([x, y](Scene& s) { (void)pickLightDial(s, x, y); });
        return true;
    }

    // Reading the picture is part of the action: it is decoded only when it replaces the one
    // before it, and moved into the scene.
    bool pictureOption(const std::string& a) {
        std::string file;
        if (!value(a, file)) return false;
        if (file.empty()) return fail(a + ": the file name is empty");
        result.request.actions.push_back([file](Scene& s, std::string& error) {
            PictureResult read = readPictureFile(pathFromArgument(file));
            if (!read.ok()) {
                error = file + ": " + read.message;
                return false;
            }
            putPicture(s, std::move(read.picture));
            return true;
        });
        return true;
    }

    bool eraseOption(const std::string& a) {
        long rgb[3];
        if (!intListValue(a, rgb, kColourChannelRange, "R,G,B (whole numbers 0..255)"))
            return false;
        const Colour colour{static_cast<std::uint8_t>(rgb[0]), static_cast<std::uint8_t>(rgb[1]),
                            static_cast<std::uint8_t>(rgb[2])};
        addSetting([colour](Scene& s) {
            setEraseColour(s, colour);
            setErasing(s, true);
        });
        return true;
    }

    bool lightOption(const std::string& a) {
        std::string text;
        if (!value(a, text)) return false;
        double c[3];
        std::string_view rest = text;
        for (int k = 0; k < 3; ++k) {
            const std::size_t comma = k < 2 ? rest.find(',') : std::string_view::npos;
            if (k < 2 && comma == std::string_view::npos) return fail(a + ": expected X,Y,Z");
            if (!parseDouble(rest.substr(0, comma), c[k])) return fail(a + ": expected X,Y,Z");
            rest = k < 2 ? rest.substr(comma + 1) : std::string_view{};
        }
        if (!(c[2] > 0)) return fail(a + ": z must be greater than 0");
        const Vec3 direction{c[0], c[1], c[2]};
        addSetting([direction](Scene& s) { setLightDirection(s, direction); });
        return true;
    }
};

} // namespace

ParseResult parseRenderArguments(const std::vector<std::string>& arguments) {
    Parser p{arguments, 0, {}};
    while (p.next < arguments.size()) {
        const std::string& a = arguments[p.next++];
        if (a == "--help" || a == "-h") {
            p.result.request.help = true;
            p.result.ok = true;
            return p.result;
        }
        if (a == "--version") {
            p.result.request.version = true;
            p.result.ok = true;
            return p.result;
        }
        if (a.rfind("--", 0) == 0) {
            if (!p.option(a)) return p.result;
            continue;
        }
        if (p.next != arguments.size()) {
            p.fail("unexpected argument '" + a + "' (the output file comes last)");
            return p.result;
        }
        p.result.request.output = a;
    }
    const RenderRequest& request = p.result.request;
    if (request.output.empty()) {
        p.fail("missing output file name (OUTPUT.bmp, .jpg, .png, .webp or .gif)");
        return p.result;
    }
    const ImageFormat format = imageFormatForFileName(request.output);
    if (format == ImageFormat::Unknown) {
        p.fail("the output file name must end in .bmp, .jpg, .jpeg, .png, .webp or .gif: '" +
               request.output + "'");
        return p.result;
    }
    if (request.transparent && (format == ImageFormat::Bmp || format == ImageFormat::Jpeg)) {
        p.fail("--transparent needs a PNG, WebP or GIF output: '" + request.output + "'");
        return p.result;
    }
    p.result.ok = true;
    return p.result;
}

std::filesystem::path pathFromArgument(const std::string& argument) {
    // As UTF-8: on Windows it becomes the wide name; elsewhere the bytes stay as they are.
    return std::filesystem::path(std::u8string(argument.begin(), argument.end()));
}

bool applyActions(const RenderRequest& request, Scene& scene, std::string& error) {
    for (const SceneAction& action : request.actions)
        if (!action(scene, error)) return false;
    return true;
}
