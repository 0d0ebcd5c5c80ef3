#include "temporary_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstddef>
#include <thread>

namespace {

constexpr int kRenameAttempts = 50;
constexpr std::chrono::milliseconds kRenamePause{10};

std::error_code lastError() {
    return {errno, std::generic_category()};
}

} // namespace

std::error_code TemporaryFile::create(const std::filesystem::path& path) {
    path_ = path;
    // _O_EXCL: CREATE_NEW underneath, which also refuses a symbolic link.
    const int fd =
        ::_wopen(path_.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
    if (fd < 0) return lastError();
    fd_ = fd;
    exists_ = true;
    return {};
}

long TemporaryFile::writeOnce(int fd, std::span<const std::uint8_t> bytes) {
    return ::_write(fd, bytes.data(),
                    static_cast<unsigned>(std::min<std::size_t>(bytes.size(), INT_MAX)));
}

int TemporaryFile::flushToDisk(int fd) {
    return ::_commit(fd);
}

int TemporaryFile::closeFile(int fd) {
    return ::_close(fd);
}

std::error_code TemporaryFile::renameTo(const std::filesystem::path& target) {
    // Unlike the C library's rename, this replaces an existing file. While another process
    // replaces or reads the same target, Windows refuses with "access denied" for a moment: the
    // rename is tried again for a while before that counts as the answer.
    std::error_code error;
    for (int attempt = 1; attempt <= kRenameAttempts; ++attempt) {
        std::filesystem::rename(path_, target, error);
        if (error != std::errc::permission_denied) break;
        std::this_thread::sleep_for(kRenamePause);
    }
    if (!error) exists_ = false;
    return error;
}

TemporaryFile::~TemporaryFile() {
    if (fd_ >= 0) closeFile(fd_);
    if (exists_) ::_wunlink(path_.c_str());
}
