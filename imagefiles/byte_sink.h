#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Where an encoder puts a file's bytes: appended to a block in memory, which the caller writes to
// a file (file_output.h) or a test reads. Multi-byte fields are little-endian. Appending may throw
// std::bad_alloc; an encoder that reserves the whole file first appends without allocating.
struct ByteSink {
    std::vector<std::uint8_t>& bytes;

    void reserve(std::size_t count) { bytes.reserve(bytes.size() + count); }
    void put8(std::uint8_t v) { bytes.push_back(v); }
    void put16(std::uint16_t v) {
        put8(static_cast<std::uint8_t>(v));
        put8(static_cast<std::uint8_t>(v >> 8));
    }
    void put32(std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v));
        put16(static_cast<std::uint16_t>(v >> 16));
    }
    void putZeros(std::size_t count) { bytes.insert(bytes.end(), count, 0); }
};
