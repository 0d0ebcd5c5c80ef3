#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <system_error>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string readText(const std::filesystem::path& path) {
    const Bytes b = readFile(path);
    return std::string(b.begin(), b.end());
}

// An empty folder of the test's own, removed with all it holds after the test.
class ScratchFolder : public testing::Test {
  protected:
    void SetUp() override {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::path(testing::TempDir()) /
              ("vexarond-" + std::string(test->test_suite_name()) + "-" + test->name() + "-" +
               std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // The names in the folder, so a test sees any file left behind.
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            names.insert(entry.path().filename().string());
        return names;
    }

    std::filesystem::path dir;
};

// A named pipe that a child process fills with `bytes` and then with zeros for as long as anyone
// reads; the child is ended with the object.
class EndlessPipe {
  public:
    EndlessPipe(const std::filesystem::path& path, const Bytes& bytes) {
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        writer_ = ::fork();
        if (writer_ != 0) return;
        ::signal(SIGPIPE, SIG_DFL);
        const int fd = ::open(path.c_str(), O_WRONLY);
        if (fd < 0) ::_exit(1);
        const auto writeAll = [fd](const std::uint8_t* data, std::size_t size) {
            while (size > 0) {
                const ssize_t written = ::write(fd, data, size);
                if (written <= 0) ::_exit(0); // the reader has gone
                data += written, size -= static_cast<std::size_t>(written);
            }
        };
        writeAll(bytes.data(), bytes.size());
        static const std::uint8_t kZeros[65536] = {};
        for (;;)
            writeAll(kZeros, sizeof kZeros);
    }
    ~EndlessPipe() {
        ::kill(writer_, SIGKILL);
        ::waitpid(writer_, nullptr, 0);
    }
    EndlessPipe(const EndlessPipe&) = delete;
    EndlessPipe& operator=(const EndlessPipe&) = delete;

  private:
    pid_t writer_ = -1;
};
