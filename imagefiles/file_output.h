#pragma once

#include <cstdint>
#include <span>
#include <string>

enum class WriteError {
    None,
    UnsupportedDepth, // a bit count the writer does not produce
    UnusableFrame,    // no pixels, or a pixel block that disagrees with the frame's size
    OutOfMemory,
    CannotCreate,
    CannotWrite,
    CannotReplace, // the complete file could not take the target's name
};

struct [[nodiscard]] WriteResult {
    WriteError error = WriteError::None;
    std::string message; // what failed, in short English; empty on success

    [[nodiscard]] bool ok() const { return error == WriteError::None; }
};

// Writes bytes to a temporary file beside `path`, checks every write and the close, then renames
// it over `path`. On failure the temporary file is removed and an existing file at `path` is left
// as it was. `path` is a narrow path as the C library takes it.
[[nodiscard]] WriteResult writeFileReplacing(const std::string& path,
                                             std::span<const std::uint8_t> bytes);
