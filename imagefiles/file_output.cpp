#include "file_output.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <exception>
#include <new>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr int kTemporaryNameAttempts = 100;

FileResult failure(FileError error, const char* what, const std::string& reason = {}) {
    std::string message = what;
    if (!reason.empty()) message += ": " + reason;
    return {error, std::move(message)};
}

std::string reasonFor(int errorNumber) {
    return errorNumber != 0 ? std::generic_category().message(errorNumber) : std::string{};
}

// The temporary file sits beside the target so that the rename stays within one file system.
// Its name is not one that exists already, so nobody's file is overwritten on the way.
std::string unusedTemporaryName(const std::string& path) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        std::string candidate = path + ".tmp";
        if (attempt > 0) candidate += std::to_string(attempt);
        std::error_code ec;
        // An error here (a missing directory, say) is left for the open to report.
        if (!fs::exists(fs::path(candidate), ec)) return candidate;
    }
    return {};
}

} // namespace

FileResult writeFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes) {
    try {
        if (path.empty()) return failure(FileError::CannotCreate, "cannot create the file");
        const std::string temporary = unusedTemporaryName(path);
        if (temporary.empty())
            return failure(FileError::CannotCreate, "cannot create a temporary file");
        // Made before the file exists: nothing between open and clean-up may throw.
        const fs::path temporaryPath(temporary);
        const fs::path targetPath(path);

        std::FILE* file = std::fopen(temporary.c_str(), "wb");
        if (file == nullptr)
            return failure(FileError::CannotCreate, "cannot create the file", reasonFor(errno));

        // A short write, a failed flush or a failed close all mean the data may not be on disk.
        bool failed = false;
        int errorNumber = 0;
        auto note = [&](bool callFailed) {
            if (callFailed && !failed) {
                failed = true;
                errorNumber = errno;
            }
        };
        errno = 0;
        if (!bytes.empty()) note(std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size());
        note(std::fflush(file) != 0);
        note(std::fclose(file) != 0);

        std::error_code ignored;
        if (failed) {
            fs::remove(temporaryPath, ignored);
            return failure(FileError::CannotWrite, "cannot write the file",
                           reasonFor(errorNumber));
        }

        std::error_code renameError;
        fs::rename(temporaryPath, targetPath, renameError);
        if (renameError) {
            fs::remove(temporaryPath, ignored);
            return failure(FileError::CannotReplace, "cannot replace the file",
                           renameError.message());
        }
        return {};
    } catch (const std::bad_alloc&) {
        // Both texts are short enough to be stored without allocating.
        return {FileError::OutOfMemory, "out of memory"};
    } catch (const std::exception&) {
        // A name the platform cannot convert; thrown before any file was made.
        return {FileError::CannotCreate, "bad file name"};
    }
}
