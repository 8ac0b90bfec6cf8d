#include <cstring>

#include "platform/platform.h"

namespace platform {

// After the last '/', except that a trailing '/' stays with the component
// before it ("a/b/" shows "b/", "/" shows "/").
const NativeChar* FinalComponent(const NativeChar* path) {
    const std::size_t length = std::strlen(path);
    std::size_t end = length;
    while (end > 0 && path[end - 1] == '/') {
        --end;
    }
    if (end == 0) {
        // Only slashes (or empty): show the last one, or nothing.
        return length > 0 ? path + length - 1 : path;
    }
    std::size_t begin = end;
    while (begin > 0 && path[begin - 1] != '/') {
        --begin;
    }
    return path + begin;
}

}  // namespace platform
