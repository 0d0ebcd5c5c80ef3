// Writes the fuzzers' seed corpora: small valid BMP files of every depth and layout the reader
// takes (widths 1 to 5, so every row fill; bottom-up and top-down; every info header size; bit
// fields), the project's own writer's files, and JPEG files (baseline, progressive, grey, 4:4:4,
// RGB, CMYK and YCCK), so that the fuzzers start from files that reach every part of the readers.
// Usage: make_seeds BMP_DIR JPEG_DIR
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
    // The project's own writer, at each depth.
    CapturedFrame frame{3, 2, {}};
    for (int k = 0; k < 3 * 2 * 4; ++k)
        frame.pixels.push_back(static_cast<std::uint8_t>(k * 40));
    for (const int depth : {16, 24, 32}) {
        Bytes bytes;
        ByteSink out{bytes};
        if (encodeBmp(frame, depth, out).ok())
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
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_seeds BMP_DIR JPEG_DIR\n");
        return 2;
    }
    fs::create_directories(argv[1]);
    fs::create_directories(argv[2]);
    writeBmpSeeds(argv[1]);
    writeJpegSeeds(argv[2]);
    return 0;
}
