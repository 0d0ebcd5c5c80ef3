#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

// The platform's part of writeFileReplacing: one file under a name the caller chooses, written,
// flushed to disk, then renamed over its target or removed.
//  - It is created exclusively: never over an existing file, never through a symbolic link.
//  - Whatever was created and not renamed is removed when the object goes. On POSIX it is also
//    removed when a signal ends the process meanwhile: every signal whose default action ends it
//    and that can be caught (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, the
//    real-time signals, the fault signals...), those of them that still have their default
//    action; the signal then ends the process as it would have. SIGXFSZ is ignored meanwhile, so
//    that a file-size limit fails the write instead of ending the process.
//  - On POSIX the handlers know one name, so a process has one at a time: a second object waits
//    in create() until the first is gone.
class TemporaryFile {
  public:
    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the file; std::errc::file_exists when the name is taken, after which create() may
    // be called again with another name. Throws only std::bad_alloc, and only before the file
    // exists.
    [[nodiscard]] std::error_code create(const std::filesystem::path& path);
    // Writes all of `bytes`.
    [[nodiscard]] std::error_code write(std::span<const std::uint8_t> bytes);
    // Flushes the file to disk and closes it; the file stays until it is renamed or the object
    // goes.
    [[nodiscard]] std::error_code close();
    // Renames the closed file to `target`, replacing what is there; it is then no longer removed.
    [[nodiscard]] std::error_code renameTo(const std::filesystem::path& target);

  private:
    // The platform's calls: one write (the count written, or -1 with errno set), flushing to disk
    // and closing (0, or -1 with errno set).
    static long writeOnce(int fd, std::span<const std::uint8_t> bytes);
    static int flushToDisk(int fd);
    static int closeFile(int fd);

    std::filesystem::path path_;
    int fd_ = -1;
    bool exists_ = false;   // created, and neither renamed nor removed
    bool guarding_ = false; // POSIX: holds the process's turn and has set up the signals
};
