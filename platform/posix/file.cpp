// Files on POSIX: open/read/close and the reader thread, behind the shared
// read-ahead.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/last_error.h"
#include "platform/read_ahead.h"

namespace platform {
namespace {

void* RunReader(void* file) {
    ReadAheadThread(file);
    return nullptr;
}

// Asking ahead pays where a disk's queue takes the requests: a regular file
// on a block device. A file system with no device of its own (FUSE, NFS,
// tmpfs, /proc) has a major number of 0; on FUSE answering each request
// 1 ms late, the requests ahead queued before the reader's own and made the
// run 15% slower.
bool WorthAskingToCache(const struct stat& st) {
    return S_ISREG(st.st_mode) && major(st.st_dev) != 0;
}

}  // namespace

FileHandle OpenForSequentialRead(const NativeChar* path) {
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);  // a FIFO's open can be interrupted
    if (fd < 0) {
        posix::RecordFailure(errno);
        return kInvalidFile;
    }
    struct stat st {};
    const int error = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (error != 0) {
        ::close(fd);
        posix::RecordFailure(error);
        return kInvalidFile;
    }
    const FileHandle file = AdoptForReadAhead(fd, WorthAskingToCache(st));
    if (file == kInvalidFile) {
        ::close(fd);
        posix::RecordFailure(ENOMEM);
        return kInvalidFile;
    }
    // Only a hint; pipes and some devices refuse it.
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return file;
}

bool ReadSystemFile(SystemFile file, std::uint8_t* buffer, std::uint32_t size,
                    std::uint32_t* bytesRead) {
    ssize_t n;
    do {
        n = ::read(static_cast<int>(file), buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        posix::RecordFailure(errno);
        return false;
    }
    *bytesRead = static_cast<std::uint32_t>(n);
    return true;
}

// Starts the reads and returns.
void AskToCache(SystemFile file, std::uint64_t offset, std::uint32_t size) {
    (void)::posix_fadvise(static_cast<int>(file), static_cast<off_t>(offset), size,
                          POSIX_FADV_WILLNEED);
}

void CloseSystemFile(SystemFile file) {
    ::close(static_cast<int>(file));  // never retried: the descriptor is gone either way
}

void RecordReadFailure(std::uint32_t code) {
    posix::RecordFailure(static_cast<int>(code));
}

bool StartReaderThread(void* file, SystemThread* thread) {
    pthread_t id;
    // EAGAIN at a thread limit, EPERM in some sandboxes: read inline then.
    if (::pthread_create(&id, nullptr, RunReader, file) != 0) {
        return false;
    }
    static_assert(sizeof id <= sizeof *thread);
    *thread = 0;
    std::memcpy(thread, &id, sizeof id);
    return true;
}

// The C++ library's futex wait on Linux: a wake is a system call only when
// the other thread waits.
void WaitWhileEqual(const std::atomic<std::uint32_t>& value, std::uint32_t old) {
    value.wait(old, std::memory_order_acquire);
}

void WakeWaiter(std::atomic<std::uint32_t>& value) {
    // The caller's release store of the value, and the library's look for a
    // sleeper inside notify_one, are a store and a load of two places: x86
    // may let the load pass the store, see no sleeper yet and skip the wake
    // while the sleeper still reads the old value. The fence keeps them in
    // order, as the Windows backend's does.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    value.notify_one();
}

void JoinReaderThread(SystemThread thread) {
    pthread_t id;
    std::memcpy(&id, &thread, sizeof id);
    ::pthread_join(id, nullptr);
}

}  // namespace platform
