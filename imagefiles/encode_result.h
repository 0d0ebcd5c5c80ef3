#pragma once

#include <string>

// Why an encoder could not turn a picture into a file's bytes.
enum class EncodeError {
    None,
    UnsupportedDepth, // a bit count the format's writer does not produce
    UnusableFrame,    // no pixels, a pixel block that disagrees with the frame's size, or too
                      // large for the format
    UnknownFormat,    // no writer for the file name's extension
    OutOfMemory,
};

struct [[nodiscard]] EncodeResult {
    EncodeError error = EncodeError::None;
    std::string message; // what failed, in short English; empty on success

    [[nodiscard]] bool ok() const { return error == EncodeError::None; }
};

[[nodiscard]] inline EncodeResult encodeOutOfMemory() {
    return {EncodeError::OutOfMemory, "out of memory"};
}
