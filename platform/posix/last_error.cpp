#include "platform/posix/last_error.h"

#include <cstdint>

#include "platform/platform.h"

namespace {
// Single-threaded program: one value, as the one thread's last-error value.
std::uint32_t lastError = 0;
}  // namespace

namespace platform {

std::uint32_t LastError() {
    return lastError;
}

namespace posix {
void RecordFailure(int error) {
    lastError = static_cast<std::uint32_t>(error);
}
}  // namespace posix

}  // namespace platform
