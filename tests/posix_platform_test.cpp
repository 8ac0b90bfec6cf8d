// The POSIX backend's own rules: which part of a path is shown, how a
// failed open is reported, and how a code becomes an exit status. The
// reader's slicing is checked end to end by the black-box digests.
#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

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
