// The real binary, run as a user runs it: one row a line, one runner, the
// same table for every build. MD5DIGEST_BIN names the binary,
// MD5DIGEST_LAUNCHER what starts it (Wine, qemu), MD5DIGEST_TARGET=windows
// the platform whose codes and line ends to expect.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace {

using Strings = std::vector<std::string>;

constexpr int kNotHere = -1;     // the row cannot be arranged on this platform
constexpr int kAnyFailure = -2;  // any non-zero status, carried by no line

// How the binary is run. Capture keeps standard output; the next three give
// it an output that fails and check the status alone; Traced watches the
// system calls on the first argument's file with strace (the faults leg
// tampers with them); under Wine, cmd can hold the file open meanwhile. (A
// pipe on Windows: win32_pipe_test.cpp.)
enum class Mode { Capture, DevFull, Closed, BrokenPipe, Traced, Piped, Huge, HeldForReading, HeldForWriting };

struct Row {
    const char* what;
    std::string file;     // created in the sandbox unless empty; "name/" is a folder
    std::string content;
    Strings args;         // "@x" is the sandbox path of x
    const char* shown;    // the "File name: " line's text; null: no such line
    std::string report;   // the lines after it; {md5} is the file's digest, {code} the status
    int posix;
    int windows;
    Mode mode = Mode::Capture;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.what;  // not the row's raw bytes
}

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i % 251);  // a misplaced byte changes the digest
    }
    return bytes;
}

std::string Fill(std::string text, const std::string& key, const std::string& value) {
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
        text.replace(at, key.size(), value);
    }
    return text;
}

const std::string kBig = Pattern(3 * 1024 * 1024 + 7);
const std::string kDigest = "MD5 hash of file: {md5}";
const std::string kNoOpen = "ERR CODE: {code}\nINVALID HANDLE !";
const std::string kNoRead = "ERR CODE: {code}\nUnknown ERR !";

const Row kRows[] = {
    // The reader thread on a plain file, with no tracer and no pipe in its way.
    {"a plain file of several read-ahead slots", "big.bin", kBig, {}, "big.bin", kDigest, 0, 0},
    {"empty file", "empty", "", {}, "empty", "MD5 hash of file: D41D8CD98F00B204E9800998ECF8427E", 0, 0},
    // Past 2^32 bytes no count may wrap; sparse, so it costs time, not disk.
    {"a file of 4 GiB and 3 bytes", "huge.bin", "", {}, "huge.bin", "MD5 hash of file: 506DE775004F4B429865A45492D6B203", 0, kNotHere, Mode::Huge},
    {"a read call a read-ahead buffer", "big.bin", kBig, {}, "big.bin", kDigest, 0, 0, Mode::Traced},
    {"a pipe gives short reads, past two read-ahead buffers", "piped.bin", kBig, {"/dev/stdin"}, "stdin", kDigest, 0, kNotHere, Mode::Piped},
    {"a size of 0 does not end the file", "", "", {"/proc/version"}, "version", kDigest, 0, kNotHere},
    // U+1F600 lies outside the BMP: a surrogate pair on Windows, never split.
    {"UTF-8 name", "r\xC3\xA9sum\xC3\xA9-\xE6\x97\xA5\xF0\x9F\x98\x80.txt", "x", {}, "r\xC3\xA9sum\xC3\xA9-\xE6\x97\xA5\xF0\x9F\x98\x80.txt", kDigest, 0, 0},
    // A backslash too: else a name holding the text \x0A would show as one holding a line feed.
    {"controls and backslashes are escaped", "a\nb\\x0A\x1B[1m\x1F\x7F~", "x", {}, "a\\x0Ab\\x5Cx0A\\x1B[1m\\x1F\\x7F~", kDigest, 0, kNotHere},
    // Every byte of broken UTF-8 too (E0 81 81 is an overlong A), or a + FE and a + FF would both show as a and a replacement mark.
    {"C1 controls, as UTF-8 or alone, and bytes that are not UTF-8 are escaped; letters are not", "c\xC2\x9B" "1m \x9B \xE2\x80\x9C \xE0\x81\x81 \xC2\x9F a\xFF a\xFE-\xE9 \xC2 .bin", "x", {}, "c\\xC2\\x9B1m \\x9B \xE2\x80\x9C \\xE0\\x81\\x81 \\xC2\\x9F a\\xFF a\\xFE-\\xE9 \\xC2 .bin", kDigest, 0, kNotHere},
    // Unicode readers break the line at U+2028; U+202E shows "txt.exe" as "exe.txt"; U+00AD, U+200B,
    // U+2060, U+3164, U+FEFF and the tag U+E0041 show as nothing at all.
    {"line separators, bidirectional overrides and invisible characters are escaped", "my ls\xE2\x80\xA8x\xE2\x80\xAEtxt.exe\xC2\xAD\xE2\x80\x8B\xE2\x81\xA0\xE3\x85\xA4\xEF\xBB\xBF\xF3\xA0\x81\x81", "x", {},
     "my ls\\xE2\\x80\\xA8x\\xE2\\x80\\xAEtxt.exe\\xC2\\xAD\\xE2\\x80\\x8B\\xE2\\x81\\xA0\\xE3\\x85\\xA4\\xEF\\xBB\\xBF\\xF3\\xA0\\x81\\x81", kDigest, 0, kNotHere},
    {"line separators, bidirectional overrides and invisible characters are escaped on Windows", "my ls\xE2\x80\xA8x\xE2\x80\xAEtxt.exe\xC2\xAD\xE2\x80\x8B\xE2\x81\xA0\xE3\x85\xA4\xEF\xBB\xBF\xF3\xA0\x81\x81", "x", {},
     "my ls\\u2028x\\u202Etxt.exe\\xAD\\u200B\\u2060\\u3164\\uFEFF\\uDB40\\uDC41", kDigest, kNotHere, 0},
    {"only the final component is shown; arguments after the path are ignored", "a/b/c.bin", "abc", {"@a/b/c.bin", "@missing", "more"}, "c.bin", kDigest, 0, 0},
    {"backslashes separate folders on Windows", "a/b/c.bin", "abc", {"@a\\b\\c.bin"}, "c.bin", kDigest, kNotHere, 0},
    // Windows: the last-error value the start-up left (under Wine 14007, which a Unix shell sees as 183), or
    // 87 when it is 0; the unit tests pin down which.
    {"no path", "", "", {}, nullptr, "Program usage: Command [File Path]", 22, kAnyFailure},
    {"missing file", "", "", {"@nope.bin"}, "nope.bin", kNoOpen, 2, 2},
    {"empty path", "", "", {""}, "", kNoOpen, 2, 3},
    {"a trailing slash stays with the name", "sub/", "", {}, "sub/", kNoOpen, 21, 5},
    {"a trailing backslash stays with the name on Windows", "sub/", "", {"@sub\\"}, "sub\\", kNoOpen, kNotHere, 5},
    {"trailing slashes stay with the name", "sub/", "", {"@sub//"}, "sub//", kNoOpen, 21, kNotHere},
    {"a path of slashes alone shows one", "", "", {"//"}, "/", kNoOpen, 21, kNotHere},
    {"a file another process reads can be read", "a.bin", "a", {}, "a.bin", kDigest, kNotHere, 0, Mode::HeldForReading},
    {"a file another process writes cannot", "a.bin", "a", {}, "a.bin", kNoOpen, kNotHere, 32, Mode::HeldForWriting},
    {"a directory, its descriptor closed", "sub/", "", {"@sub"}, "sub", kNoOpen, 21, 5, Mode::Traced},
    {"a read the system fails", "", "", {"/proc/self/mem"}, "mem", kNoRead, 5, kNotHere},
    // The write's own code: ENOSPC/ERROR_DISK_FULL, EBADF/ERROR_INVALID_HANDLE;
    // EPIPE, not death by SIGPIPE (Windows documents ERROR_NO_DATA, 232, for
    // a pipe whose reader has gone; Wine gives ERROR_PIPE_NOT_CONNECTED).
    {"output to a full device", "a.bin", "a", {}, nullptr, "", 28, 112, Mode::DevFull},
    {"output closed", "a.bin", "a", {}, nullptr, "", 9, 6, Mode::Closed},
    {"output to a pipe without a reader", "a.bin", "a", {}, nullptr, "", 32, 233, Mode::BrokenPipe},
    {"a failure keeps its code when its report is lost", "", "", {"@nope.bin"}, nullptr, "", 2, 2, Mode::DevFull},
};

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

const bool kOnWindows = Env("MD5DIGEST_TARGET") == "windows";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Md5Hex(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), digest, &size, EVP_md5(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex += "0123456789ABCDEF"[digest[i] >> 4];
        hex += "0123456789ABCDEF"[digest[i] & 15];
    }
    return hex;
}

// A fresh folder per run.
struct Sandbox {
    Sandbox() : root(std::filesystem::temp_directory_path() / "md5digest-bb-XXXXXX") {
        EXPECT_NE(mkdtemp(root.data()), nullptr);
    }
    ~Sandbox() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::string root;
};

struct Result {
    int status;  // -1: the process did not exit normally
    std::string out, err;
};

// Runs `command`, the launcher, the binary and `args`, with standard output
// as `mode` gives it and standard error in a file of `scratch`.
Result RunBinary(Strings command, const Strings& args, Mode mode, const std::string& scratch) {
    std::istringstream launcher(Env("MD5DIGEST_LAUNCHER"));
    command.insert(command.end(), std::istream_iterator<std::string>(launcher), {});
    if (mode == Mode::HeldForReading || mode == Mode::HeldForWriting) {
        // cmd opens the file as a redirection and holds it while the binary
        // runs; Wine's drive Z: is the Unix root. No quotes: Wine would
        // escape them on cmd's command line (our paths hold no blanks).
        const auto windows = [](const std::string& path) { return "Z:" + Fill(path, "/", "\\"); };
        command.insert(command.end(), {"cmd", "/c", windows(Env("MD5DIGEST_BIN")) + " " + windows(args[0]) +
                                                        (mode == Mode::HeldForReading ? " <" : " 2>>") + windows(args[0])});
    } else {
        command.push_back(Env("MD5DIGEST_BIN"));
        command.insert(command.end(), args.begin(), args.end());
    }
    std::vector<char*> argv;
    for (std::string& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    const std::string outPath = scratch + "/.stdout";
    const std::string errPath = scratch + "/.stderr";
    int pipeEnds[2] = {-1, -1};
    if (mode == Mode::BrokenPipe && pipe2(pipeEnds, O_CLOEXEC) == 0) {
        close(pipeEnds[0]);
    }
    const pid_t pid = fork();
    if (pid == 0) {  // the harness runs no threads: a forked child may open and exec
        std::signal(SIGPIPE, SIG_DFL);  // as from a shell, whatever the harness inherited
        dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
        const int out = mode == Mode::DevFull      ? open("/dev/full", O_WRONLY | O_CLOEXEC)
                        : mode == Mode::BrokenPipe ? pipeEnds[1]
                                                   : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        mode == Mode::Closed ? close(1) : dup2(out, 1);
        // A file, not a pipe: Wine's helpers can hold a pipe open past exit.
        dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    // Bounded by ctest's limit on each row, or by the leg's on the whole table.
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(outPath), ReadFile(errPath)};
}

// strace itself, and the right to trace (a container may forbid it).
bool CanTrace() {
    static const bool can = std::system("strace -qq -o /dev/null true >/dev/null 2>&1") == 0;
    return can;
}

class Table : public testing::TestWithParam<Row> {};

TEST_P(Table, PrintsTheReportAndExitsWithTheCode) {
    const Row& row = GetParam();
    const int expected = kOnWindows ? row.windows : row.posix;
    const bool traced = row.mode == Mode::Traced;
    if (expected == kNotHere || (traced && !CanTrace()) ||
        (row.mode == Mode::Huge && !Env("MD5DIGEST_SKIP_HUGE").empty())) {
        GTEST_SKIP() << (expected == kNotHere ? "cannot be arranged here" : traced ? "no strace" : Env("MD5DIGEST_SKIP_HUGE"));
    }
    Sandbox sandbox;
    const std::string file = sandbox.root + "/" + row.file;
    if (!row.file.empty()) {  // "name/" makes the folder alone: no file opens as one
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file, std::ios::binary) << row.content;
    }
    if (row.mode == Mode::Huge) {  // zeros but for bytes at the start and across 2^32
        std::filesystem::resize_file(file, (std::uintmax_t{1} << 32) + 3);
        std::fstream huge(file, std::ios::in | std::ios::out | std::ios::binary);
        huge << "head";
        huge.seekp((std::streamoff{1} << 32) - 2) << "\x01\x02" "end";
    }
    Strings args = row.file.empty() || !row.args.empty() ? row.args : Strings{"@" + row.file};
    for (std::string& arg : args) {
        arg = arg.starts_with('@') ? sandbox.root + "/" + arg.substr(1) : arg;
    }
    Strings prefix;
    const std::string log = sandbox.root + "/.strace";
    if (traced) {
        // The file's system calls alone, on every thread, not the loader's or
        // the launcher's; LeakSanitizer cannot run under ptrace.
        prefix.insert(prefix.end(), {"env", "ASAN_OPTIONS=" + Env("ASAN_OPTIONS") + ":detect_leaks=0", "strace", "-f", "-qq", "-o", log,
                  "-P", args[0], "-e", "trace=open,openat,close,read,%fstat"});
    } else if (row.mode == Mode::Piped) {
        prefix = {"sh", "-c", "cat \"$0\" | exec \"$@\"", file};
    }
    const Result result = RunBinary(prefix, args, row.mode, sandbox.root);

    const std::string eol = kOnWindows ? "\r\n" : "\n";
    std::string text = row.shown != nullptr ? "File name: " + std::string(row.shown) + eol : "";
    std::string report = Fill(row.report, "{code}", std::to_string(expected));
    if (report.find("{md5}") != std::string::npos) {
        report = Fill(report, "{md5}", Md5Hex(row.file.empty() ? ReadFile(args[0]) : row.content));
    }
    text += report.empty() ? "" : Fill(report, "\n", eol) + eol;
    EXPECT_TRUE(expected == kAnyFailure ? result.status > 0 : result.status == expected) << "exit status " << result.status;
    EXPECT_EQ(result.out, text);
    EXPECT_EQ(result.err, "");  // nothing ever goes to standard error
    if (traced) {
        std::map<std::string, std::size_t> calls;  // by name
        std::istringstream words(ReadFile(log));
        for (std::string word; words >> word;) {
            ++calls[word.substr(0, word.find('('))];
        }
        // Under Wine the server opens the file and hands the program a copy.
        EXPECT_TRUE(kOnWindows || calls["open"] + calls["openat"] == calls["close"]) << "a descriptor left open";
        EXPECT_LE(calls["read"], row.content.size() / (256 * 1024) + 3) << "reads of 256 KiB or more, on any thread";
    }
}

INSTANTIATE_TEST_SUITE_P(Report, Table, testing::ValuesIn(kRows), [](const testing::TestParamInfo<Row>& row) {
    std::string name;
    for (const char c : std::string(row.param.what)) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
});

}  // namespace
