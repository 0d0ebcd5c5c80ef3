#include "file_output.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "temporary_file.h"

namespace fs = std::filesystem;

namespace {

// A name that is taken is only passed over: a clash among 62^6 names is rare, so a hundred in a
// row mean that the folder takes no new files at all.
constexpr int kTemporaryNameAttempts = 100;
constexpr int kTemporaryNameLetters = 6;

FileResult failure(FileError error, const char* what, std::error_code reason = {}) {
    std::string message = what;
    if (reason) message += ": " + reason.message();
    return {error, std::move(message)};
}

// Names for the temporary file: ".vex", six letters or digits, ".tmp". Short, so they fit beside
// a target of any length the system allows; different in every run, so that writers at the same
// time and files left by runs that were killed do not get in each other's way.
class TemporaryNames {
  public:
    TemporaryNames() {
        // Seeded by the time and by where this run's stack lies; a clash costs one more attempt.
        static std::atomic<std::uint64_t> calls{0};
        const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        state_ = static_cast<std::uint64_t>(now) ^ reinterpret_cast<std::uintptr_t>(this) ^
                 (calls.fetch_add(1) << 32);
    }

    std::string next() {
        static constexpr char kLetters[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::uint64_t bits = splitMix64();
        std::string name = ".vex";
        for (int i = 0; i < kTemporaryNameLetters; ++i) {
            name += kLetters[bits % (sizeof kLetters - 1)];
            bits /= sizeof kLetters - 1;
        }
        return name + ".tmp";
    }

  private:
    std::uint64_t splitMix64() {
        std::uint64_t z = state_ += 0x9E3779B97F4A7C15u;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }

    std::uint64_t state_;
};

} // namespace

FileResult writeFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    try {
        if (path.empty()) return failure(FileError::CannotCreate, "cannot create the file");
        // Beside the target, so that the rename stays within one file system.
        const fs::path target(path);
        const fs::path folder = target.parent_path();

        // Removes the file on every way out that does not rename it, exceptions included.
        TemporaryFile file;
        TemporaryNames names;
        std::error_code error;
        for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
            error = file.create(folder / names.next());
            if (error != std::errc::file_exists) break;
        }
        if (error) return failure(FileError::CannotCreate, "cannot create the file", error);

        // A short write, a failed flush to disk or a failed close all mean the data may not be
        // there.
        if ((error = file.write(bytes)) || (error = file.close()))
            return failure(FileError::CannotWrite, "cannot write the file", error);
        if ((error = file.renameTo(target)))
            return failure(FileError::CannotReplace, "cannot replace the file", error);
        return {};
    } catch (const std::bad_alloc&) {
        // Both texts are short enough to be stored without allocating.
        return {FileError::OutOfMemory, "out of memory"};
    } catch (const std::exception&) {
        // A name the platform cannot convert; thrown before any file was made.
        return {FileError::CannotCreate, "bad file name"};
    }
}
