#include "runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace blackbox {
namespace {

// The harness's writers (to a FIFO, say) get EPIPE instead of killing the
// whole suite when the binary under test dies before reading.
[[maybe_unused]] const bool kSigpipeIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;

std::vector<std::string> SplitOnBlanks(const char* text) {
    std::vector<std::string> words;
    std::istringstream in(text != nullptr ? text : "");
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

const Config& GetConfig() {
    static const Config config = [] {
        Config c;
        const char* binary = std::getenv("MD5DIGEST_BIN");
        c.binary = binary != nullptr ? binary : "";
        c.launcher = SplitOnBlanks(std::getenv("MD5DIGEST_LAUNCHER"));
        const char* target = std::getenv("MD5DIGEST_TARGET");
        c.target = target != nullptr && std::string(target) == "windows" ? Target::Windows
                                                                           : Target::Posix;
        return c;
    }();
    return config;
}

Result RunBinary(const std::vector<std::string>& args, const std::string& scratch,
           const Options& options) {
    const Config& config = GetConfig();
    std::vector<std::string> command = options.prefix;
    command.insert(command.end(), config.launcher.begin(), config.launcher.end());
    command.push_back(config.binary);
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    const std::string outPath = scratch + "/.stdout";
    const std::string errPath = scratch + "/.stderr";
    int brokenPipe[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    switch (options.out) {
    case Stdout::Capture:
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        break;
    case Stdout::DevNull:
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        break;
    case Stdout::DevFull:
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
        break;
    case Stdout::Closed:
        posix_spawn_file_actions_addclose(&actions, 1);
        break;
    case Stdout::BrokenPipe:
        if (pipe(brokenPipe) == 0) {
            close(brokenPipe[0]);
            posix_spawn_file_actions_adddup2(&actions, brokenPipe[1], 1);
        }
        break;
    }
    // A file, not a pipe: Wine's helpers can hold a pipe open past exit.
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    // The binary starts with SIGPIPE at its default, as from a shell, so
    // the harness's own disposition cannot hide how it handles a gone reader.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    Result result;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (brokenPipe[1] >= 0) {
        close(brokenPipe[1]);
    }
    if (spawned != 0) {
        result.stderrText = "cannot start " + command.front();
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.stderrText = ReadAll(errPath);
    if (options.out != Stdout::Capture) {
        return result;
    }
    const std::string out = ReadAll(outPath);
    std::size_t begin = 0;
    while (begin < out.size()) {
        const std::size_t end = out.find('\n', begin);
        if (end == std::string::npos) {
            result.unterminated = true;
            result.lines.push_back(out.substr(begin));
            break;
        }
        std::string line = out.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        } else {
            result.crlf = false;
        }
        result.lines.push_back(line);
        begin = end + 1;
    }
    return result;
}

}  // namespace blackbox
