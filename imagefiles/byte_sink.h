#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <string_view>
#include <vector>

#include "encode_result.h"

// Where an encoder puts a file's bytes: appended to a block in memory, which the caller writes to
// a file (file_output.h) or a test reads. Multi-byte fields are little-endian. Appending may throw
// std::bad_alloc; an encoder that reserves the whole file first appends without allocating.
// Only a SinkRestore takes bytes back out, so an encoder cannot cut away what came before it.
class ByteSink {
  public:
    explicit ByteSink(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    [[nodiscard]] std::size_t size() const { return bytes_.size(); }
    void reserve(std::size_t count) { bytes_.reserve(bytes_.size() + count); }
    void put8(std::uint8_t v) { bytes_.push_back(v); }
    void put16(std::uint16_t v) {
        put8(static_cast<std::uint8_t>(v));
        put8(static_cast<std::uint8_t>(v >> 8));
    }
    void put32(std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v));
        put16(static_cast<std::uint16_t>(v >> 16));
    }
    void putZeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    void putBytes(std::span<const std::uint8_t> data) {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
    }
    // A chunk name or signature, one byte a character: putText("RIFF").
    void putText(std::string_view text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }

  private:
    friend class SinkRestore;
    std::vector<std::uint8_t>& bytes_;
};

// Puts the sink back to the size it had when the restore was made, unless the encoder keeps
// what it appended: a refusal, a library's error or an exception then leaves no part of a file.
class SinkRestore {
  public:
    explicit SinkRestore(ByteSink& sink) : sink_(sink), size_(sink.size()) {}
    ~SinkRestore() {
        if (!kept_) sink_.bytes_.resize(size_); // shrinking: never allocates
    }
    SinkRestore(const SinkRestore&) = delete;
    SinkRestore& operator=(const SinkRestore&) = delete;

    void keep() { kept_ = true; }

  private:
    ByteSink& sink_;
    std::size_t size_;
    bool kept_ = false;
};

// How every encoder appends one file: `encode()` appends it to `out` and says how that went.
// The bytes stay only when it succeeds; running out of memory is an error like any other.
template <typename Encode>
[[nodiscard]] EncodeResult appendWholeFile(ByteSink& out, Encode encode) {
    SinkRestore restore(out);
    try {
        EncodeResult result = encode();
        if (result.ok()) restore.keep();
        return result;
    } catch (const std::bad_alloc&) {
        return encodeOutOfMemory();
    }
}
