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
// As many links in a row as Linux follows before it calls it a loop.
constexpr int kMostLinksFollowed = 40;

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

// The file that takes the bytes: the target, or, when the target is a symbolic link, the file it
// names (at the end of a chain of links), so that the link stays a link. A link's relative
// target is taken from the link's own folder.
fs::path fileNamedBy(const fs::path& target, std::error_code& error) {
    fs::path path = target;
    for (int followed = 0; followed <= kMostLinksFollowed; ++followed) {
        std::error_code ignored; // a path that cannot be looked at is no link
        if (!fs::is_symlink(fs::symlink_status(path, ignored))) return path;
        const fs::path named = fs::read_symlink(path, error);
        if (error) return {};
        path = named.is_absolute() ? named : path.parent_path() / named;
    }
    error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return {};
}

// The file is written beside its target and renamed over it, so creating it needs the folder
// to be writable even when the target itself is.
FileResult cannotCreate(std::error_code reason) {
    if (reason == std::errc::permission_denied || reason == std::errc::operation_not_permitted ||
        reason == std::errc::read_only_file_system)
        return failure(FileError::CannotCreate,
                       ("cannot create a file in the folder (" + reason.message() +
                        "): the file is replaced safely, by a new file written beside it and "
                        "renamed over it, so its folder must be writable")
                           .c_str());
    return failure(FileError::CannotCreate, "cannot create the file", reason);
}

} // namespace

FileResult writeFileReplacing(const std::filesystem::path& path,
                              std::span<const std::uint8_t> bytes) {
    try {
        if (path.empty()) return failure(FileError::CannotCreate, "cannot create the file");
        std::error_code error;
        const fs::path target = fileNamedBy(path, error);
        if (error) return failure(FileError::CannotCreate, "cannot create the file", error);
        // Beside the target, so that the rename stays within one file system.
        const fs::path folder = target.parent_path();

        // Removes the file on every way out that does not rename it, exceptions included.
        TemporaryFile file;
        TemporaryNames names;
        for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
            error = file.create(folder / names.next());
            if (error != std::errc::file_exists) break;
        }
        if (error) return cannotCreate(error);

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
