// Report lines on POSIX: each line's pieces are handed to writev(2) on
// standard output together, so a line is never held in a buffer, building
// it needs no memory, and the reason of a failed write is known exactly.
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/interrupted.h"

namespace platform {
namespace {

std::uint32_t outputError = 0;

// Writes all of pieces[0, count), retrying short writes and interruptions;
// errno on failure, EIO for a write that took nothing.
std::uint32_t WriteAll(iovec* pieces, int count) {
    while (count > 0) {
        const ssize_t n =
            posix::RetryInterrupted([&] { return ::writev(STDOUT_FILENO, pieces, count); });
        if (n <= 0) {
            // Nothing written and no reason given would loop for ever.
            return n < 0 && errno != 0 ? static_cast<std::uint32_t>(errno) : EIO;
        }
        // Past the pieces written whole, into the one written in part.
        auto left = static_cast<std::size_t>(n);
        for (; count > 0 && left >= pieces->iov_len; ++pieces, --count) {
            left -= pieces->iov_len;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<char*>(pieces->iov_base) + left;
            pieces->iov_len -= left;
        }
    }
    return 0;
}

}  // namespace

void WriteLine(std::string_view text, NativeStringView tail) {
    if (outputError != 0) {
        return;  // like a stream in its failed state: later lines are lost
    }
    char lineEnd = '\n';
    iovec pieces[] = {{const_cast<char*>(text.data()), text.size()},
                      {const_cast<char*>(tail.data()), tail.size()},
                      {&lineEnd, 1}};
    outputError = WriteAll(pieces, 3);
}

void LoseLine(std::uint32_t code) {
    if (outputError == 0) {
        outputError = code;
    }
}

std::uint32_t OutputError() {
    return outputError;
}

int ToExitStatus(std::uint32_t status) {
    // Exit statuses are 8 bits wide; a larger code must still fail.
    return status > 255 ? 255 : static_cast<int>(status);
}

}  // namespace platform
