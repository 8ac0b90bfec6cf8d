// The real binary, run as a user runs it. One table serves every build:
// each row gives its exit status per platform, and "{code}" in a line
// stands for that status.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "runner.h"

namespace {

namespace fs = std::filesystem;
using blackbox::GetConfig;
using blackbox::Options;
using blackbox::Result;
using blackbox::RunBinary;
using blackbox::Stdout;
using blackbox::Target;
using Strings = std::vector<std::string>;

constexpr int kNotHere = -1;    // the row cannot be arranged on this platform
constexpr int kAnyFailure = -2;  // any non-zero status; its lines carry no code

struct Codes {
    int posix;
    int windows;
};

bool OnWindows() {
    return GetConfig().target == Target::Windows;
}

int Expected(Codes codes) {
    return OnWindows() ? codes.windows : codes.posix;
}

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i % 251);  // a misplaced byte changes the digest
    }
    return bytes;
}

std::string Hex(const unsigned char* digest, unsigned int size) {
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex += "0123456789ABCDEF"[digest[i] >> 4];
        hex += "0123456789ABCDEF"[digest[i] & 15];
    }
    return hex;
}

std::string Md5Hex(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), digest, &size, EVP_md5(), nullptr);
    return Hex(digest, size);
}

// Whether `hex` is the digest of data[0, k) for some k from `shortest` on.
bool IsDigestOfAPrefix(const std::string& data, std::size_t shortest, const std::string& hex) {
    EVP_MD_CTX* prefix = EVP_MD_CTX_new();
    EVP_MD_CTX* copy = EVP_MD_CTX_new();
    EVP_DigestInit_ex(prefix, EVP_md5(), nullptr);
    EVP_DigestUpdate(prefix, data.data(), shortest);
    bool found = false;
    for (std::size_t k = shortest; !found && k <= data.size(); ++k) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        EVP_MD_CTX_copy_ex(copy, prefix);
        EVP_DigestFinal_ex(copy, digest, &size);
        found = Hex(digest, size) == hex;
        if (k < data.size()) {
            EVP_DigestUpdate(prefix, data.data() + k, 1);
        }
    }
    EVP_MD_CTX_free(copy);
    EVP_MD_CTX_free(prefix);
    return found;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder per test, open to every user (for the unprivileged runs).
class Sandbox {
public:
    Sandbox() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/md5digest-bb-XXXXXX";
        root_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
        chmod(root_.c_str(), 0755);
    }
    ~Sandbox() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    const std::string& root() const { return root_; }
    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

    // Creates `relative` with `content`; a name ending in '/' is a folder.
    void Create(const std::string& relative, const std::string& content) const {
        const fs::path path = Path(relative);
        if (relative.back() == '/') {
            fs::create_directories(path);
            return;
        }
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }

private:
    std::string root_;
};

void ExpectReport(const Result& result, int expected, const Strings& lines) {
    if (expected == kAnyFailure) {
        EXPECT_NE(result.exitStatus, 0);
        EXPECT_NE(result.exitStatus, -1) << "did not exit normally";
    } else {
        EXPECT_EQ(result.exitStatus, expected);
    }
    EXPECT_EQ(result.lines, lines);
    EXPECT_FALSE(result.unterminated);
    if (!result.lines.empty()) {
        EXPECT_EQ(result.crlf, OnWindows()) << "line ends";
    }
    EXPECT_EQ(result.stderrText, "");  // nothing ever goes to standard error
}

struct Row {
    const char* what;
    std::string file;     // created in the sandbox unless empty; "name/" is a folder
    std::string content;
    Strings args;         // "@x" is the sandbox path of x
    Strings lines;        // "{digest}" and "{code}" are filled in
    Codes codes;
};

// Test listings name a row by what it shows, not by its bytes.
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.what;
}

std::string Fill(std::string text, const std::string& key, const std::string& value) {
    for (std::size_t at; (at = text.find(key)) != std::string::npos;) {
        text.replace(at, key.size(), value);
    }
    return text;
}

const std::string kLongPath = [] {
    std::string path;
    while (path.size() < 4200) {
        path += "deep/";
    }
    return path + "leaf.bin";
}();

const Row kRows[] = {
    {"abc", "abc.txt", "abc", {"@abc.txt"},
     {"File name: abc.txt", "MD5 hash of file: {digest}"}, {0, 0}},
    {"empty file", "empty", "", {"@empty"},
     {"File name: empty", "MD5 hash of file: D41D8CD98F00B204E9800998ECF8427E"}, {0, 0}},
    {"one chunk exactly", "1024.bin", Pattern(1024), {"@1024.bin"},
     {"File name: 1024.bin", "MD5 hash of file: {digest}"}, {0, 0}},
    {"one chunk and a byte", "1025.bin", Pattern(1025), {"@1025.bin"},
     {"File name: 1025.bin", "MD5 hash of file: {digest}"}, {0, 0}},
    {"several read-ahead buffers", "big.bin", Pattern(3 * 1024 * 1024 + 7), {"@big.bin"},
     {"File name: big.bin", "MD5 hash of file: {digest}"}, {0, 0}},
    {"spaces in the name", "my file (1).txt", "x", {"@my file (1).txt"},
     {"File name: my file (1).txt", "MD5 hash of file: {digest}"}, {0, 0}},
    // U+1F600 lies outside the BMP: a surrogate pair on Windows, never split.
    {"UTF-8 name", "r\xC3\xA9sum\xC3\xA9-\xE6\x97\xA5\xF0\x9F\x98\x80.txt", "x",
     {"@r\xC3\xA9sum\xC3\xA9-\xE6\x97\xA5\xF0\x9F\x98\x80.txt"},
     {"File name: r\xC3\xA9sum\xC3\xA9-\xE6\x97\xA5\xF0\x9F\x98\x80.txt", "MD5 hash of file: {digest}"},
     {0, 0}},
    {"non-UTF-8 bytes in the name", "\xFF\xFE-\xE9.bin", "x", {"@\xFF\xFE-\xE9.bin"},
     {"File name: \xFF\xFE-\xE9.bin", "MD5 hash of file: {digest}"}, {0, kNotHere}},
    {"control bytes in the name", "line\nbreak\x1B[1m.bin", "x", {"@line\nbreak\x1B[1m.bin"},
     {"File name: line\\x0Abreak\\x1B[1m.bin", "MD5 hash of file: {digest}"}, {0, kNotHere}},
    {"folders in the path show only the final component", "a/b/c.bin", "abc", {"@a/b/c.bin"},
     {"File name: c.bin", "MD5 hash of file: {digest}"}, {0, 0}},
    {"arguments after the path are ignored", "x.bin", "x", {"@x.bin", "@missing", "more"},
     {"File name: x.bin", "MD5 hash of file: {digest}"}, {0, 0}},
    // Windows: the last-error value the runtime's start-up left (183 seen
    // under Wine), or 87 when it is 0; the unit tests pin down which.
    {"no path", "", "", {}, {"Program usage: Command [File Path]"}, {22, kAnyFailure}},
    {"missing file", "", "", {"@nope.bin"},
     {"File name: nope.bin", "ERR CODE: {code}", "INVALID HANDLE !"}, {2, 2}},
    {"missing folder", "", "", {"@nodir/nope.bin"},
     {"File name: nope.bin", "ERR CODE: {code}", "INVALID HANDLE !"}, {2, 3}},
    {"empty string", "", "", {""}, {"File name: ", "ERR CODE: {code}", "INVALID HANDLE !"},
     {2, 3}},
    {"a directory", "sub/", "", {"@sub"},
     {"File name: sub", "ERR CODE: {code}", "INVALID HANDLE !"}, {21, 5}},
    {"a trailing slash", "sub/", "", {"@sub/"},
     {"File name: sub/", "ERR CODE: {code}", "INVALID HANDLE !"}, {21, 5}},
    {"a path of 4096 bytes or more", "", "", {"@" + kLongPath},
     {"File name: leaf.bin", "ERR CODE: {code}", "INVALID HANDLE !"}, {36, 3}},
    // Names only one platform can open still show, escaped, in the report.
    {"control characters in a missing name", "", "", {"@line\nbreak\x1B[1m.bin"},
     {"File name: line\\x0Abreak\\x1B[1m.bin", "ERR CODE: {code}", "INVALID HANDLE !"},
     {2, 123}},
    {"a character Windows refuses in names", "", "", {"@bad|name.bin"},
     {"File name: bad|name.bin", "ERR CODE: {code}", "INVALID HANDLE !"}, {2, 123}},
    {"a drive alone", "", "", {"C:"}, {"File name: C:", "ERR CODE: {code}", "INVALID HANDLE !"},
     {2, 5}},
    {"backslashes separate folders on Windows", "a/b/c.bin", "abc", {"@a\\b\\c.bin"},
     {"File name: c.bin", "MD5 hash of file: {digest}"}, {kNotHere, 0}},
};

class Table : public testing::TestWithParam<Row> {};

TEST_P(Table, PrintsTheReportAndExitsWithTheCode) {
    const Row& row = GetParam();
    const int expected = Expected(row.codes);
    if (expected == kNotHere) {
        GTEST_SKIP() << "cannot be arranged on this platform";
    }
    Sandbox sandbox;
    if (!row.file.empty()) {
        sandbox.Create(row.file, row.content);
    }
    Strings args;
    for (const std::string& arg : row.args) {
        args.push_back(arg.rfind('@', 0) == 0 ? sandbox.Path(arg.substr(1)) : arg);
    }
    Strings lines;
    for (const std::string& line : row.lines) {
        lines.push_back(Fill(Fill(line, "{digest}", Md5Hex(row.content)), "{code}",
                             std::to_string(expected)));
    }
    ExpectReport(RunBinary(args, sandbox.root()), expected, lines);
}

std::string RowName(const testing::TestParamInfo<Row>& info) {
    std::string name;
    for (const char c : std::string(info.param.what)) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Report, Table, testing::ValuesIn(kRows), RowName);

// Inputs that need more than a file: special files, streams, privileges.
class Special : public testing::Test {
protected:
    void SetUp() override {
        if (OnWindows()) {
            GTEST_SKIP() << "POSIX special files";
        }
    }
    Sandbox sandbox;
};

TEST_F(Special, DevNullAndProcFilesAreReadToTheirEnd) {
    ExpectReport(RunBinary({"/dev/null"}, sandbox.root()), 0,
                 {"File name: null", "MD5 hash of file: " + Md5Hex("")});
    // Reports a size of 0, yet has content: read to the end, not to the size.
    const std::string version = ReadFile("/proc/version");
    ASSERT_FALSE(version.empty());
    ExpectReport(RunBinary({"/proc/version"}, sandbox.root()), 0,
                 {"File name: version", "MD5 hash of file: " + Md5Hex(version)});
}

TEST_F(Special, FifoIsReadUntilItsWriterCloses) {
    const std::string fifo = sandbox.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const std::string content = Pattern(300 * 1024 + 5);
    std::thread writer([&] {
        const int fd = open(fifo.c_str(), O_WRONLY);
        for (std::size_t done = 0; fd >= 0 && done < content.size();) {
            const ssize_t n = write(fd, content.data() + done, std::min<std::size_t>(4000, content.size() - done));
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        close(fd);
    });
    const Result result = RunBinary({fifo}, sandbox.root());
    close(open(fifo.c_str(), O_RDONLY | O_NONBLOCK));  // frees the writer if the binary never opened it
    writer.join();
    ExpectReport(result, 0, {"File name: fifo", "MD5 hash of file: " + Md5Hex(content)});
}

TEST_F(Special, AFailingReadIsReportedWithItsCode) {
    // Address 0 of the process's own memory is never mapped: read(2) fails.
    ExpectReport(RunBinary({"/proc/self/mem"}, sandbox.root()), 5,
                 {"File name: mem", "ERR CODE: 5", "Unknown ERR !"});
}

TEST_F(Special, AFileWithoutReadPermission) {
    sandbox.Create("secret.bin", "secret");
    const std::string path = sandbox.Path("secret.bin");
    chmod(path.c_str(), 0);
    Options options;
    if (geteuid() == 0) {
        // Root reads anything: run as nobody instead.
        if (access("/usr/bin/setpriv", X_OK) != 0) {
            GTEST_SKIP() << "running as root without setpriv";
        }
        options.prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    ExpectReport(RunBinary({path}, sandbox.root(), options), 13,
                 {"File name: secret.bin", "ERR CODE: 13", "INVALID HANDLE !"});
}

TEST_F(Special, AFileCutAndRegrownWhileReadGivesTheDigestOfAPrefixOrAReadError) {
    // The writer cuts the file at a page boundary and writes the same bytes
    // back, over and over, so at every moment the file is a prefix of
    // `content` no shorter than kKept: whatever the binary read is too.
    constexpr std::size_t kKept = 1 << 20;
    const std::string content = Pattern(2 << 20);
    sandbox.Create("changing.bin", content);
    const std::string path = sandbox.Path("changing.bin");
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const int fd = open(path.c_str(), O_WRONLY);
        while (fd >= 0 && !stop && ftruncate(fd, kKept) == 0) {
            for (std::size_t at = kKept; at < content.size() && !stop; at += 64 * 1024) {
                if (pwrite(fd, content.data() + at, 64 * 1024, static_cast<off_t>(at)) < 0) {
                    break;
                }
            }
        }
        close(fd);
    });
    const Result result = RunBinary({path}, sandbox.root());
    stop = true;
    writer.join();

    EXPECT_EQ(result.stderrText, "");
    ASSERT_FALSE(result.lines.empty());
    EXPECT_EQ(result.lines[0], "File name: changing.bin");
    if (result.exitStatus == 0) {
        ASSERT_EQ(result.lines.size(), 2u);
        const std::string prefix = "MD5 hash of file: ";
        ASSERT_EQ(result.lines[1].rfind(prefix, 0), 0u);
        EXPECT_TRUE(IsDigestOfAPrefix(content, kKept, result.lines[1].substr(prefix.size())))
            << result.lines[1] << " is the digest of no prefix the file had";
    } else {
        ExpectReport(result, result.exitStatus,
                     {"File name: changing.bin", "ERR CODE: " + std::to_string(result.exitStatus),
                      "Unknown ERR !"});
    }
}

// Lengths past 2^32 bytes: no 32-bit count may wrap, in the reads or in the
// length the padding carries. Sparse, so it costs no disk, only time: the
// legs that run the binary through a slow emulator set MD5DIGEST_SKIP_HUGE.
TEST_F(Special, ASparseFileJustOver4GiB) {
    if (const char* why = std::getenv("MD5DIGEST_SKIP_HUGE")) {
        GTEST_SKIP() << why;
    }
    struct statvfs fs;
    if (statvfs(sandbox.root().c_str(), &fs) != 0 || fs.f_bavail * fs.f_frsize < (64u << 20)) {
        GTEST_SKIP() << "too little free space for the test";
    }
    constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;
    constexpr std::uint64_t kSize = k4GiB + 3;
    struct Mark {
        std::uint64_t at;
        std::string bytes;
    };
    // Near both ends and across the 2^32 boundary; zeros elsewhere.
    const Mark marks[] = {{0, "head"}, {k4GiB - 2, "\x01\x02"}, {k4GiB, "end"}};
    const std::string path = sandbox.Path("sparse.bin");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    bool made = ftruncate(fd, static_cast<off_t>(kSize)) == 0;
    for (const Mark& mark : marks) {
        made = made && pwrite(fd, mark.bytes.data(), mark.bytes.size(),
                              static_cast<off_t>(mark.at)) == static_cast<ssize_t>(mark.bytes.size());
    }
    close(fd);
    if (!made) {
        GTEST_SKIP() << "the file system cannot hold a sparse file of 4 GiB";
    }

    // The oracle: libcrypto over the same file, read here.
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
    std::ifstream in(path, std::ios::binary);
    std::string chunk(1 << 20, '\0');
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
        EVP_DigestUpdate(ctx, chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestSize = 0;
    EVP_DigestFinal_ex(ctx, digest, &digestSize);
    EVP_MD_CTX_free(ctx);

    ExpectReport(RunBinary({path}, sandbox.root()), 0,
                 {"File name: sparse.bin", "MD5 hash of file: " + Hex(digest, digestSize)});
}

// Standard output on a device or a file, as scripts give it: the whole report
// written, or the write's own code (never 0, never a stand-in for it).
TEST(Output, ExitsWithTheCodeOfTheWriteThatFailed) {
    struct Case {
        Stdout out;
        Codes codes;
    };
    const Case cases[] = {
        {Stdout::DevNull, {0, 0}},
        {Stdout::DevFull, {28, 112}},    // ENOSPC, ERROR_DISK_FULL
        {Stdout::Closed, {9, 6}},        // EBADF, ERROR_INVALID_HANDLE
        // EPIPE, not death by SIGPIPE. Windows documents ERROR_NO_DATA (232)
        // for a pipe whose reader has gone; Wine gives ERROR_PIPE_NOT_CONNECTED.
        {Stdout::BrokenPipe, {32, 233}},
    };
    Sandbox sandbox;
    sandbox.Create("a.bin", "a");
    for (const Case& c : cases) {
        const Result result = RunBinary({sandbox.Path("a.bin")}, sandbox.root(), {c.out, {}});
        EXPECT_EQ(result.exitStatus, Expected(c.codes)) << "output mode " << static_cast<int>(c.out);
        EXPECT_EQ(result.stderrText, "");
    }
}

}  // namespace
