#include <windows.h>

#include "platform/platform.h"

namespace platform {

// The calling thread's last-error value, as every call of this layer sets it.
std::uint32_t LastError() {
    return GetLastError();
}

}  // namespace platform
