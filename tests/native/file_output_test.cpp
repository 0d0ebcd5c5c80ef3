#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "file_test_support.h"
#include "imagefiles/file_output.h"

namespace {
namespace fs = std::filesystem;

const Bytes kPicture = {'B', 'M', 0x00, 0x01, 0xFE, 0xFF, '\n', '\r'};

class FileOutput : public ScratchFolder {};

TEST_F(FileOutput, WritesTheBytesUnderTheNameAndNothingElse) {
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {{"frame.bmp", kPicture}, {"empty.bmp", {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FileResult result = writeFileReplacing((dir / c.name).string(), c.bytes);
        ASSERT_TRUE(result.ok()) << result.message;
        EXPECT_TRUE(result.message.empty());
        EXPECT_EQ(readFile(dir / c.name), c.bytes);
    }
    EXPECT_EQ(entries(), (std::set<std::string>{"frame.bmp", "empty.bmp"}));
}

TEST_F(FileOutput, ReplacesAnExistingFile) {
    const fs::path path = dir / "frame.bmp";
    writeText(path, "an older picture, longer than the new one");

    const FileResult result = writeFileReplacing(path.string(), kPicture);

    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(readFile(path), kPicture);
    EXPECT_EQ(entries(), std::set<std::string>{"frame.bmp"});
}

TEST_F(FileOutput, UnreachablePlaceFailsToCreateAndLeavesNothing) {
    writeText(dir / "plain.txt", "not a folder");
    for (const std::string& path : {(dir / "missing/frame.bmp").string(),
                                    (dir / "plain.txt/frame.bmp").string(), std::string{}}) {
        SCOPED_TRACE(path);
        const FileResult result = writeFileReplacing(path, kPicture);
        EXPECT_EQ(result.error, FileError::CannotCreate);
        EXPECT_NE(result.message.find("cannot create"), std::string::npos) << result.message;
    }
    EXPECT_EQ(entries(), std::set<std::string>{"plain.txt"});
    EXPECT_EQ(readText(dir / "plain.txt"), "not a folder");
}

TEST_F(FileOutput, TargetThatIsAFolderIsNotReplaced) {
    fs::create_directory(dir / "frame.bmp");
    writeText(dir / "frame.bmp" / "inside.txt", "kept");

    const FileResult result = writeFileReplacing((dir / "frame.bmp").string(), kPicture);

    EXPECT_EQ(result.error, FileError::CannotReplace);
    EXPECT_NE(result.message.find("cannot replace"), std::string::npos) << result.message;
    EXPECT_EQ(entries(), std::set<std::string>{"frame.bmp"});
    EXPECT_TRUE(fs::is_directory(dir / "frame.bmp"));
    EXPECT_EQ(readText(dir / "frame.bmp" / "inside.txt"), "kept");
}

// Makes writes to regular files fail past `bytes`, as a full disk would, even for root; a write
// past the limit then fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        active = getrlimit(RLIMIT_FSIZE, &saved) == 0;
        if (active) {
            rlimit limit = saved;
            limit.rlim_cur = bytes;
            active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
    }
    ~FileSizeLimit() {
        if (active) setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active = false;

  private:
    rlimit saved{};
    void (*savedHandler)(int) = SIG_DFL;
};

TEST_F(FileOutput, FailedWriteIsReportedAndKeepsTheExistingFile) {
    const fs::path path = dir / "frame.bmp";
    writeText(path, "the previous picture");
    const Bytes big(64 * 1024, 0x5A);

    FileResult result;
    bool limited = false;
    {
        const FileSizeLimit limit(4096);
        limited = limit.active;
        if (limited) result = writeFileReplacing(path.string(), big);
    }

    ASSERT_TRUE(limited) << "could not limit the file size";
    EXPECT_EQ(result.error, FileError::CannotWrite);
    EXPECT_NE(result.message.find("cannot write"), std::string::npos) << result.message;
    EXPECT_EQ(readText(path), "the previous picture");
    EXPECT_EQ(entries(), std::set<std::string>{"frame.bmp"});
}

} // namespace
