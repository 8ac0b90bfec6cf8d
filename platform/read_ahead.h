// The read-ahead both backends put behind ReadChunk: the Digester asks for
// 1024 bytes at a time, and a system call per KiB would dominate the run.
// Large system reads fill a ring of buffers that lives with the open file,
// one thread reading ahead while the Digester's thread hashes, and the
// Digester's reads are served from it. This file names no system header;
// each backend supplies only the system file, the call that reads it, and
// a thread to read on.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace platform {

// The ring's shape, chosen in read_ahead.cpp; its test derives its cases
// from these. The first read, and every read where no ring can be had, goes
// to a buffer of the open file's own: a file that ends within it takes no
// ring and starts no thread.
inline constexpr std::uint32_t kFirstReadSize = 32 * 1024;
inline constexpr std::uint32_t kReadAheadSlots = 2;
inline constexpr std::uint32_t kReadAheadSlotSize = 512 * 1024;
// How far ahead of each slot the reader asks for its bytes.
inline constexpr std::uint64_t kCacheAhead = 16 << 20;

// The backend's own file: a descriptor on POSIX, a HANDLE on Windows.
using SystemFile = std::intptr_t;
// The backend's own thread: a pthread_t on POSIX, a HANDLE on Windows.
using SystemThread = std::uintptr_t;

// Supplied by each backend: one system read of up to `size` bytes, retried
// where the system says to retry; on failure the reason is recorded for the
// calling thread's LastError(). Success with *bytesRead == 0 is the end of
// the file.
bool ReadSystemFile(SystemFile file, std::uint8_t* buffer, std::uint32_t size,
                    std::uint32_t* bytesRead);
void CloseSystemFile(SystemFile file);
// Memory for the ring, `size` bytes aligned for any type, or null when the
// system gives none (the file is then read inline, in the first buffer).
void* AllocateRing(std::size_t size);
void ReleaseRing(void* ring, std::size_t size);
// Asks the system to bring `size` bytes at `offset` into its cache without
// waiting for them: only a hint, whose failure changes nothing. Asked only
// of files adopted with `askToCache`.
void AskToCache(SystemFile file, std::uint64_t offset, std::uint32_t size);
// Makes `code` the calling thread's LastError(): a failed read is met on
// the reader thread and reported on the Digester's.
void RecordReadFailure(std::uint32_t code);
// Runs ReadAheadThread(file) on a new thread; false, with nothing started,
// when the system gives no thread (the file is then read inline). Joining
// waits for it to return and releases the thread; where the Digester can
// stop early (Windows), it first ends a read that might never return.
bool StartReaderThread(void* file, SystemThread* thread);
void JoinReaderThread(SystemThread thread);

// Sleeps while `value` holds `old` (it may return sooner: callers look
// again); wakes the thread sleeping on `value`, at no cost when none does.
void WaitWhileEqual(const std::atomic<std::uint32_t>& value, std::uint32_t old);
void WakeWaiter(std::atomic<std::uint32_t>& value);

// The reader thread's whole work on `file`, as StartReaderThread gave it.
void ReadAheadThread(void* file);

// Takes ownership of an open system file and gives the handle that
// ReadChunk and CloseFile take; kInvalidFile, with `file` untouched and
// still the caller's, when there is no memory even for the first buffer.
// With `askToCache`, the reader asks for each slot's bytes ahead of it.
FileHandle AdoptForReadAhead(SystemFile file, bool askToCache);

}  // namespace platform
