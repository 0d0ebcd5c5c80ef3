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
// file is removed and an existing file at `path` is left as it was. When `path` is a symbolic
// link, the file it names is replaced in the same way, in that file's own folder, and the link
// stays. The folder must be writable: a writable file in a read-only folder cannot be replaced
// this way, and the message says so.
[[nodiscard]] FileResult writeFileReplacing(const std::filesystem::path& path,
                                            std::span<const std::uint8_t> bytes);
