#pragma once

#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <optional>
#include <vector>

#include <jpeglib.h>

// How a JPEG file is made from samples.
struct JpegSettings {
    J_COLOR_SPACE input = JCS_RGB; // JCS_RGB: 3 samples a pixel, JCS_GRAYSCALE: 1, JCS_CMYK: 4
    std::optional<J_COLOR_SPACE> stored =
        {}; // the file's colour space; default: the library's choice
    int quality = 100;
    bool progressive = false;
    bool fullChroma = false;                // every component at full resolution (4:4:4)
    std::vector<jpeg_scan_info> scans = {}; // a scan script of its own, when given
};

// A JPEG file of `samples` (the top row first, each pixel's samples together), made in memory
// with libjpeg's 6b API.
inline std::vector<std::uint8_t> makeJpeg(int width, int height,
                                          const std::vector<std::uint8_t>& samples,
                                          const JpegSettings& settings = {}) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors); // the made files are valid: a fatal error ends the run
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.in_color_space = settings.input;
    info.input_components = settings.input == JCS_GRAYSCALE ? 1
                            : settings.input == JCS_CMYK    ? 4
                                                            : 3;
    jpeg_set_defaults(&info);
    if (settings.stored) jpeg_set_colorspace(&info, *settings.stored);
    jpeg_set_quality(&info, settings.quality, TRUE);
    if (settings.fullChroma)
        for (int c = 0; c < info.num_components; ++c)
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    if (settings.progressive) jpeg_simple_progression(&info);
    if (!settings.scans.empty()) {
        info.scan_info = settings.scans.data();
        info.num_scans = static_cast<int>(settings.scans.size());
    }
    jpeg_start_compress(&info, TRUE);
    const std::size_t rowSamples = static_cast<std::size_t>(width) * info.input_components;
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<JSAMPLE*>(samples.data() + info.next_scanline * rowSamples);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

// A progressive scan script for a grey picture with a scan for every bit of every coefficient:
// the DC scan, then for each of the 63 AC coefficients a first scan and ten refinements.
inline std::vector<jpeg_scan_info> everyBitScans() {
    constexpr int kTopBit = 10; // the most that libjpeg allows for successive approximation
    std::vector<jpeg_scan_info> scans;
    scans.push_back({1, {0}, 0, 0, 0, 0});
    for (int k = 1; k < 64; ++k) {
        scans.push_back({1, {0}, k, k, 0, kTopBit});
        for (int bit = kTopBit; bit > 0; --bit)
            scans.push_back({1, {0}, k, k, bit, bit - 1});
    }
    return scans;
}
