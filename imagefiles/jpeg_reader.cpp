#include "jpeg_reader.h"

#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE
#include <new>
#include <optional>
#include <span>
#include <string>

#include <jerror.h>
#include <jpeglib.h>

#include "jpeg_markers.h"

namespace {

constexpr int kPictureBytesPerPixel = 4;
constexpr int kRgbComponents = 3;
constexpr int kBlockSide = DCTSIZE;
// A progressive AC scan codes up to 2^15 - 1 empty blocks in a row with one end-of-band code.
constexpr std::uint64_t kLongestEndOfBandRun = 32767;

// What the survey of a file's scans found: how much they hold and what they would cost.
struct ScanSurvey {
    int scans = 0;
    std::uint64_t blocks = 0; // decoded over all scans, a block once for each scan that holds it
    // The first scan whose data is too short for its blocks (1 for the first; 0: none), the bytes
    // it has and the fewest its blocks can be coded in.
    int shortScan = 0;
    std::uint64_t shortScanBytes = 0;
    std::uint64_t shortScanNeeds = 0;
    int componentWithoutDc = -1; // a component no scan gives its DC coefficients; -1: none
    bool badScanHeader = false;
};

// One decoding's state, shared with the library's callbacks through client_data. It lives in
// the caller's frame, outside the function that holds the jump target, so what the library
// wrote into it before a jump is still there after it.
struct JpegDecoder {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf recovery;
    JpegLimits limits;
    ScanSurvey survey;
    // What the library has started of the scans, counted as it goes: the survey's guard for
    // scans it could not see.
    int scansStarted;
    std::uint64_t blocksStarted;
    PictureError failure;
    char libraryMessage[JMSG_LENGTH_MAX];
};

JpegDecoder& decoderOf(j_common_ptr info) {
    return *static_cast<JpegDecoder*>(info->client_data);
}

[[noreturn]] void abandon(JpegDecoder& decoder, PictureError error) {
    decoder.failure = error;
    std::longjmp(decoder.recovery, 1);
}

// Fatal library errors come back to the recovery point, with the library's text kept.
[[noreturn]] void onFatalError(j_common_ptr info) {
    JpegDecoder& decoder = decoderOf(info);
    (*info->err->format_message)(info, decoder.libraryMessage);
    abandon(decoder, info->err->msg_code == JERR_OUT_OF_MEMORY ? PictureError::OutOfMemory
                                                               : PictureError::DamagedJpeg);
}

// Warnings keep decoding. The library's texts are not printed: they are not the user's.
void onMessage(j_common_ptr) {}

bool overBudget(const JpegLimits& limits, int scans, std::uint64_t blocks) {
    return scans > limits.maxScans || blocks > limits.maxScanBlocks;
}

// The library calls this as it works through the input. Each scan it starts is counted with
// its blocks, as the library laid them out for the scan.
void onProgress(j_common_ptr common) {
    JpegDecoder& decoder = decoderOf(common);
    const jpeg_decompress_struct& info = decoder.info;
    if (info.input_scan_number == decoder.scansStarted) return;
    decoder.scansStarted = info.input_scan_number;
    decoder.blocksStarted +=
        std::uint64_t{info.MCUs_per_row} * info.MCU_rows_in_scan * info.blocks_in_MCU;
    if (overBudget(decoder.limits, decoder.scansStarted, decoder.blocksStarted)) {
        decoder.survey.scans = decoder.scansStarted;
        decoder.survey.blocks = decoder.blocksStarted;
        abandon(decoder, PictureError::TooManyScans);
    }
}

bool colourSupported(const jpeg_decompress_struct& info) {
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE: return info.num_components == 1;
    case JCS_YCbCr:
    case JCS_RGB: return info.num_components == kRgbComponents;
    default: return false;
    }
}

// --- The survey: every scan's components and data, from the markers alone -------------------

struct ScanHeader {
    int count = 0;
    const jpeg_component_info* components[MAX_COMPS_IN_SCAN] = {};
    int spectralStart = 0;     // Ss: 0 for a scan that holds DC coefficients
    int approximationHigh = 0; // Ah: 0 for the first scan of its coefficients
};

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
}

// The blocks a scan holds, as the library lays them out: a single component's own blocks, or
// whole MCUs across the picture when the scan interleaves components.
std::uint64_t blocksOf(const jpeg_decompress_struct& info, const ScanHeader& scan) {
    if (scan.count == 1)
        return std::uint64_t{scan.components[0]->width_in_blocks} *
               scan.components[0]->height_in_blocks;
    const std::uint64_t mcusAcross = ceilDiv(info.image_width, info.max_h_samp_factor * kBlockSide);
    const std::uint64_t mcusDown = ceilDiv(info.image_height, info.max_v_samp_factor * kBlockSide);
    std::uint64_t perMcu = 0;
    for (int k = 0; k < scan.count; ++k)
        perMcu +=
            std::uint64_t(scan.components[k]->h_samp_factor) * scan.components[k]->v_samp_factor;
    return mcusAcross * mcusDown * perMcu;
}

// The fewest bits in which a scan's blocks can be Huffman-coded: a sequential block needs a DC
// code and then an end-of-block code (or codes for its AC coefficients), a bit at least each; a
// progressive DC scan a code or a refinement bit for each block; a progressive AC scan one
// end-of-band code for each run of blocks.
std::uint64_t fewestBits(bool progressive, const ScanHeader& scan, std::uint64_t blocks) {
    if (!progressive) return 2 * blocks;
    if (scan.spectralStart == 0) return blocks;
    return ceilDiv(blocks, kLongestEndOfBandRun);
}

// A scan header after the first, as the library reads it: the components named once each, by
// frame component id. False when the library would refuse it.
bool readScanHeader(const jpeg_decompress_struct& info, std::span<const std::uint8_t> file,
                    std::size_t at, ScanHeader& scan) {
    if (file.size() - at < 3) return false;
    const unsigned length = unsigned{file[at]} << 8 | file[at + 1];
    const int count = file[at + 2];
    if (count < 1 || count > MAX_COMPS_IN_SCAN || length != 6 + 2u * count ||
        file.size() - at < length)
        return false;
    scan.count = count;
    for (int k = 0; k < count; ++k) {
        const int id = file[at + 3 + 2 * k];
        scan.components[k] = nullptr;
        for (int c = 0; c < info.num_components && !scan.components[k]; ++c)
            if (info.comp_info[c].component_id == id) scan.components[k] = &info.comp_info[c];
        if (!scan.components[k]) return false;
        for (int j = 0; j < k; ++j)
            if (scan.components[j] == scan.components[k]) return false;
    }
    scan.spectralStart = file[at + 3 + 2 * count];
    scan.approximationHigh = file[at + 5 + 2 * count] >> 4;
    return true;
}

// Markers the library passes over between scans; any other but SOS and EOI is an error to it.
bool passedBetweenScans(std::uint8_t code) {
    constexpr std::uint8_t kDht = 0xC4, kDac = 0xCC, kDnl = 0xDC, kDqt = 0xDB, kDri = 0xDD,
                           kApp0 = 0xE0, kApp15 = 0xEF, kCom = 0xFE, kSoi = 0xD8;
    if (jpegMarkerStandsAlone(code)) return code != kSoi && code != kJpegEoi;
    return code == kDht || code == kDac || code == kDnl || code == kDqt || code == kDri ||
           (code >= kApp0 && code <= kApp15) || code == kCom;
}

// Where the next scan's header (its length field) is, after the markers that follow a scan's
// data; nothing when the image ends first: at EOI, where the bytes end, or at a marker the
// library refuses (it then refuses the file itself).
std::optional<std::size_t> nextScanAt(std::span<const std::uint8_t> file, std::size_t from) {
    for (std::size_t at = from;;) {
        const std::optional<JpegMarker> marker = nextJpegMarker(file, at);
        if (!marker) return std::nullopt;
        if (marker->code == kJpegSos) return marker->next;
        if (!passedBetweenScans(marker->code)) return std::nullopt;
        if (jpegMarkerStandsAlone(marker->code)) {
            at = marker->next;
            continue;
        }
        const std::optional<std::uint64_t> end = jpegSegmentEnd(file, marker->next);
        if (!end || *end > file.size()) return std::nullopt;
        at = static_cast<std::size_t>(*end);
    }
}

// Surveys the scans from the first one's data (at `entropyAt`, just past the header libjpeg
// read) to the end of the image, counting each scan's blocks and measuring its data. It stops as
// soon as the scans are over the limits; a single-scan file ends with its scan, as it does for
// the library.
void surveyScans(const jpeg_decompress_struct& info, std::span<const std::uint8_t> file,
                 std::size_t entropyAt, const JpegLimits& limits, ScanSurvey& survey) {
    ScanHeader scan;
    scan.count = info.comps_in_scan;
    for (int k = 0; k < scan.count; ++k)
        scan.components[k] = info.cur_comp_info[k];
    scan.spectralStart = info.Ss;
    scan.approximationHigh = info.Ah;
    const bool progressive = info.progressive_mode != 0;
    const bool multipleScans = progressive || info.comps_in_scan < info.num_components;
    bool hasDc[MAX_COMPONENTS] = {};

    for (std::size_t at = entropyAt;;) {
        ++survey.scans;
        const std::uint64_t blocks = blocksOf(info, scan);
        survey.blocks += blocks;
        if (overBudget(limits, survey.scans, survey.blocks)) return;
        const std::size_t dataEnd = jpegEntropyEnd(file, at).value_or(file.size());
        const std::uint64_t needs = ceilDiv(fewestBits(progressive, scan, blocks), 8);
        if (dataEnd - at < needs && survey.shortScan == 0) {
            survey.shortScan = survey.scans;
            survey.shortScanBytes = dataEnd - at;
            survey.shortScanNeeds = needs;
        }
        // A sequential scan codes whole blocks, whatever its header says of the spectrum.
        if (!progressive || (scan.spectralStart == 0 && scan.approximationHigh == 0))
            for (int k = 0; k < scan.count; ++k)
                hasDc[scan.components[k]->component_index] = true;
        if (!multipleScans) break;

        const std::optional<std::size_t> header = nextScanAt(file, dataEnd);
        if (!header) break;
        if (!readScanHeader(info, file, *header, scan)) {
            survey.badScanHeader = true;
            return;
        }
        at = *header + (std::size_t{file[*header]} << 8 | file[*header + 1]);
    }
    for (int c = 0; c < info.num_components; ++c)
        if (!hasDc[c]) {
            survey.componentWithoutDc = c;
            return;
        }
}

// The survey's verdict, in the order a user can act on: too much work first.
PictureError surveyVerdict(const ScanSurvey& survey, const JpegLimits& limits) {
    if (overBudget(limits, survey.scans, survey.blocks)) return PictureError::TooManyScans;
    if (survey.badScanHeader) return PictureError::DamagedJpeg;
    if (survey.shortScan != 0 || survey.componentWithoutDc >= 0) return PictureError::TooLittleData;
    return PictureError::None;
}

// Red, green, blue samples become the picture's blue, green, red and 0.
void storeRow(const JSAMPLE* rgb, std::uint8_t* out, int width) {
    for (int column = 0; column < width;
         ++column, rgb += kRgbComponents, out += kPictureBytesPerPixel)
        out[0] = rgb[2], out[1] = rgb[1], out[2] = rgb[0], out[3] = 0;
}

// Decodes into `picture`. Fatal library errors and every refusal jump back to the recovery point,
// which would skip destructors: so this function holds nothing that has one, and everything it
// changes lives in `decoder` or `picture`. The library is destroyed on that one way out, and
// after a good decoding.
PictureError decode(JpegDecoder* decoder, const std::uint8_t* data, unsigned long size,
                    TextureImage* picture) {
    jpeg_decompress_struct* info = &decoder->info;
    info->err = jpeg_std_error(&decoder->errors);
    decoder->errors.error_exit = onFatalError;
    decoder->errors.output_message = onMessage;
    decoder->progress.progress_monitor = onProgress;
    info->client_data = decoder; // kept by jpeg_create_decompress, which clears the rest
    if (setjmp(decoder->recovery)) {
        jpeg_destroy_decompress(info);
        return decoder->failure;
    }
    jpeg_create_decompress(info);
    info->progress = &decoder->progress;
    jpeg_mem_src(info, data, size);
    (void)jpeg_read_header(info, TRUE); // without an image: a fatal error

    // Arithmetic coding may legally end its data anywhere and leave the rest to zeros, so no
    // amount of data tells a real picture from a few bytes that claim a huge one.
    if (info->arith_code) abandon(*decoder, PictureError::UnsupportedJpegCoding);
    if (!colourSupported(*info)) abandon(*decoder, PictureError::UnsupportedJpegColour);
    if (!pictureSizeAllowed(info->image_width, info->image_height, decoder->limits.maxPictureBytes))
        abandon(*decoder, PictureError::PictureTooLarge);
    // Everything the scans would cost is known before the library allocates for them.
    const auto entropyAt = static_cast<std::size_t>(info->src->next_input_byte - data);
    surveyScans(*info, {data, size}, entropyAt, decoder->limits, decoder->survey);
    if (const PictureError verdict = surveyVerdict(decoder->survey, decoder->limits);
        verdict != PictureError::None)
        abandon(*decoder, verdict);

    info->out_color_space = JCS_RGB; // grey pictures too
    // A progressive file's scans are all read here, before the picture is made.
    (void)jpeg_start_decompress(info);
    if (info->output_components != kRgbComponents || info->output_width != info->image_width ||
        info->output_height != info->image_height)
        abandon(*decoder, PictureError::UnsupportedJpegColour);
    const int width = static_cast<int>(info->output_width);
    const int height = static_cast<int>(info->output_height);
    if (!makePicture(*picture, width, height)) abandon(*decoder, PictureError::OutOfMemory);
    JSAMPARRAY row = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                                info->output_width * kRgbComponents, 1);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * kPictureBytesPerPixel;
    while (info->output_scanline < info->output_height) {
        // The image's top row is the picture's last: the picture is bottom row first.
        const int rowFromBottom = height - 1 - static_cast<int>(info->output_scanline);
        // A memory source never suspends: at the data's end it supplies an end marker.
        if (jpeg_read_scanlines(info, row, 1) != 1) abandon(*decoder, PictureError::DamagedJpeg);
        storeRow(row[0], picture->pixels.data() + rowFromBottom * rowBytes, width);
    }
    (void)jpeg_finish_decompress(info);
    jpeg_destroy_decompress(info);
    return PictureError::None;
}

std::string surveyDetails(PictureError error, const ScanSurvey& survey, const JpegLimits& limits) {
    if (error == PictureError::TooManyScans) {
        if (survey.scans > limits.maxScans)
            return std::to_string(survey.scans) + " scans, more than " +
                   std::to_string(limits.maxScans);
        return "its scans decode " + std::to_string(survey.blocks) + " blocks, more than " +
               std::to_string(limits.maxScanBlocks);
    }
    if (error == PictureError::DamagedJpeg) return "a damaged scan header";
    if (survey.shortScan != 0)
        return "scan " + std::to_string(survey.shortScan) + " has " +
               std::to_string(survey.shortScanBytes) + " bytes of data, its blocks need " +
               std::to_string(survey.shortScanNeeds) + " at least";
    return "no scan holds component " + std::to_string(survey.componentWithoutDc + 1) +
           "'s DC coefficients";
}

} // namespace

PictureResult readJpegPicture(std::span<const std::uint8_t> file, const JpegLimits& limits) {
    if (!startsAsJpeg(file)) return pictureFailure(PictureError::NotJpeg);
    if (file.size() > ULONG_MAX) return pictureFailure(PictureError::FileTooLarge);
    JpegDecoder decoder{};
    decoder.limits = limits;
    PictureResult result;
    const PictureError error =
        decode(&decoder, file.data(), static_cast<unsigned long>(file.size()), &result.picture);
    if (error == PictureError::None) return result;

    // The decoder's fields still describe the file after the library was destroyed.
    const jpeg_decompress_struct& info = decoder.info;
    std::string details;
    switch (error) {
    case PictureError::DamagedJpeg:
        details = decoder.survey.badScanHeader ? surveyDetails(error, decoder.survey, limits)
                                               : decoder.libraryMessage;
        break;
    case PictureError::UnsupportedJpegColour:
        details = std::to_string(info.num_components) + " components";
        break;
    case PictureError::PictureTooLarge:
        details = std::to_string(info.image_width) + " x " + std::to_string(info.image_height);
        break;
    case PictureError::TooManyScans:
    case PictureError::TooLittleData: details = surveyDetails(error, decoder.survey, limits); break;
    default: break;
    }
    return pictureFailure(error, details);
}
