// The command front end over the scripted platform.
#include "cli/entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/display_name.h"
#include "fake_platform.h"

namespace {

using Strings = std::vector<std::string>;

// Runs the command with `args` after the program's name (or none at all
// when `withProgramName` is false), in a vector ending with null.
std::uint32_t RunWith(const fake::Script& script, const Strings& args, bool withProgramName = true) {
    fake::Reset(script);
    std::vector<platform::NativeString> storage;
    if (withProgramName) {
        storage.push_back(fake::Native("md5digest"));
    }
    for (const std::string& arg : args) {
        storage.push_back(fake::Native(arg));
    }
    std::vector<const platform::NativeChar*> argv;
    for (const auto& s : storage) {
        argv.push_back(s.c_str());
    }
    argv.push_back(nullptr);
    const std::uint32_t status = RunCommand(argv.data());
    if (!args.empty()) {
        EXPECT_EQ(fake::ReleaseProblems(), "");
    }
    return status;
}

TEST(Entry, NoPathPrintsUsageAndNeverSucceeds) {
    fake::Script script;
    EXPECT_EQ(RunWith(script, {}), platform::kInvalidArgument);
    EXPECT_EQ(fake::Lines(), Strings({"Program usage: Command [File Path]"}));
    EXPECT_EQ(fake::Calls().front(), "LastError");  // read before the line is written

    script.lastErrorAtStart = 1400;
    EXPECT_EQ(RunWith(script, {}), 1400u);

    // A vector without even the program's name: nothing past its end is read.
    EXPECT_EQ(RunWith(script, {}, false), 1400u);
    EXPECT_EQ(fake::Lines(), Strings({"Program usage: Command [File Path]"}));
}

TEST(Entry, OpensTheFullPathShowsTheFinalComponentAndIgnoresExtraArguments) {
    fake::Script script;
    EXPECT_EQ(RunWith(script, {"dir/sub/file.bin", "second", "third"}), 0u);
    ASSERT_EQ(fake::Lines().size(), 2u);
    EXPECT_EQ(fake::Lines()[0], "File name: file.bin");
    EXPECT_EQ(fake::Calls()[1], "Open(dir/sub/file.bin)");  // after the name line
    EXPECT_EQ(fake::Calls().back(), "ReleaseProvider(11)");
}

TEST(Entry, EmptyPathStillTakesTheDigestPath) {
    fake::Script script;
    script.openFails = true;
    script.openError = 3;
    EXPECT_EQ(RunWith(script, {""}), 3u);
    EXPECT_EQ(fake::Lines(), Strings({"File name: ", "ERR CODE: 3", "INVALID HANDLE !"}));
}

TEST(Entry, AReportThatCouldNotBeWrittenIsNotSuccess) {
    fake::Script script;
    script.writeError = 28;
    script.failWriteAt = 1;  // the digest line
    EXPECT_EQ(RunWith(script, {"a.bin"}), 28u);

    script.failWriteAt = 0;  // the name line: later lines are not even tried
    EXPECT_EQ(RunWith(script, {"a.bin"}), 28u);
    EXPECT_TRUE(fake::Lines().empty());

    // A failure keeps its own code even when its report is lost too.
    script.openFails = true;
    script.openError = 2;
    EXPECT_EQ(RunWith(script, {"a.bin"}), 2u);
}

TEST(DisplayName, ControlCharactersAreEscapedAndNothingElseIs) {
    EXPECT_EQ(EscapeControls(fake::Native("plain name.txt")), fake::Native("plain name.txt"));
    EXPECT_EQ(EscapeControls(fake::Native("a\nb\tc\x1b[31m\x7f")),
              fake::Native("a\\x0Ab\\x09c\\x1B[31m\\x7F"));
    EXPECT_EQ(DisplayName(fake::Native("dir/evil\r\nname").c_str()), fake::Native("evil\\x0D\\x0Aname"));
#if !defined(_WIN32)
    // C1 controls arrive in byte names as UTF-8 or as lone bytes. Letters stay
    // (their continuation bytes may lie in 0x80-0x9F too), and so do other broken bytes.
    EXPECT_EQ(EscapeControls("csi\xC2\x9B" "31m nel\xC2\x85 \xC2\xA0\xC3\xA9"),
              "csi\\xC2\\x9B31m nel\\xC2\\x85 \xC2\xA0\xC3\xA9");
    EXPECT_EQ(EscapeControls("\x9B" "31m \xE2\x80\x9C\xF0\x9F\x98\x80 end\xC2 \xE0\x80\x80\xFF"),
              "\\x9B31m \xE2\x80\x9C\xF0\x9F\x98\x80 end\xC2 \xE0\\x80\\x80\xFF");
#endif
}

}  // namespace
