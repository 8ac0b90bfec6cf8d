// The POSIX backend's own rules: which part of a path is shown, and the
// read-ahead reader's slicing of a file into the Digester's chunks.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace {

TEST(FinalComponent, IsTheTextAfterTheLastSlashWithATrailingSlashKept) {
    const std::pair<const char*, const char*> cases[] = {
        {"name.bin", "name.bin"}, {"/abs/dir/name.bin", "name.bin"}, {"dir/", "dir/"},
        {"a/b/", "b/"},           {"a/b//", "b//"},                  {"/", "/"},
        {"//", "/"},              {"", ""},                          {"a//b", "b"},
        {"/x", "x"},
    };
    for (const auto& [path, shown] : cases) {
        EXPECT_STREQ(platform::FinalComponent(path), shown) << "path: " << path;
    }
}

class Reader : public testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        path_ = std::string(tmp != nullptr ? tmp : "/tmp") + "/md5digest-reader-XXXXXX";
        const int fd = mkstemp(path_.data());
        ASSERT_GE(fd, 0);
        close(fd);
    }
    void TearDown() override { unlink(path_.c_str()); }

    void Write(const std::string& content) {
        const int fd = open(path_.c_str(), O_WRONLY | O_TRUNC);
        ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
        close(fd);
    }

    // Reads the whole file in `chunk`-byte requests, as the Digester does.
    std::string ReadBack(std::uint32_t chunk, std::size_t* calls) {
        std::string out;
        const platform::FileHandle file = platform::OpenForSequentialRead(path_.c_str());
        EXPECT_NE(file, platform::kInvalidFile);
        std::uint8_t buffer[4096];
        std::uint32_t got = 0;
        *calls = 0;
        while (platform::ReadChunk(file, buffer, chunk, &got) && got > 0) {
            EXPECT_LE(got, chunk);
            out.append(reinterpret_cast<const char*>(buffer), got);
            ++*calls;
        }
        // The end stays the end.
        EXPECT_TRUE(platform::ReadChunk(file, buffer, chunk, &got));
        EXPECT_EQ(got, 0u);
        platform::CloseFile(file);
        return out;
    }

    std::string path_;
};

TEST_F(Reader, ServesEveryByteOnceInOrderAcrossBufferRefills) {
    std::string content(300 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i % 251);
    }
    Write(content);
    std::size_t calls = 0;
    EXPECT_EQ(ReadBack(1024, &calls), content);
    EXPECT_EQ(calls, (content.size() + 1023) / 1024);  // full chunks until the last
    EXPECT_EQ(ReadBack(1000, &calls), content);         // chunks that straddle refills
}

TEST_F(Reader, EmptyFileEndsAtOnce) {
    std::size_t calls = 0;
    EXPECT_EQ(ReadBack(1024, &calls), "");
    EXPECT_EQ(calls, 0u);
}

TEST(Open, FailuresLeaveTheirErrnoAsTheLastError) {
    EXPECT_EQ(platform::OpenForSequentialRead("/nonexistent-dir/x"), platform::kInvalidFile);
    EXPECT_EQ(platform::LastError(), static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(platform::OpenForSequentialRead("/"), platform::kInvalidFile);
    EXPECT_EQ(platform::LastError(), static_cast<std::uint32_t>(EISDIR));
    platform::CloseFile(platform::kInvalidFile);  // releasing nothing is harmless
}

TEST(ExitStatus, CarriesTheCodeAndNeverTurnsAFailureIntoSuccess) {
    EXPECT_EQ(platform::ToExitStatus(0), 0);
    EXPECT_EQ(platform::ToExitStatus(2), 2);
    EXPECT_EQ(platform::ToExitStatus(256), 255);  // not 0, as a plain truncation would give
    EXPECT_EQ(platform::ToExitStatus(0xFFFFFFFF), 255);
}

}  // namespace
