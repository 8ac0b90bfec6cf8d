// Report lines on POSIX: each line is built whole and handed to write(2) on
// standard output, so a line is never split or held in a buffer, and the
// reason of a failed write is known exactly.
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

std::uint32_t outputError = 0;

// Writes all of `data`, retrying on EINTR and short writes; errno on failure,
// EIO for a write that took nothing.
int WriteAll(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // Nothing written and no reason given would loop for ever.
            return n < 0 && errno != 0 ? errno : EIO;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

void WriteLine(std::string_view text, NativeStringView tail) {
    if (outputError != 0) {
        return;  // like a stream in its failed state: later lines are lost
    }
    std::string line;
    line.reserve(text.size() + tail.size() + 1);
    line.append(text).append(tail).push_back('\n');
    outputError = static_cast<std::uint32_t>(WriteAll(line.data(), line.size()));
}

std::uint32_t OutputError() {
    return outputError;
}

int ToExitStatus(std::uint32_t status) {
    // Exit statuses are 8 bits wide; a larger code must still fail.
    return status > 255 ? 255 : static_cast<int>(status);
}

}  // namespace platform
