#include "jpeg_markers.h"

#include <cstring>

namespace {
constexpr std::uint8_t kFill = 0xFF;
constexpr std::uint8_t kStuffed = 0x00;

bool isRestart(std::uint8_t code) {
    return code >= 0xD0 && code <= 0xD7;
}
} // namespace

std::optional<JpegMarker> nextJpegMarker(std::span<const std::uint8_t> bytes, std::size_t from) {
    std::size_t at = from;
    while (at < bytes.size()) {
        // memchr: scan data runs to megabytes between markers.
        const void* ff = std::memchr(bytes.data() + at, kFill, bytes.size() - at);
        if (!ff) return std::nullopt;
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - bytes.data());
        std::size_t code = at + 1;
        while (code < bytes.size() && bytes[code] == kFill)
            ++code;
        if (code == bytes.size()) return std::nullopt;
        if (bytes[code] != kStuffed) return JpegMarker{bytes[code], at, code + 1};
        at = code + 1;
    }
    return std::nullopt;
}

std::optional<std::size_t> jpegEntropyEnd(std::span<const std::uint8_t> bytes, std::size_t from) {
    for (std::size_t at = from;;) {
        const std::optional<JpegMarker> marker = nextJpegMarker(bytes, at);
        if (!marker) return std::nullopt;
        if (!isRestart(marker->code)) return marker->at;
        at = marker->next;
    }
}
