#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

// Why bytes could not be stored as a file.
enum class FileError {
    None,
    CannotCreate,
    CannotWrite,
    CannotReplace, // the complete file could not take the target's name
    OutOfMemory,
};

struct [[nodiscard]] FileResult {
    FileError error = FileError::None;
    std::string message; // what failed, in short English; empty on success

    [[nodiscard]] bool ok() const { return error == FileError::None; }
};

// Writes bytes to a new temporary file beside `path` (see TemporaryFile), checks every write,
// flushes the file to disk and closes it, then renames it over `path`. On failure the temporary
// file is removed and an existing file at `path` is left as it was.
[[nodiscard]] FileResult writeFileReplacing(const std::filesystem::path& path,
                                            std::span<const std::uint8_t> bytes);
