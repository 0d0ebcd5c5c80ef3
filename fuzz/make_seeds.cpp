// Writes the fuzzers' seed corpora: small valid BMP files of every depth and layout the reader
// takes (widths 1 to 5, so every row fill; bottom-up and top-down; every info header size; bit
// fields), the project's own writer's files, JPEG files (baseline, progressive, grey, 4:4:4,
// RGB, CMYK and YCCK, with restart markers, a scan for each component, scans of end-of-band runs
// only) and PNG files (every colour type and bit depth, plain and interlaced, transparent
// colours and palette opacity, ancillary chunks), so that the fuzzers start from files that
// reach all of the readers' code.
// Usage: make_seeds BMP_DIR JPEG_DIR PNG_DIR
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imagefiles/bmp_writer.h"
#include "tests/native/bmp_file_builder.h"
#include "tests/native/jpeg_file_builder.h"

namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void save(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Pixel rows with their fill; the bytes vary so that every channel bit is exercised.
Bytes rowBytes(int width, int height, int bitCount) {
    const std::size_t used = static_cast<std::size_t>(width) * bitCount / 8;
    const std::size_t stride = (used + 3) / 4 * 4;
    Bytes rows(stride * height, 0);
    for (int row = 0; row < height; ++row)
        for (std::size_t k = 0; k < used; ++k)
            rows[row * stride + k] = static_cast<std::uint8_t>(37 * (row * used + k) + 11);
    return rows;
}

struct BmpKind {
    const char* name;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::vector<std::uint32_t> masks;
};

void writeBmpSeeds(const fs::path& dir) {
    const BmpKind kinds[] = {
        {"16", 16, 0, {}},
        {"16_565", 16, 3, {0xF800, 0x07E0, 0x001F}},
        {"16_555", 16, 3, {0x7C00, 0x03E0, 0x001F}},
        {"16_444", 16, 3, {0x0F00, 0x00F0, 0x000F}},
        {"24", 24, 0, {}},
        {"32", 32, 0, {}},
        {"32_writer", 32, 3, {0xFF000000, 0x00FF0000, 0x0000FF00}},
        {"32_bgra", 32, 3, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}},
    };
    for (const BmpKind& kind : kinds)
        for (int width = 1; width <= 5; ++width)
            for (const int height : {1, 2, -3}) {
                BmpFields f;
                f.width = width;
                f.height = height;
                f.bitCount = kind.bitCount;
                f.compression = kind.compression;
                f.masks = kind.masks;
                const std::string name = "bmp" + std::string(kind.name) + "_w" +
                                         std::to_string(width) + "_h" + std::to_string(height);
                save(dir / (name + ".bmp"),
                     buildBmp(f, rowBytes(width, height < 0 ? -height : height, kind.bitCount)));
            }
    for (const std::uint32_t headerSize : {52u, 56u, 108u, 124u}) {
        BmpFields f;
        f.infoHeaderSize = headerSize;
        f.width = 3;
        f.height = 2;
        f.bitCount = 16;
        f.compression = 3;
        f.masks = {0xF800, 0x07E0, 0x001F};
        save(dir / ("bmp_header" + std::to_string(headerSize) + ".bmp"),
             buildBmp(f, rowBytes(3, 2, 16)));
    }
    // The project's own writer, at each depth: 3 x 2 pixels whose bytes (blue, green, red, top),
    // bottom row first, run 0, 40, 80, ...
    std::uint32_t shown[3 * 2];
    for (int k = 0; k < 3 * 2; ++k) {
        std::uint32_t pixel = 0;
        for (int byte = 3; byte >= 0; --byte)
            pixel = pixel << 8 | static_cast<std::uint8_t>((4 * k + byte) * 40);
        shown[(1 - k / 3) * 3 + k % 3] = pixel;
    }
    for (const int depth : {16, 24, 32}) {
        Bytes bytes;
        ByteSink out{bytes};
        if (encodeBmp(FrameView{shown, 3, 2, 3}, depth, out).ok())
            save(dir / ("writer" + std::to_string(depth) + ".bmp"), bytes);
    }
}

// Samples of a small picture with colour ramps, `components` a pixel, top row first.
Bytes samples(int width, int height, int components) {
    Bytes s;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                s.push_back(static_cast<std::uint8_t>((x * 50 + y * 30 + c * 80) % 256));
    return s;
}

void writeJpegSeeds(const fs::path& dir) {
    struct Kind {
        const char* name;
        JpegSettings settings;
    };
    const Kind kinds[] = {
        {"baseline", {}},
        {"progressive", {.progressive = true}},
        {"grey", {.input = JCS_GRAYSCALE}},
        {"grey_progressive", {.input = JCS_GRAYSCALE, .progressive = true}},
        {"full_chroma", {.quality = 75, .fullChroma = true}},
        {"rgb", {.stored = JCS_RGB}},
        {"cmyk", {.input = JCS_CMYK}},
        {"ycck", {.input = JCS_CMYK, .stored = JCS_YCCK}},
        {"restarts", {.progressive = true, .restartInterval = 1}},
        {"separate_scans",
         {.scans = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}}}},
    };
    for (const Kind& kind : kinds)
        for (const auto& [width, height] : {std::pair{1, 1}, {5, 3}, {17, 9}}) {
            const int components = kind.settings.input == JCS_GRAYSCALE ? 1
                                   : kind.settings.input == JCS_CMYK    ? 4
                                                                        : 3;
            save(dir / ("jpeg_" + std::string(kind.name) + "_" + std::to_string(width) + "x" +
                        std::to_string(height) + ".jpg"),
                 makeJpeg(width, height, samples(width, height, components), kind.settings));
        }
    // Scans of nothing but end-of-band runs: the least data a scan can have.
    save(dir / "jpeg_band_runs_64x64.jpg", zeroProgressiveJpeg(64, 12));
}

struct PngKind {
    const char* name;
    int colourType;
    int bitDepth;
};

int channelsOf(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
    }
}

// What one seed holds besides its samples.
struct PngExtras {
    bool interlaced = false;
    bool transparency = false; // tRNS: palette opacity, or one transparent grey or colour
    bool ancillary = false;    // gAMA, tEXt and zTXt chunks that the reader skips
};

void appendPng(png_structp png, png_bytep data, std::size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void flushNothing(png_structp) {}

// libpng jumps back to the setjmp here on errors: nothing with a destructor lives in this frame.
bool encodePng(const PngKind* kind, const PngExtras* extras, int width, int height,
               const std::vector<Bytes>* rows, Bytes* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendPng, flushNothing);
    png_set_IHDR(png, info, width, height, kind->bitDepth, kind->colourType,
                 extras->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    png_byte opacity[256];
    const int entries = kind->colourType == PNG_COLOR_TYPE_PALETTE ? 1 << kind->bitDepth : 0;
    for (int k = 0; k < entries; ++k) {
        palette[k] = {static_cast<png_byte>(k * 37), static_cast<png_byte>(255 - k),
                      static_cast<png_byte>(k * 11)};
        opacity[k] = static_cast<png_byte>(k * 67);
    }
    if (entries) png_set_PLTE(png, info, palette, entries);
    if (extras->transparency) {
        // The transparent colour is a sample value the rows hold (see pngRows).
        png_color_16 colour{0, 1, 1, 1, 1};
        if (entries)
            png_set_tRNS(png, info, opacity, entries > 1 ? entries - 1 : 1, nullptr);
        else
            png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    if (extras->ancillary) {
        png_set_gAMA(png, info, 1.0);
        png_text texts[2] = {};
        texts[0].compression = PNG_TEXT_COMPRESSION_NONE;
        texts[0].key = const_cast<char*>("Title");
        texts[0].text = const_cast<char*>("seed");
        texts[1].compression = PNG_TEXT_COMPRESSION_zTXt;
        texts[1].key = const_cast<char*>("Comment");
        texts[1].text = const_cast<char*>("a compressed comment, a compressed comment");
        png_set_text(png, info, texts, 2);
    }
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (int row = 0; row < height; ++row)
            png_write_row(png, (*rows)[row].data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Rows of samples that vary from pixel to pixel, packed as the file holds them (big-endian at
// 16 bits, the leftmost pixel in the high bits below 8); the first pixel is all ones.
std::vector<Bytes> pngRows(const PngKind& kind, int width, int height) {
    const int perRow = width * channelsOf(kind.colourType);
    const unsigned top = (1u << kind.bitDepth) - 1;
    std::vector<Bytes> rows;
    for (int y = 0; y < height; ++y) {
        Bytes row((static_cast<std::size_t>(perRow) * kind.bitDepth + 7) / 8, 0);
        for (int k = 0; k < perRow; ++k) {
            const unsigned v = (y == 0 && k < channelsOf(kind.colourType))
                                   ? 1
                                   : static_cast<unsigned>(k * 2654435761u + y * 40503u) & top;
            if (kind.bitDepth == 16) {
                row[2 * k] = static_cast<std::uint8_t>(v >> 8);
                row[2 * k + 1] = static_cast<std::uint8_t>(v);
            } else {
                const int bit = k * kind.bitDepth;
                row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - kind.bitDepth - bit % 8));
            }
        }
        rows.push_back(row);
    }
    return rows;
}

void writePngSeeds(const fs::path& dir) {
    const PngKind kinds[] = {
        {"grey1", PNG_COLOR_TYPE_GRAY, 1},
        {"grey2", PNG_COLOR_TYPE_GRAY, 2},
        {"grey4", PNG_COLOR_TYPE_GRAY, 4},
        {"grey8", PNG_COLOR_TYPE_GRAY, 8},
        {"grey16", PNG_COLOR_TYPE_GRAY, 16},
        {"palette1", PNG_COLOR_TYPE_PALETTE, 1},
        {"palette2", PNG_COLOR_TYPE_PALETTE, 2},
        {"palette4", PNG_COLOR_TYPE_PALETTE, 4},
        {"palette8", PNG_COLOR_TYPE_PALETTE, 8},
        {"greyalpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8},
        {"greyalpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16},
        {"rgb8", PNG_COLOR_TYPE_RGB, 8},
        {"rgb16", PNG_COLOR_TYPE_RGB, 16},
        {"rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8},
        {"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16},
    };
    struct Variant {
        const char* name;
        PngExtras extras;
        int width, height;
    };
    // 5 x 3 leaves some of the seven passes of an interlaced file empty; 9 x 9 fills them all.
    const Variant variants[] = {
        {"plain", {}, 5, 3},
        {"interlaced", {.interlaced = true}, 9, 9},
        {"trns", {.transparency = true}, 5, 3},
        {"chunks", {.interlaced = true, .transparency = true, .ancillary = true}, 5, 3},
    };
    for (const PngKind& kind : kinds)
        for (const Variant& v : variants) {
            // The types with an alpha channel take no tRNS.
            if (v.extras.transparency && (kind.colourType & PNG_COLOR_MASK_ALPHA)) continue;
            const std::vector<Bytes> rows = pngRows(kind, v.width, v.height);
            Bytes bytes;
            if (encodePng(&kind, &v.extras, v.width, v.height, &rows, &bytes))
                save(dir / ("png_" + std::string(kind.name) + "_" + v.name + ".png"), bytes);
            else
                std::fprintf(stderr, "make_seeds: libpng did not write %s %s\n", kind.name, v.name);
        }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_seeds BMP_DIR JPEG_DIR PNG_DIR\n");
        return 2;
    }
    fs::create_directories(argv[1]);
    fs::create_directories(argv[2]);
    fs::create_directories(argv[3]);
    writeBmpSeeds(argv[1]);
    writeJpegSeeds(argv[2]);
    writePngSeeds(argv[3]);
    return 0;
}
