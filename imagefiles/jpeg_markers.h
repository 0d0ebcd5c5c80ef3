#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Finding one's way through a JPEG file's markers without decoding it, the way libjpeg moves
// through them: the reader surveys a file's scans with this before anything is allocated, and a
// stream is read only up to the end-of-image marker.

inline constexpr std::uint8_t kJpegSos = 0xDA; // start of scan
inline constexpr std::uint8_t kJpegEoi = 0xD9; // end of image

// A marker found at or after some place: its code, where its FF starts and where its parameters
// start (just past the code).
struct JpegMarker {
    std::uint8_t code = 0;
    std::size_t at = 0;
    std::size_t next = 0;
};

// The next marker from `from` on. As in libjpeg, bytes before it that are not FF are skipped, as
// are fill FFs and stuffed FF 00 pairs. Nothing when the bytes end before a whole marker.
[[nodiscard]] std::optional<JpegMarker> nextJpegMarker(std::span<const std::uint8_t> bytes,
                                                       std::size_t from);

// Where entropy-coded data that starts at `from` ends: the FF of the first marker in it that is
// not a restart marker (FF 00 is a data byte FF, and restart markers only separate the data).
// Nothing when the bytes end first.
[[nodiscard]] std::optional<std::size_t> jpegEntropyEnd(std::span<const std::uint8_t> bytes,
                                                        std::size_t from);

// Markers without parameters: the restart markers, TEM, SOI and EOI. Every other one is
// followed by a two-byte length that counts itself.
[[nodiscard]] constexpr bool jpegMarkerStandsAlone(std::uint8_t code) {
    return (code >= 0xD0 && code <= 0xD9) || code == 0x01;
}

// Where the marker segment whose length field is at `lengthAt` ends, as libjpeg skips it: a
// length under 2 skips only the field itself. Nothing when the bytes end before the field.
[[nodiscard]] inline std::optional<std::uint64_t>
jpegSegmentEnd(std::span<const std::uint8_t> bytes, std::size_t lengthAt) {
    if (bytes.size() < 2 || lengthAt > bytes.size() - 2) return std::nullopt;
    const unsigned length = unsigned{bytes[lengthAt]} << 8 | bytes[lengthAt + 1];
    return std::uint64_t{lengthAt} + (length < 2 ? 2 : length);
}
