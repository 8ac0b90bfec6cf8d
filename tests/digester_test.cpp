// The Digester over the scripted platform: every report row, including the
// ones a real system will not produce on demand.
#include "digest/digester.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace {

using Strings = std::vector<std::string>;

std::uint32_t RunDigester(const fake::Script& script) {
    fake::Reset(script);
    const platform::NativeString path = fake::Native("dir/file.bin");
    std::uint32_t status = 0;
    {
        Digester digester(path.c_str());
        status = digester.HashFile();
    }
    EXPECT_EQ(fake::ReleaseProblems(), "");  // on every path, after every run
    return status;
}

// The last three calls: the releases, in order, with the values held.
Strings Releases() {
    const auto& calls = fake::Calls();
    return Strings(calls.end() - std::min<std::ptrdiff_t>(3, std::ssize(calls)), calls.end());
}

std::ptrdiff_t IndexOf(const std::string& call) {
    const auto& calls = fake::Calls();
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
}

TEST(Digester, SuccessFeedsEveryChunkAndPrintsUppercaseDigitsHighNibbleFirst) {
    fake::Script script;
    script.chunks = {1024, 1024, 1};
    script.value = {0x0F, 0xF0, 0x00, 0xAB, 0x01, 0x23, 0x45, 0x67,
                    0x89, 0xCD, 0xEF, 0x10, 0x32, 0x54, 0x76, 0x98};
    EXPECT_EQ(RunDigester(script), 0u);
    EXPECT_EQ(fake::Lines(), Strings({"MD5 hash of file: 0FF000AB0123456789CDEF1032547698"}));
    EXPECT_EQ(fake::Hashed(), std::vector<std::uint32_t>({1024, 1024, 1}));
    // The value is asked for once, with room for 16 bytes, after the last chunk.
    EXPECT_EQ(std::count(fake::Calls().begin(), fake::Calls().end(), "GetHashValue(13,16)"), 1);
    EXPECT_EQ(Releases(), Strings({"Close(7)", "DestroyHash(13)", "ReleaseProvider(11)"}));
}

TEST(Digester, EmptyFileHashesNothingAndStillPrintsTheDigest) {
    fake::Script script;
    EXPECT_EQ(RunDigester(script), 0u);
    EXPECT_TRUE(fake::Hashed().empty());
    EXPECT_EQ(fake::Lines(), Strings({"MD5 hash of file: 00000000000000000000000000000000"}));
}

struct FailureRow {
    const char* name;
    fake::Script script;
    std::uint32_t code;
    Strings lines;
    const char* failingCall;
    Strings releases;
};

fake::Script Failing(void (*edit)(fake::Script&)) {
    fake::Script script;
    script.chunks = {1024, 7};
    edit(script);
    return script;
}

const Strings kAllReleased = {"Close(7)", "DestroyHash(13)", "ReleaseProvider(11)"};

const FailureRow kFailures[] = {
    {"open", Failing([](fake::Script& s) { s.openFails = true; s.openError = 2; }), 2,
     {"ERR CODE: 2", "INVALID HANDLE !"}, "Open(dir/file.bin)",
     {"Close(-1)", "DestroyHash(0)", "ReleaseProvider(0)"}},
    {"provider", Failing([](fake::Script& s) { s.acquireFails = true; s.acquireError = 0x80090016; }),
     0x80090016, {"ERR CODE: 2148073494", "Invalid CryptAcquireContext !"}, "AcquireProvider",
     {"Close(7)", "DestroyHash(0)", "ReleaseProvider(0)"}},
    {"hash object", Failing([](fake::Script& s) { s.createFails = true; s.createError = 8; }), 8,
     {"ERR CODE: 8", "There was an error creating the hash !"}, "CreateHash(11)",
     {"Close(7)", "DestroyHash(0)", "ReleaseProvider(11)"}},
    {"hash data", Failing([](fake::Script& s) { s.failHashAt = 1; s.hashError = 1; }), 1,
     {"ERR CODE: 1", "File is reading ERR !"}, "HashBytes(13)", kAllReleased},
    {"read", Failing([](fake::Script& s) { s.failReadAt = 1; s.readError = 23; }), 23,
     {"ERR CODE: 23", "Unknown ERR !"}, "Read(7)", kAllReleased},
    {"hash value", Failing([](fake::Script& s) { s.valueFails = true; s.valueError = 234; }), 234,
     {"ERR CODE: 234", "CryptGetHashParam failed: 234"}, "GetHashValue(13,16)", kAllReleased},
    {"code of 2^32-1 written unsigned",
     Failing([](fake::Script& s) { s.openFails = true; s.openError = 0xFFFFFFFF; }), 0xFFFFFFFF,
     {"ERR CODE: 4294967295", "INVALID HANDLE !"}, "Open(dir/file.bin)",
     {"Close(-1)", "DestroyHash(0)", "ReleaseProvider(0)"}},
    {"failure without a code is still a failure",
     Failing([](fake::Script& s) { s.failReadAt = 0; s.readError = 0; }), platform::kGenericFailure,
     {"ERR CODE: " + std::to_string(platform::kGenericFailure), "Unknown ERR !"}, "Read(7)",
     kAllReleased},
    {"value of the wrong length", Failing([](fake::Script& s) { s.valueSize = 20; }),
     platform::kGenericFailure,
     {"ERR CODE: " + std::to_string(platform::kGenericFailure),
      "CryptGetHashParam failed: " + std::to_string(platform::kGenericFailure)},
     "GetHashValue(13,16)", kAllReleased},
};

TEST(Digester, EachFailingStepReportsItsCodeReadBeforeAnyWriteAndReleasesAll) {
    for (const FailureRow& row : kFailures) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RunDigester(row.script), row.code);
        EXPECT_EQ(fake::Lines(), row.lines);
        // The code is read right after the failing call, before the first line.
        const auto& calls = fake::Calls();
        const auto failing = std::find(calls.rbegin(), calls.rend(), row.failingCall);
        ASSERT_NE(failing, calls.rend());
        ASSERT_GE(failing - calls.rbegin(), 2);
        EXPECT_EQ(*(failing - 1), "LastError");
        EXPECT_EQ((failing - 2)->rfind("Write(ERR CODE: ", 0), 0u);
        EXPECT_EQ(Releases(), row.releases);
    }
}

TEST(Digester, ChecksInOrderOpenThenProviderThenHashObjectThenReads) {
    fake::Script script;
    script.openFails = true;
    script.openError = 3;
    script.acquireFails = true;
    script.createFails = true;
    script.failReadAt = 0;
    EXPECT_EQ(RunDigester(script), 3u);
    EXPECT_EQ(IndexOf("AcquireProvider"), std::ssize(fake::Calls()));  // never asked

    script.openFails = false;
    script.acquireError = 4;
    EXPECT_EQ(RunDigester(script), 4u);
    EXPECT_EQ(IndexOf("CreateHash(11)"), std::ssize(fake::Calls()));
    EXPECT_EQ(IndexOf("CreateHash(0)"), std::ssize(fake::Calls()));

    script.acquireFails = false;
    script.createError = 5;
    EXPECT_EQ(RunDigester(script), 5u);
    EXPECT_EQ(IndexOf("Read(7)"), std::ssize(fake::Calls()));
}

TEST(Digester, ReadFailureAfterSomeChunksDiscardsThePartialHash) {
    fake::Script script;
    script.chunks = {1024, 1024, 1024};
    script.failReadAt = 2;
    script.readError = 5;
    EXPECT_EQ(RunDigester(script), 5u);
    EXPECT_EQ(fake::Hashed().size(), 2u);
    EXPECT_EQ(IndexOf("GetHashValue(13,16)"), std::ssize(fake::Calls()));
    EXPECT_EQ(fake::Lines(), Strings({"ERR CODE: 5", "Unknown ERR !"}));
}

}  // namespace
