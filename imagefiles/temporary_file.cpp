#include "temporary_file.h"

#include <cerrno>
#include <cstddef>

namespace {
std::error_code lastError() {
    return {errno, std::generic_category()};
}
} // namespace

std::error_code TemporaryFile::write(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const long written = writeOnce(fd_, bytes);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return lastError();
        if (written == 0) return std::make_error_code(std::errc::io_error);
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return {};
}

std::error_code TemporaryFile::close() {
    std::error_code error;
    if (flushToDisk(fd_) != 0) error = lastError();
    if (closeFile(fd_) != 0 && !error) error = lastError();
    fd_ = -1;
    return error;
}
