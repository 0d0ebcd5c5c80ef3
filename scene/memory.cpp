#include "memory.h"

#include <algorithm>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#endif

#ifndef _WIN32
namespace {
// A small text file of the system's read into `buffer`, without allocating: the answer matters
// most when memory is short.
bool readSmallFile(const char* path, char (&buffer)[4096]) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t used = 0;
    while (used + 1 < sizeof buffer) {
        const ssize_t n = read(fd, buffer + used, sizeof buffer - 1 - used);
        if (n <= 0) break;
        used += static_cast<std::size_t>(n);
    }
    close(fd);
    buffer[used] = '\0';
    return used > 0;
}

// The number after `key` in the file, times `unit`; none when the key or the number is missing.
std::optional<std::uint64_t> numberAfter(const char* path, const char* key, std::uint64_t unit) {
    char text[4096];
    if (!readSmallFile(path, text)) return std::nullopt;
    const char* at = std::strstr(text, key);
    if (!at) return std::nullopt;
    at += std::strlen(key);
    while (*at == ' ' || *at == '\t' || *at == ':')
        ++at;
    if (*at < '0' || *at > '9') return std::nullopt; // "max" and the like: no limit
    return std::strtoull(at, nullptr, 10) * unit;
}

// What a limit of `limit` bytes leaves beside `used` bytes, or none without a limit.
std::optional<std::uint64_t> leftUnder(std::optional<std::uint64_t> limit,
                                       std::optional<std::uint64_t> used) {
    if (!limit || !used) return std::nullopt;
    return *limit > *used ? *limit - *used : 0;
}
} // namespace
#endif

std::optional<std::uint64_t> availableMemoryBytes() {
#ifdef _WIN32
    return std::nullopt; // a failed allocation tells: Windows commits memory when it is taken
#else
    std::optional<std::uint64_t> best = numberAfter("/proc/meminfo", "MemAvailable:", 1024);
    const auto tighten = [&best](std::optional<std::uint64_t> bound) {
        if (bound) best = best ? std::min(*best, *bound) : *bound;
    };
    rlimit space{};
    if (getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY) {
        const long page = sysconf(_SC_PAGESIZE);
        // The first number of statm is the address space in use, in pages.
        tighten(leftUnder(space.rlim_cur,
                          numberAfter("/proc/self/statm", "", static_cast<std::uint64_t>(page))));
    }
    tighten(leftUnder(numberAfter("/sys/fs/cgroup/memory.max", "", 1),
                      numberAfter("/sys/fs/cgroup/memory.current", "", 1)));
    return best;
#endif
}
