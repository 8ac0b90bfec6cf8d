// Files on POSIX: open/read/close and the reader thread, behind the shared
// read-ahead.
#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix/ask_ahead.h"
#include "platform/posix/interrupted.h"
#include "platform/posix/last_error.h"
#include "platform/read_ahead.h"

namespace platform {
namespace {
// Threads that sleep in WaitWhileEqual: a wake is a system call only when
// one does.
std::atomic<std::uint32_t> sleepers{0};

void* RunReader(void* file) {
    ReadAheadThread(file);
    return nullptr;
}

// Asked of regular files on a file system where it pays: one call, on the
// descriptor already open.
bool WorthAskingToCache(int fd, const struct stat& st) {
    struct statfs fs {};
    return S_ISREG(st.st_mode) && ::fstatfs(fd, &fs) == 0 &&
           posix::WorthAskingAhead(static_cast<std::uint32_t>(fs.f_type));
}

}  // namespace

FileHandle OpenForSequentialRead(const NativeChar* path) {
    // A FIFO's open waits for a writer, and can be interrupted.
    const int fd = posix::RetryInterrupted([path] { return ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY); });
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
    // A regular file that says it ends within its first read gains nothing
    // from hints, and the two calls are a tenth of such a run's own time.
    // The size decides only this: the file is read to its end whatever it says.
    const bool hinted = !S_ISREG(st.st_mode) || st.st_size > kFirstReadSize;
    const FileHandle file = AdoptForReadAhead(fd, hinted && WorthAskingToCache(fd, st));
    if (file == kInvalidFile) {
        ::close(fd);
        posix::RecordFailure(ENOMEM);
        return kInvalidFile;
    }
    if (hinted) {
        // Only a hint; pipes and some devices refuse it.
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    return file;
}

bool ReadSystemFile(SystemFile file, std::uint8_t* buffer, std::uint32_t size,
                    std::uint32_t* bytesRead) {
    const ssize_t n = posix::RetryInterrupted([&] { return ::read(static_cast<int>(file), buffer, size); });
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

// Pages of its own, given back whole at the close; refused under a small
// RLIMIT_DATA or RLIMIT_AS.
void* AllocateRing(std::size_t size) {
    void* ring = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return ring != MAP_FAILED ? ring : nullptr;
}

void ReleaseRing(void* ring, std::size_t size) {
    ::munmap(ring, size);
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

// The futex itself, not the C++ library's wait: that one sleeps with no
// limit, so a wake the kernel never delivered would hang the command. The
// kernel loses none, but a fault injector that fails a FUTEX_WAKE skips it;
// each sleep here ends after a while and looks again, so a lost wake costs
// at most that while.
void WaitWhileEqual(const std::atomic<std::uint32_t>& value, std::uint32_t old) {
    static_assert(sizeof value == sizeof(std::uint32_t));
    constexpr timespec kLookAgainAfter{0, 100'000'000};
    // SYS_futex takes the kernel's native timespec, whose seconds are a long;
    // a 64-bit time_t on a 32-bit system would need futex_time64.
    static_assert(sizeof kLookAgainAfter.tv_sec == sizeof(long));
    sleepers.fetch_add(1);
    // Counted before the look at the value, as WakeWaiter changes the value
    // before it looks for sleepers: one of the two sees the other.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    while (value.load(std::memory_order_acquire) == old) {
        // EAGAIN (the value moved), EINTR, ETIMEDOUT: all mean look again.
        ::syscall(SYS_futex, &value, FUTEX_WAIT_PRIVATE, old, &kLookAgainAfter, nullptr, 0);
    }
    sleepers.fetch_sub(1, std::memory_order_relaxed);
}

void WakeWaiter(std::atomic<std::uint32_t>& value) {
    // The caller's release store of the value and the look for a sleeper
    // below are a store and a load of two places: x86 may let the load pass
    // the store, see no sleeper and skip the wake while the sleeper still
    // reads the old value. The fence keeps them in order.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (sleepers.load(std::memory_order_relaxed) != 0) {
        ::syscall(SYS_futex, &value, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    }
}

void JoinReaderThread(SystemThread thread) {
    pthread_t id;
    std::memcpy(&id, &thread, sizeof id);
    ::pthread_join(id, nullptr);
}

}  // namespace platform
