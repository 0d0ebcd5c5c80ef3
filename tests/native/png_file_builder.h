#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

// Taking PNG files apart and putting them together: chunks are length, type, data, and the
// CRC-32 of type and data; numbers are big-endian.

using Bytes = std::vector<std::uint8_t>;

inline std::uint32_t crcOf(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t k = 0; k < size; ++k) {
        crc ^= data[k];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

inline std::uint32_t read32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}
inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        b[at + k] = static_cast<std::uint8_t>(v >> (24 - 8 * k));
}

// Where the first chunk of `type` starts (its length field).
inline std::size_t chunkAt(const Bytes& file, const char* type) {
    for (std::size_t at = 8; at + 12 <= file.size(); at += 12 + read32(file, at))
        if (std::memcmp(&file[at + 4], type, 4) == 0) return at;
    ADD_FAILURE() << "no " << type << " chunk";
    return 8;
}

inline Bytes chunk(const char* type, const Bytes& data) {
    Bytes c(12 + data.size());
    put32(c, 0, static_cast<std::uint32_t>(data.size()));
    std::memcpy(&c[4], type, 4);
    std::copy(data.begin(), data.end(), c.begin() + 8);
    put32(c, 8 + data.size(), crcOf(&c[4], 4 + data.size()));
    return c;
}

// The file with the first chunk of `type` replaced by `replacement` (a whole chunk, or nothing).
inline Bytes withChunkReplaced(Bytes file, const char* type, const Bytes& replacement) {
    const std::size_t at = chunkAt(file, type);
    const auto begin = file.begin() + static_cast<std::ptrdiff_t>(at);
    file.erase(begin, begin + 12 + read32(file, at));
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), replacement.begin(),
                replacement.end());
    return file;
}

// The file with the data of its first chunk of `type` changed and the CRC made to match.
inline Bytes withChunkData(const Bytes& file, const char* type,
                           const std::function<void(Bytes&)>& edit) {
    const std::size_t at = chunkAt(file, type);
    Bytes data(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
               file.begin() + static_cast<std::ptrdiff_t>(at + 8 + read32(file, at)));
    edit(data);
    return withChunkReplaced(file, type, chunk(type, data));
}

inline Bytes withHeaderSize(const Bytes& file, std::uint32_t width, std::uint32_t height) {
    return withChunkData(file, "IHDR", [&](Bytes& d) { put32(d, 0, width), put32(d, 4, height); });
}
