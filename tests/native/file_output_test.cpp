#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "file_test_support.h"
#include "imagefiles/file_output.h"
#include "imagefiles/temporary_file.h"

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

// Runs `body` in a child process and returns its status as waitpid gives it; the body's result
// is the child's exit code. For what would end or change the test process itself: signals,
// resource limits, other writers.
int statusOfChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    int status = -1;
    if (child < 0 || ::waitpid(child, &status, 0) != child) ADD_FAILURE() << "no child process";
    return status;
}

bool hasDefaultAction(int signal) {
    struct sigaction action {};
    return ::sigaction(signal, nullptr, &action) == 0 && (action.sa_flags & SA_SIGINFO) == 0 &&
           action.sa_handler == SIG_DFL;
}

// Exit codes of a child that checks a write under a file-size limit.
enum LimitedWriteOutcome { kAsExpected, kNoLimit, kNotCannotWrite, kNoReason, kSignalNotGivenBack };

TEST_F(FileOutput, WriteOverAFileSizeLimitFailsAndKeepsTheExistingFile) {
    const fs::path path = dir / "frame.bmp";
    writeText(path, "the previous picture");
    const Bytes big(64 * 1024, 0x5A);

    // SIGXFSZ keeps its default action, which would end the process.
    const int status = statusOfChild([&] {
        rlimit limit{};
        if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) return kNoLimit;
        limit.rlim_cur = 4096;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return kNoLimit;
        const FileResult result = writeFileReplacing(path.string(), big);
        if (result.error != FileError::CannotWrite) return kNotCannotWrite;
        if (result.message != "cannot write the file: " + std::generic_category().message(EFBIG))
            return kNoReason;
        if (!hasDefaultAction(SIGXFSZ)) return kSignalNotGivenBack;
        return kAsExpected;
    });

    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), kAsExpected);
    EXPECT_EQ(readText(path), "the previous picture");
    EXPECT_EQ(entries(), std::set<std::string>{"frame.bmp"});
}

TEST_F(FileOutput, PlantedLinksAtOldTemporaryNamesAreNotWrittenThrough) {
    writeText(dir / "victim.txt", "kept");
    fs::create_symlink(dir / "victim.txt", dir / "frame.bmp.tmp");
    fs::create_symlink(dir / "made-through-link", dir / "frame.bmp.tmp1");

    const FileResult result = writeFileReplacing((dir / "frame.bmp").string(), kPicture);

    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(readFile(dir / "frame.bmp"), kPicture);
    EXPECT_EQ(readText(dir / "victim.txt"), "kept");
    EXPECT_EQ(entries(), (std::set<std::string>{"frame.bmp", "frame.bmp.tmp", "frame.bmp.tmp1",
                                                "victim.txt"}));
}

TEST_F(FileOutput, LeftoversOfOtherRunsNeitherBlockNorAreTouched) {
    std::set<std::string> leftovers = {"frame.bmp.tmp", ".vex.tmp", ".vexAAAAAA.tmp",
                                       ".vex000000.tmp", ".vexzzzzzz.tmp"};
    for (int n = 1; n < 100; ++n)
        leftovers.insert("frame.bmp.tmp" + std::to_string(n));
    for (const std::string& name : leftovers)
        writeText(dir / name, name);

    const FileResult result = writeFileReplacing((dir / "frame.bmp").string(), kPicture);

    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(readFile(dir / "frame.bmp"), kPicture);
    std::set<std::string> expected = leftovers;
    expected.insert("frame.bmp");
    EXPECT_EQ(entries(), expected);
    for (const std::string& name : leftovers)
        EXPECT_EQ(readText(dir / name), name);
}

TEST_F(FileOutput, LongestNameTheFolderTakesIsWritten) {
    const long longest = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    ASSERT_GT(longest, 4);
    const std::string name = std::string(static_cast<std::size_t>(longest) - 4, 'n') + ".bmp";

    const FileResult result = writeFileReplacing((dir / name).string(), kPicture);

    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(readFile(dir / name), kPicture);
    EXPECT_EQ(entries(), std::set<std::string>{name});
}

TEST_F(FileOutput, WritersAtTheSameTimeEachLeaveACompleteFile) {
    constexpr int kWriters = 8, kRounds = 4;
    const fs::path path = dir / "frame.bmp";
    std::vector<Bytes> contents;
    for (int writer = 0; writer < kWriters; ++writer)
        contents.emplace_back(256 * 1024, static_cast<std::uint8_t>('a' + writer));

    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        std::vector<pid_t> children;
        for (const Bytes& content : contents) {
            const pid_t child = ::fork();
            if (child == 0) ::_exit(writeFileReplacing(path.string(), content).ok() ? 0 : 1);
            ASSERT_GT(child, 0);
            children.push_back(child);
        }
        for (pid_t child : children) {
            int status = -1;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        }
        const Bytes written = readFile(path);
        EXPECT_NE(std::find(contents.begin(), contents.end(), written), contents.end())
            << written.size() << " bytes, not one writer's whole file";
        EXPECT_EQ(entries(), std::set<std::string>{"frame.bmp"});
    }
}

// Every signal whose default action ends the process and that a handler can catch, as POSIX
// and Linux define them, and the real-time signals.
std::vector<int> endingSignals() {
    std::vector<int> signals = {SIGHUP,  SIGINT,    SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
                                SIGFPE,  SIGUSR1,   SIGSEGV, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,
                                SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS,  SIGIO,   SIGPWR,  SIGSTKFLT};
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        signals.push_back(signal);
    return signals;
}

// The same handler, or the same default or ignoring (the C library may add flags of its own
// when an action is set again).
bool sameAction(const struct sigaction& a, const struct sigaction& b) {
    const bool info = (a.sa_flags & SA_SIGINFO) != 0;
    return info == ((b.sa_flags & SA_SIGINFO) != 0) &&
           (info ? a.sa_sigaction == b.sa_sigaction : a.sa_handler == b.sa_handler);
}

TEST_F(FileOutput, SignalsAreGivenBackAfterAWrite) {
    // Whatever they were set to before (a sanitizer handles some of them), they are again after.
    std::vector<int> signals = endingSignals();
    signals.push_back(SIGXFSZ);
    std::vector<struct sigaction> before(signals.size());
    for (std::size_t k = 0; k < signals.size(); ++k)
        ASSERT_EQ(::sigaction(signals[k], nullptr, &before[k]), 0);
    ASSERT_TRUE(writeFileReplacing((dir / "frame.bmp").string(), kPicture).ok());
    ASSERT_FALSE(writeFileReplacing((dir / "missing/frame.bmp").string(), kPicture).ok());
    for (std::size_t k = 0; k < signals.size(); ++k) {
        struct sigaction after {};
        ASSERT_EQ(::sigaction(signals[k], nullptr, &after), 0);
        EXPECT_TRUE(sameAction(before[k], after)) << "signal " << signals[k];
    }
}

TEST_F(FileOutput, ALinkedTargetStaysALinkAndTheFileItNamesIsReplaced) {
    fs::create_directory(dir / "elsewhere");
    struct Case {
        const char* name;
        fs::path link;     // the target given
        fs::path linksTo;  // what the link holds
        fs::path replaced; // the file that must get the bytes
    };
    const Case cases[] = {
        {"a link beside its file", dir / "beside.bmp", "beside-file.bmp", dir / "beside-file.bmp"},
        {"a link into another folder", dir / "into.bmp", "elsewhere/into-file.bmp",
         dir / "elsewhere" / "into-file.bmp"},
        {"a link by its full path", dir / "full.bmp", dir / "elsewhere" / "full-file.bmp",
         dir / "elsewhere" / "full-file.bmp"},
        {"a link to a link", dir / "twice.bmp", "beside.bmp", dir / "beside-file.bmp"},
        {"a link to no file yet", dir / "dangling.bmp", "elsewhere/new.bmp",
         dir / "elsewhere" / "new.bmp"},
    };
    for (const Case& c : cases)
        if (c.replaced.filename() != "new.bmp") writeText(c.replaced, "the earlier picture");
    for (const Case& c : cases)
        fs::create_symlink(c.linksTo, c.link);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes picture{'B', 'M', static_cast<std::uint8_t>(c.link.filename().string()[0])};
        const FileResult result = writeFileReplacing(c.link, picture);
        ASSERT_TRUE(result.ok()) << result.message;
        EXPECT_TRUE(fs::is_symlink(c.link));
        EXPECT_EQ(fs::read_symlink(c.link), c.linksTo);
        EXPECT_EQ(readFile(c.replaced), picture);
    }
    // Nothing else was made in either folder.
    EXPECT_EQ(entries(),
              (std::set<std::string>{"beside.bmp", "beside-file.bmp", "into.bmp", "full.bmp",
                                     "twice.bmp", "dangling.bmp", "elsewhere"}));
    std::set<std::string> elsewhere;
    for (const auto& entry : fs::directory_iterator(dir / "elsewhere"))
        elsewhere.insert(entry.path().filename().string());
    EXPECT_EQ(elsewhere, (std::set<std::string>{"into-file.bmp", "full-file.bmp", "new.bmp"}));
}

TEST_F(FileOutput, LinksInALoopFailAndLeaveEverythingAsItWas) {
    fs::create_symlink("b.bmp", dir / "a.bmp");
    fs::create_symlink("a.bmp", dir / "b.bmp");

    const FileResult result = writeFileReplacing(dir / "a.bmp", kPicture);

    EXPECT_EQ(result.error, FileError::CannotCreate);
    EXPECT_EQ(result.message,
              "cannot create the file: " +
                  std::make_error_code(std::errc::too_many_symbolic_link_levels).message());
    EXPECT_EQ(entries(), (std::set<std::string>{"a.bmp", "b.bmp"}));
    EXPECT_EQ(fs::read_symlink(dir / "a.bmp"), "b.bmp");
}

TEST_F(FileOutput, AWritableFileInAReadOnlyFolderSaysTheFolderMustBeWritable) {
    fs::create_directory(dir / "locked");
    writeText(dir / "locked" / "frame.bmp", "the earlier picture");
    fs::permissions(dir / "locked" / "frame.bmp", fs::perms::all);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec |
                             fs::perms::group_read | fs::perms::group_exec);
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec |
                                        fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    // Permissions do not hold back the superuser: the write is tried as another user then.
    constexpr uid_t kNobody = 65534;
    std::string message;
    const int status = statusOfChild([&] {
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) return 2;
        const FileResult result = writeFileReplacing(dir / "locked" / "frame.bmp", kPicture);
        if (result.error != FileError::CannotCreate) return 3;
        const std::string expected =
            "cannot create a file in the folder (" +
            std::make_error_code(std::errc::permission_denied).message() +
            "): the file is replaced safely, by a new file written beside it and renamed over "
            "it, so its folder must be writable";
        return result.message == expected ? 0 : 4;
    });
    fs::permissions(dir / "locked", fs::perms::owner_all);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: no other user, 3: another error, 4: another message";
    EXPECT_EQ(readText(dir / "locked" / "frame.bmp"), "the earlier picture");
    std::set<std::string> locked;
    for (const auto& entry : fs::directory_iterator(dir / "locked"))
        locked.insert(entry.path().filename().string());
    EXPECT_EQ(locked, std::set<std::string>{"frame.bmp"});
}

// ---- the temporary file itself -------------------------------------------------------------

class TemporaryFileTest : public ScratchFolder {};

TEST_F(TemporaryFileTest, IsNeverMadeOverAnExistingNameOrThroughALink) {
    writeText(dir / "existing.tmp", "someone else's");
    fs::create_symlink(dir / "existing.tmp", dir / "link.tmp");
    fs::create_symlink(dir / "made-through-link", dir / "dangling.tmp");
    for (const char* name : {"existing.tmp", "link.tmp", "dangling.tmp"}) {
        SCOPED_TRACE(name);
        TemporaryFile file;
        EXPECT_EQ(file.create(dir / name), std::errc::file_exists);
    }
    // Nothing was written or removed on the way.
    EXPECT_EQ(entries(), (std::set<std::string>{"existing.tmp", "link.tmp", "dangling.tmp"}));
    EXPECT_EQ(readText(dir / "existing.tmp"), "someone else's");
}

TEST_F(TemporaryFileTest, EveryEndingSignalRemovesItAndStillEndsTheProcess) {
    writeText(dir / ".vexother.tmp", "another run's");
    writeText(dir / "frame.bmp", "the earlier picture");
    const Bytes large(16 << 20, 0x5A);
    for (int signal : endingSignals()) {
        SCOPED_TRACE(std::string("signal ") + std::to_string(signal) + " " + ::strsignal(signal));
        // The child says when its file is written, then waits to be ended from outside.
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(ready[0]);
            // Its default action, as a program that sets up none has it (a sanitizer handles
            // some); and no core file for the signals that would write one.
            ::signal(signal, SIG_DFL);
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            TemporaryFile file;
            if (file.create(dir / ".vexours.tmp") || file.write(large)) ::_exit(1);
            if (::write(ready[1], "w", 1) != 1) ::_exit(1);
            for (;;)
                ::pause();
        }
        ASSERT_GT(child, 0);
        ::close(ready[1]);
        char written = 0;
        const bool wrote = ::read(ready[0], &written, 1) == 1;
        ::close(ready[0]);
        if (wrote) ::kill(child, signal);
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(wrote) << "the child could not write its file";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
        EXPECT_EQ(entries(), (std::set<std::string>{".vexother.tmp", "frame.bmp"}));
        EXPECT_EQ(readText(dir / "frame.bmp"), "the earlier picture");
    }
}

TEST_F(TemporaryFileTest, SignalThatTheProgramIgnoresStaysIgnored) {
    const int status = statusOfChild([&] {
        ::signal(SIGTERM, SIG_IGN);
        {
            TemporaryFile file;
            if (file.create(dir / ".vexours.tmp")) return 1;
            ::raise(SIGTERM);
            if (!fs::exists(dir / ".vexours.tmp")) return 2;
        }
        struct sigaction action {};
        ::sigaction(SIGTERM, nullptr, &action);
        return action.sa_handler == SIG_IGN ? 0 : 3;
    });
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(entries().empty());
}

} // namespace
