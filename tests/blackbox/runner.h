// Runs the md5digest binary as a user would, for black-box tests: which
// binary, through which launcher (Wine, qemu) and for which platform's codes
// come from the environment, so one table serves every build.
#pragma once

#include <string>
#include <vector>

namespace blackbox {

enum class Target { Posix, Windows };

struct Config {
    std::string binary;                // MD5DIGEST_BIN
    std::vector<std::string> launcher;  // MD5DIGEST_LAUNCHER, split on blanks
    Target target = Target::Posix;     // MD5DIGEST_TARGET: posix | windows
};

const Config& GetConfig();

// BrokenPipe: a pipe whose reader has already gone.
enum class Stdout { Capture, DevNull, DevFull, Closed, BrokenPipe };

struct Result {
    int exitStatus = -1;  // -1 when the process did not exit normally
    std::vector<std::string> lines;
    bool crlf = true;      // every line ended with CR LF
    bool unterminated = false;  // output ended without a line end
    std::string stderrText;
};

struct Options {
    Stdout out = Stdout::Capture;
    std::vector<std::string> prefix;  // e.g. a command that drops privileges
};

// Runs the binary with `args` (after the program's name); `scratch` is a
// folder for the captured streams.
Result RunBinary(const std::vector<std::string>& args, const std::string& scratch,
           const Options& options = {});

}  // namespace blackbox
