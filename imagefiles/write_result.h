#pragma once

#include <cstdint>
#include <new>
#include <vector>
#include <span>
#include <string>
#include <utility>

#include "byte_sink.h"
#include "encode_result.h"
#include "file_output.h"

// What writing a picture file came to. At most one error is set: `encodeError` when the picture
// could not be turned into the format's bytes (no file was touched), `fileError` when the bytes
// could not be stored.
struct [[nodiscard]] WriteResult {
    EncodeError encodeError = EncodeError::None;
    FileError fileError = FileError::None;
    std::string message; // what failed, in short English; empty on success

    [[nodiscard]] bool ok() const {
        return encodeError == EncodeError::None && fileError == FileError::None;
    }
};

// The file half of every format's writer: stores what an encoder made at `path` (see
// writeFileReplacing), or nothing when the encoder failed.
[[nodiscard]] inline WriteResult writeEncodedFile(const std::filesystem::path& path,
                                                  EncodeResult encoded,
                                                  std::span<const std::uint8_t> bytes) {
    if (!encoded.ok()) return {encoded.error, FileError::None, std::move(encoded.message)};
    FileResult stored = writeFileReplacing(path, bytes);
    return {EncodeError::None, stored.error, std::move(stored.message)};
}

// Every format's file writer: `encode(sink)` makes the file's bytes in memory, then
// writeEncodedFile stores them. Running out of memory on the way is an error like any other.
template <typename Encode>
[[nodiscard]] WriteResult encodeToFile(const std::filesystem::path& path, Encode encode) {
    try {
        std::vector<std::uint8_t> bytes;
        ByteSink sink{bytes};
        EncodeResult encoded = encode(sink);
        return writeEncodedFile(path, std::move(encoded), bytes);
    } catch (const std::bad_alloc&) {
        return {EncodeError::OutOfMemory, FileError::None, "out of memory"};
    }
}
