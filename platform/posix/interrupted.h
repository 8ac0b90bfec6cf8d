// System calls that an interruption cuts short are made again, but not for
// ever: a file system that answers EINTR to every request (a broken or
// hostile FUSE server) would otherwise hold the command at full speed for
// good.
#pragma once

#include <cerrno>

namespace platform::posix {

// This program installs no signal handler, so the kernel restarts a call
// that a stop and continue, or a tracer attaching, cut short, and EINTR
// reaches it only from a file system or device that reports it, at most
// once a signal. A hundred in a row with nothing done between them is no
// signal anybody sends: the call has failed, with EINTR as its reason.
inline constexpr int kMostInterruptions = 100;

// `call()`'s result, made again while it fails with EINTR, up to
// kMostInterruptions times; after that the EINTR failure stands.
template <typename Call>
auto RetryInterrupted(Call call) {
    auto result = call();
    for (int retries = 0; result < 0 && errno == EINTR && retries < kMostInterruptions; ++retries) {
        result = call();
    }
    return result;
}

}  // namespace platform::posix
