#include <windows.h>
#include <shlwapi.h>

#include "platform/platform.h"

namespace platform {

// Understands both separators, and drive letters.
const NativeChar* FinalComponent(const NativeChar* path) {
    return PathFindFileNameW(path);
}

}  // namespace platform
