// The POSIX backend keeps its own last-error value, set by each failing
// call of the layer, as Windows keeps one per thread: errno itself is
// overwritten by unrelated library calls.
#pragma once

namespace platform::posix {

// Records `error` (an errno value) as the reason for the call that failed.
void RecordFailure(int error);

}  // namespace platform::posix
