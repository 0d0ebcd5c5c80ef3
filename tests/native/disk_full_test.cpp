// Writing to a file system that fills up: a tmpfs of a few pages, mounted over the test's folder
// in a child process with a mount namespace of its own, so that the mount goes away with the
// child however it ends and nobody else sees it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/frame_series.h"
#include "scene/scene_frames.h"
#include "file_test_support.h"
#include "imagefiles/jpeg_writer.h"
#include "imagefiles/numbered_frames.h"
#include "writer_test_support.h"

namespace {
namespace fs = std::filesystem;

const std::size_t kPage = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));

std::size_t pagesFor(std::size_t bytes) {
    return (bytes + kPage - 1) / kPage;
}

const std::string kNoSpace = "cannot write the file: " + std::generic_category().message(ENOSPC);

bool writeWhole(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<long>(text.size());
    return ::close(fd) == 0 && ok;
}

// A mount namespace of our own: as root directly, otherwise inside a user namespace where we
// are root (the child is single-threaded, as a new user namespace needs).
bool enterOwnMountNamespace() {
    if (::unshare(CLONE_NEWNS) == 0) return true;
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    return ::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 &&
           writeWhole("/proc/self/setgroups", "deny") &&
           writeWhole("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
           writeWhole("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

// What a check in the child found wrong, one line each; empty when all held.
using Findings = std::ostringstream;

// Runs `body` in a child with a tmpfs of `pages` pages mounted on `folder`. Returns what the
// body found wrong; sets `skipped` when no tmpfs could be mounted here.
std::string inFullFolder(const fs::path& folder, std::size_t pages,
                         const std::function<void(Findings&)>& body, std::string& skipped) {
    int channel[2];
    if (::pipe(channel) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::string report;
        int code = 0;
        const std::string options = "size=" + std::to_string(pages * kPage);
        if (!enterOwnMountNamespace() ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            report = std::string("no tmpfs can be mounted here: ") + std::strerror(errno);
            code = 2;
        } else {
            Findings findings;
            body(findings);
            report = findings.str();
        }
        const bool sent =
            ::write(channel[1], report.data(), report.size()) == static_cast<long>(report.size());
        ::_exit(sent ? code : 1);
    }
    ::close(channel[1]);
    if (child < 0) {
        ::close(channel[0]);
        return "no child process";
    }
    std::string report;
    char buffer[4096];
    for (long got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = -1;
    if (::waitpid(child, &status, 0) != child) return "the child was lost";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) {
        skipped = report;
        return {};
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return report + "the child ended with status " + std::to_string(status);
    return report;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

std::string listed(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += " " + name;
    return text.empty() ? " (nothing)" : text;
}

// A frame that JPEG cannot make small: every pixel different.
FrameImage noisyFrame() {
    FrameImage image;
    std::uint32_t state = 12345;
    for (std::uint32_t& p : image.pixels)
        p = (state = state * 1103515245 + 12345) >> 8 & 0xFFFFFF;
    return image;
}

class DiskFull : public ScratchFolder {};

TEST_F(DiskFull, JpegFileFailsWithNoSpaceAndLeavesNoPartOfItself) {
    FrameImage noisy = noisyFrame();
    const FrameView frame = noisy.view();
    Bytes encoded;
    ByteSink sink{encoded};
    ASSERT_TRUE(encodeJpeg(frame, 100, false, sink).ok());
    constexpr std::size_t kPages = 8;
    ASSERT_GT(encoded.size(), kPages * kPage) << "the file must not fit";

    struct Case {
        const char* what;
        bool earlierFile;
    };
    for (const Case c : {Case{"a new file", false}, Case{"over an earlier file", true}}) {
        SCOPED_TRACE(c.what);
        std::string skipped;
        const std::string findings = inFullFolder(
            dir, kPages,
            [&](Findings& found) {
                const fs::path path = dir / "frame.jpg";
                if (c.earlierFile) writeText(path, "the previous picture");
                const WriteResult result = writeFrame(path, frame, jpegSettings(100, false));
                if (result.fileError != FileError::CannotWrite || result.message != kNoSpace)
                    found << "the write gave '" << result.message << "'\n";
                const std::set<std::string> expected =
                    c.earlierFile ? std::set<std::string>{"frame.jpg"} : std::set<std::string>{};
                if (namesIn(dir) != expected)
                    found << "the folder holds" << listed(namesIn(dir)) << "\n";
                if (c.earlierFile && readText(path) != "the previous picture")
                    found << "the earlier file was changed\n";
            },
            skipped);
        if (!skipped.empty()) GTEST_SKIP() << skipped;
        EXPECT_EQ(findings, "");
    }
}

// The series stops at the frame that does not fit: the frames before it stay whole, that
// frame's file is not there, nor any after it.
TEST_F(DiskFull, CycleSeriesStopsAtTheFrameThatDoesNotFit) {
    FrameFileSettings settings;
    settings.format = ImageFormat::Jpeg;
    // Frame k as a single render k - 1 steps on from the start, in memory.
    std::vector<Bytes> expected;
    for (int steps = 0; steps < 3; ++steps) {
        auto scene = std::make_unique<Scene>();
        startScene(*scene);
        if (steps > 0) stepAnimation(*scene, +1, steps);
        FrameImage image;
        drawSceneFrame(*scene, image.view());
        Bytes bytes;
        ByteSink sink{bytes};
        ASSERT_TRUE(encodeJpeg(image.view(), 80, false, sink).ok());
        expected.push_back(std::move(bytes));
    }
    // Room for frames 1 and 2 and for all of frame 3 but its last page.
    ASSERT_GE(pagesFor(expected[2].size()), 2u);
    const std::size_t pages = pagesFor(expected[0].size()) + pagesFor(expected[1].size()) +
                              pagesFor(expected[2].size()) - 1;

    const std::string output = (dir / "flag.jpg").string();
    std::string skipped;
    const std::string findings = inFullFolder(
        dir, pages,
        [&](Findings& found) {
            auto scene = std::make_unique<Scene>();
            startScene(*scene);
            SceneFrames frames(*scene, {}, FrameRun::Capture, 1);
            const SeriesResult series = writeFrameSeries(output, settings, frames);
            if (series.failedName != (dir / "flag003.jpg").string())
                found << "the failed frame is '" << series.failedName << "'\n";
            if (series.written.fileError != FileError::CannotWrite ||
                series.written.message != kNoSpace)
                found << "the write gave '" << series.written.message << "'\n";
            if (namesIn(dir) != std::set<std::string>{"flag001.jpg", "flag002.jpg"})
                found << "the folder holds" << listed(namesIn(dir)) << "\n";
            for (int k = 0; k < 2; ++k)
                if (readFile(dir / ("flag00" + std::to_string(k + 1) + ".jpg")) != expected[k])
                    found << "frame " << k + 1 << " is not the single render\n";
        },
        skipped);
    if (!skipped.empty()) GTEST_SKIP() << skipped;
    EXPECT_EQ(findings, "");
    EXPECT_TRUE(fs::is_empty(dir)) << "the tmpfs went with the child";
}

} // namespace
