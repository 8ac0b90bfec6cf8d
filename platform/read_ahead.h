// The read-ahead both backends put behind ReadChunk: the Digester asks for
// 1024 bytes at a time, and a system call per KiB would dominate the run.
// One system read fills a buffer that lives with the open file, and the
// Digester's reads are served from it. This file names no system header;
// each backend supplies only the system file and the call that reads it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace platform {

// The backend's own file: a descriptor on POSIX, a HANDLE on Windows.
using SystemFile = std::intptr_t;

// Supplied by each backend: one system read of up to `size` bytes, retried
// where the system says to retry; on failure the reason is recorded for
// LastError(). Success with *bytesRead == 0 is the end of the file.
bool ReadSystemFile(SystemFile file, std::uint8_t* buffer, std::uint32_t size,
                    std::uint32_t* bytesRead);
void CloseSystemFile(SystemFile file);

// Takes ownership of an open system file and gives the handle that
// ReadChunk and CloseFile take; kInvalidFile, with `file` untouched and
// still the caller's, when there is no memory for the buffer.
FileHandle AdoptForReadAhead(SystemFile file);

}  // namespace platform
