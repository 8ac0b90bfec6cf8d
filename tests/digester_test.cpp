// The command and its Digester over a scripted platform: the failures a
// real system will not produce on demand (provider, hash object, hash data,
// hash value, codes of 2^31 and more), the usage rule, each code read before
// any line is written, and the three releases in order. The rest is the
// black box's.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "cli/display_name.h"
#include "cli/entry.h"
#include "platform/platform.h"

namespace {

using Strings = std::vector<std::string>;

enum class Step { None, Open, Acquire, Create, Read, Hash, Value };

struct Script {
    Step failing = Step::None;
    std::uint32_t code = 0;  // the failing call's last-error value; 0 gives none
    int failingAt = 0;       // which read or HashBytes call fails
    std::array<std::uint32_t, 5> chunks = {1024, 300, 1024, 1};  // successive reads; 0 ends
    std::array<std::uint8_t, 16> value = {0x0F, 0xF0, 0x00, 0xAB, 0x01, 0x23, 0x45, 0x67,
                                          0x89, 0xCD, 0xEF, 0x10, 0x32, 0x54, 0x76, 0x98};
    std::uint32_t valueSize = 16;  // the length the value query reports
    std::uint32_t lastErrorAtStart = 0;
    int argc = 2;  // 1: no path; 0: not even the program's name, a path after it
};

// Real writes leave last-error values behind even when they succeed: a
// code read after a line was written is caught.
constexpr std::uint32_t kLeftByWrites = 183;

// What the code under test did in one run.
struct Run {
    Script script;
    std::uint32_t lastError = 0;
    Strings releases{};  // in the order made
    Strings lines{};
    std::vector<std::uint32_t> hashed{};
    int reads = 0;
};
Run run;

bool Fails(Step step, int index = 0) {
    if (run.script.failing != step || index != run.script.failingAt) {
        return false;
    }
    run.lastError = run.script.code;
    return true;
}

platform::NativeString Native(const std::string& ascii) {
    return platform::NativeString(ascii.begin(), ascii.end());
}

// The command on "prog dir/file.bin", or on that vector cut short at argc:
// nothing after its end may be read.
std::uint32_t RunScript(const Script& script) {
    run = Run{.script = script, .lastError = script.lastErrorAtStart};
    const platform::NativeString prog = Native("prog"), path = Native("dir/file.bin");
    const platform::NativeChar* argv[] = {prog.c_str(), path.c_str(), nullptr};
    argv[script.argc] = nullptr;
    return RunCommand(argv);
}

const Strings kAllReleased = {"Close(7)", "DestroyHash(13)", "ReleaseProvider(11)"};

struct Outcome {
    const char* what;
    Script script;
    std::uint32_t code;
    Strings lines;
    Strings releases;  // in order, each as obtained: an unset one as -1 or 0
};

const std::string kGeneric = std::to_string(platform::kGenericFailure);
const std::string kName = "File name: dir/file.bin";
const Strings kUsage = {"Program usage: Command [File Path]"};

const Outcome kOutcomes[] = {
    // A short read is not the end; a digest is uppercase, high nibble first.
    {"none", {}, 0, {kName, "MD5 hash of file: 0FF000AB0123456789CDEF1032547698"}, kAllReleased},
    {"open", {.failing = Step::Open, .code = 2}, 2, {kName, "ERR CODE: 2", "INVALID HANDLE !"}, {"Close(-1)", "DestroyHash(0)", "ReleaseProvider(0)"}},
    {"provider, with a code of 2^31 and more", {.failing = Step::Acquire, .code = 0x80090016}, 0x80090016, {kName, "ERR CODE: 2148073494", "Invalid CryptAcquireContext !"}, {"Close(7)", "DestroyHash(0)", "ReleaseProvider(0)"}},
    {"hash object", {.failing = Step::Create, .code = 8}, 8, {kName, "ERR CODE: 8", "There was an error creating the hash !"}, {"Close(7)", "DestroyHash(0)", "ReleaseProvider(11)"}},
    {"hash data", {.failing = Step::Hash, .code = 1, .failingAt = 1}, 1, {kName, "ERR CODE: 1", "File is reading ERR !"}, kAllReleased},
    {"read after a chunk", {.failing = Step::Read, .code = 23, .failingAt = 1}, 23, {kName, "ERR CODE: 23", "Unknown ERR !"}, kAllReleased},
    {"read, with no code given", {.failing = Step::Read}, platform::kGenericFailure, {kName, "ERR CODE: " + kGeneric, "Unknown ERR !"}, kAllReleased},
    {"hash value", {.failing = Step::Value, .code = 234}, 234, {kName, "ERR CODE: 234", "CryptGetHashParam failed: 234"}, kAllReleased},
    {"a value of the wrong length", {.valueSize = 20}, platform::kGenericFailure, {kName, "ERR CODE: " + kGeneric, "CryptGetHashParam failed: " + kGeneric}, kAllReleased},
    // The start's last-error value, read before writing; never 0.
    {"no path", {.lastErrorAtStart = 1400, .argc = 1}, 1400, kUsage, {}},
    {"not even the program's name", {.argc = 0}, platform::kInvalidArgument, kUsage, {}},
};

TEST(Command, ReportsTheDigestOrTheFailingStepsCodeAndReleasesAllInOrder) {
    for (const Outcome& row : kOutcomes) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(RunScript(row.script), row.code);
        EXPECT_EQ(run.lines, row.lines);
        EXPECT_EQ(run.releases, row.releases);
        if (row.code == 0) {  // each chunk hashed as read, whole
            EXPECT_EQ(run.hashed, std::vector<std::uint32_t>({1024, 300, 1024, 1}));
        }
    }
}

#if defined(_WIN32)
// What Wine will not pass on the command line: an unpaired surrogate; and a
// hidden character beyond the BMP, each of its units escaped.
TEST(Name, EscapesUnpairedSurrogatesAndEachUnitOfAHiddenCharacter) {
    EXPECT_EQ(DisplayName(L"a\xD800" L"b\xDC00\xD83D\xDE00\xDB40\xDC41").Text(), L"a\\uD800b\\uDC00\xD83D\xDE00\\uDB40\\uDC41");
}
#endif

}  // namespace

// The scripted platform the code under test links against.
namespace platform {

FileHandle OpenForSequentialRead(const NativeChar* /*path*/) {
    return Fails(Step::Open) ? kInvalidFile : 7;
}

bool ReadChunk(FileHandle /*file*/, std::uint8_t* /*buffer*/, std::uint32_t size,
               std::uint32_t* bytesRead) {
    const int index = run.reads++;
    *bytesRead = 0;
    if (Fails(Step::Read, index)) {
        return false;
    }
    // A read after the end throws: the run fails.
    *bytesRead = std::min(size, run.script.chunks.at(static_cast<std::size_t>(index)));
    return true;
}

void CloseFile(FileHandle file) {
    run.releases.push_back("Close(" + std::to_string(file) + ")");
}

bool AcquireProvider(ProviderHandle* provider) {
    *provider = Fails(Step::Acquire) ? 0 : 11;
    return *provider != 0;
}

bool CreateMd5Hash(ProviderHandle /*provider*/, HashHandle* hash) {
    *hash = Fails(Step::Create) ? 0 : 13;
    return *hash != 0;
}

bool HashBytes(HashHandle /*hash*/, const std::uint8_t* /*data*/, std::uint32_t size) {
    if (Fails(Step::Hash, static_cast<int>(run.hashed.size()))) {
        return false;
    }
    run.hashed.push_back(size);
    return true;
}

bool GetHashValue(HashHandle /*hash*/, std::uint8_t* value, std::uint32_t* size) {
    if (Fails(Step::Value)) {
        return false;
    }
    std::memcpy(value, run.script.value.data(), std::min<std::uint32_t>(*size, 16));
    *size = run.script.valueSize;
    run.lastError = run.script.code;  // the query's own, not the file-name line's
    return true;
}

void DestroyHash(HashHandle hash) {
    run.releases.push_back("DestroyHash(" + std::to_string(hash) + ")");
}

void ReleaseProvider(ProviderHandle provider) {
    run.releases.push_back("ReleaseProvider(" + std::to_string(provider) + ")");
}

std::uint32_t LastError() {
    return run.lastError;
}

const NativeChar* FinalComponent(const NativeChar* path) {
    return path;
}

void WriteLine(std::string_view text, NativeStringView tail) {
    std::string line(text);
    line.append(tail.begin(), tail.end());  // the tests' names are ASCII
    run.lines.push_back(line);
    run.lastError = kLeftByWrites;
}

void LoseLine(std::uint32_t) {}

std::uint32_t OutputError() {
    return 0;
}

}  // namespace platform
