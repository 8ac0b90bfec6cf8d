#include "platform/posix/last_error.h"

#include <cstdint>

#include "platform/platform.h"

namespace {
// One value per thread, as Windows keeps it: the reader thread's failures
// are its own until the Digester's thread is handed them.
thread_local std::uint32_t lastError = 0;
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
