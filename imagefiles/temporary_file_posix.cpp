#include "temporary_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <mutex>

namespace {

// Every signal whose default action ends the process and that a handler can catch (all but
// SIGKILL): those that end it with a core file too, the fault signals among them (sent by kill,
// or a crash while the file exists), and the real-time signals. SIGXFSZ is ignored meanwhile
// instead (below). SIGIO, SIGPWR and SIGSTKFLT end a process by default on Linux only.
constexpr int kFixedEndingSignals[] = {
    SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE,  SIGUSR1,
    SIGSEGV, SIGUSR2, SIGPIPE,   SIGALRM, SIGTERM, SIGVTALRM, SIGPROF, SIGXCPU, SIGSYS,
#if defined(__linux__)
    SIGIO,   SIGPWR,  SIGSTKFLT,
#endif
};
constexpr std::size_t kMostEndingSignals = 96;

// The list above and the real-time signals, whose numbers the C library only knows at run time.
struct EndingSignals {
    int list[kMostEndingSignals];
    std::size_t count = 0;
    sigset_t set;

    EndingSignals() {
        sigemptyset(&set);
        for (int signal : kFixedEndingSignals)
            add(signal);
#if defined(SIGRTMIN) && defined(SIGRTMAX)
        for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
            add(signal);
#endif
    }
    void add(int signal) {
        if (count == kMostEndingSignals) return;
        list[count++] = signal;
        sigaddset(&set, signal);
    }
};

const EndingSignals& endingSignals() {
    static const EndingSignals signals;
    return signals;
}

// What the signal handler reads. The name is in static memory and the flag is lock-free, since a
// handler may use nothing else; one turn at a time keeps them to one file.
std::mutex gTurn;
char gPath[PATH_MAX];
std::atomic<bool> gPathIsOurs{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct sigaction gSavedEnding[kMostEndingSignals];
bool gHandling[kMostEndingSignals];
struct sigaction gSavedFileSize;
bool gIgnoringFileSize = false;

std::error_code lastError() {
    return {errno, std::generic_category()};
}

extern "C" void removeTemporaryFileAndEnd(int signal) {
    if (gPathIsOurs.load()) ::unlink(gPath);
    // SA_RESETHAND has restored the default action: the signal ends the process as it would
    // have without us, once this handler returns.
    ::raise(signal);
}

bool hasDefaultAction(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_DFL;
}

// Only signals left at their default action are taken over: one the program ignores or handles
// itself stays as it is.
void takeOverSignals() {
    const EndingSignals& ending = endingSignals();
    struct sigaction remove {};
    remove.sa_handler = removeTemporaryFileAndEnd;
    remove.sa_mask = ending.set;
    remove.sa_flags = SA_RESETHAND;
    for (std::size_t i = 0; i < ending.count; ++i)
        gHandling[i] = sigaction(ending.list[i], nullptr, &gSavedEnding[i]) == 0 &&
                       hasDefaultAction(gSavedEnding[i]) &&
                       sigaction(ending.list[i], &remove, nullptr) == 0;

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    gIgnoringFileSize = sigaction(SIGXFSZ, nullptr, &gSavedFileSize) == 0 &&
                        hasDefaultAction(gSavedFileSize) &&
                        sigaction(SIGXFSZ, &ignore, nullptr) == 0;
}

void giveBackSignals() {
    const EndingSignals& ending = endingSignals();
    for (std::size_t i = 0; i < ending.count; ++i)
        if (gHandling[i]) sigaction(ending.list[i], &gSavedEnding[i], nullptr);
    if (gIgnoringFileSize) sigaction(SIGXFSZ, &gSavedFileSize, nullptr);
}

// Holds back the ending signals on this thread while the file and the handler's record of it
// change together, so that the handler never misses our file nor removes a name that is no
// longer ours.
class HeldSignals {
  public:
    HeldSignals() { pthread_sigmask(SIG_BLOCK, &endingSignals().set, &saved_); }
    ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

  private:
    sigset_t saved_;
};

} // namespace

std::error_code TemporaryFile::create(const std::filesystem::path& path) {
    if (path.native().size() >= sizeof gPath)
        return std::make_error_code(std::errc::filename_too_long);
    path_ = path;
    if (!guarding_) {
        gTurn.lock();
        takeOverSignals();
        guarding_ = true;
    }

    const HeldSignals held;
    std::memcpy(gPath, path_.c_str(), path_.native().size() + 1);
    // O_EXCL also refuses a symbolic link, even one that points nowhere.
    const int fd = ::open(gPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return lastError();
    fd_ = fd;
    exists_ = true;
    gPathIsOurs.store(true);
    return {};
}

long TemporaryFile::writeOnce(int fd, std::span<const std::uint8_t> bytes) {
    return ::write(fd, bytes.data(), bytes.size());
}

int TemporaryFile::flushToDisk(int fd) {
    return ::fsync(fd);
}

int TemporaryFile::closeFile(int fd) {
    return ::close(fd);
}

std::error_code TemporaryFile::renameTo(const std::filesystem::path& target) {
    const HeldSignals held;
    if (::rename(path_.c_str(), target.c_str()) != 0) return lastError();
    exists_ = false;
    gPathIsOurs.store(false);
    return {};
}

TemporaryFile::~TemporaryFile() {
    if (fd_ >= 0) closeFile(fd_);
    if (exists_) {
        const HeldSignals held;
        ::unlink(path_.c_str());
        gPathIsOurs.store(false);
    }
    if (guarding_) {
        giveBackSignals();
        gTurn.unlock();
    }
}
