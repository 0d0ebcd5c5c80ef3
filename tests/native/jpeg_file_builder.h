#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE
#include <algorithm>
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
    bool arithmetic = false;                // arithmetic coding instead of Huffman coding
    unsigned restartInterval = 0;           // MCUs between restart markers; 0: none
    std::vector<jpeg_scan_info> scans = {}; // a scan script of its own, when given
};

// Sets the size fields of the file's start-of-frame (baseline or progressive): height, then
// width, after the segment's length and precision. False when the file has no such marker.
inline bool setJpegFrameSize(std::vector<std::uint8_t>& file, std::uint32_t width,
                             std::uint32_t height) {
    for (std::size_t k = 0; k + 8 < file.size(); ++k)
        if (file[k] == 0xFF && (file[k + 1] == 0xC0 || file[k + 1] == 0xC2)) {
            file[k + 5] = static_cast<std::uint8_t>(height >> 8);
            file[k + 6] = static_cast<std::uint8_t>(height);
            file[k + 7] = static_cast<std::uint8_t>(width >> 8);
            file[k + 8] = static_cast<std::uint8_t>(width);
            return true;
        }
    return false;
}

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
    info.arith_code = settings.arithmetic ? TRUE : FALSE;
    info.restart_interval = settings.restartInterval;
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

// Bits into a scan's entropy-coded bytes: a byte FF is followed by a stuffed 00, and the last
// byte is filled out with 1 bits.
class EntropyBits {
  public:
    void put(std::uint32_t value, int count) {
        for (int k = count - 1; k >= 0; --k)
            bit((value >> k) & 1);
    }
    std::vector<std::uint8_t> finish() {
        while (filled_ != 0)
            bit(1);
        return std::move(bytes_);
    }

  private:
    void bit(std::uint32_t b) {
        current_ = static_cast<std::uint8_t>(current_ << 1 | b);
        if (++filled_ < 8) return;
        bytes_.push_back(current_);
        if (current_ == 0xFF) bytes_.push_back(0x00);
        current_ = 0;
        filled_ = 0;
    }

    std::vector<std::uint8_t> bytes_;
    std::uint8_t current_ = 0;
    int filled_ = 0;
};

// A grey progressive JPEG of side x side pixels (side a multiple of 8) written by hand, all of
// its coefficients 0, in the fewest bytes: a DC scan of one bit a block (the DC table's only code
// is the 1-bit 0, a difference of 0), then `scans - 1` scans of the AC coefficients 1 to 63 that
// are nothing but end-of-band runs of up to 32767 blocks (the AC table holds the 15 run codes,
// EOB0 to EOB14, as the 4-bit codes 0 to 14). Each AC scan is about 18 bits a run, a few hundred
// bytes even for the largest picture, yet makes the decoder visit every block again.
inline std::vector<std::uint8_t> zeroProgressiveJpeg(int side, int scans) {
    std::vector<std::uint8_t> f{0xFF, 0xD8};
    const auto segment = [&f](std::uint8_t marker, const std::vector<std::uint8_t>& body) {
        const std::size_t length = body.size() + 2;
        f.insert(f.end(), {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(length)});
        f.insert(f.end(), body.begin(), body.end());
    };
    std::vector<std::uint8_t> quantisation{0x00}; // table 0, 8-bit values, all 1
    quantisation.resize(1 + 64, 1);
    segment(0xDB, quantisation);
    const auto s = static_cast<std::uint8_t>(side >> 8), t = static_cast<std::uint8_t>(side);
    segment(0xC2, {8, s, t, s, t, 1, 1, 0x11, 0}); // SOF2: 8 bits, height, width, component 1
    std::vector<std::uint8_t> dcTable{0x00, 1};    // DC table 0: one code of length 1, symbol 0
    dcTable.resize(1 + 16, 0);
    dcTable.push_back(0);
    segment(0xC4, dcTable);
    std::vector<std::uint8_t> acTable{0x10, 0, 0, 0, 15}; // AC table 0: 15 codes of length 4
    acTable.resize(1 + 16, 0);
    for (int r = 0; r <= 14; ++r)
        acTable.push_back(static_cast<std::uint8_t>(r << 4)); // EOBr
    segment(0xC4, acTable);

    const std::uint64_t blocks = std::uint64_t(side / 8) * (side / 8);
    segment(0xDA, {1, 1, 0x00, 0, 0, 0x00}); // component 1, DC only, first scan
    EntropyBits dc;
    for (std::uint64_t k = 0; k < blocks; ++k)
        dc.put(0, 1);
    const std::vector<std::uint8_t> dcData = dc.finish();
    f.insert(f.end(), dcData.begin(), dcData.end());

    EntropyBits ac;
    for (std::uint64_t left = blocks; left > 0;) {
        const std::uint64_t run = std::min<std::uint64_t>(left, 32767);
        int r = 0;
        while ((std::uint64_t{2} << r) <= run)
            ++r;
        ac.put(static_cast<std::uint32_t>(r), 4);
        ac.put(static_cast<std::uint32_t>(run - (std::uint64_t{1} << r)), r);
        left -= run;
    }
    const std::vector<std::uint8_t> acData = ac.finish();
    for (int scan = 1; scan < scans; ++scan) {
        segment(0xDA, {1, 1, 0x00, 1, 63, 0x00}); // component 1, AC 1..63, first scan
        f.insert(f.end(), acData.begin(), acData.end());
    }
    f.insert(f.end(), {0xFF, 0xD9});
    return f;
}
