// Files on Windows: the kernel32 calls as they are, and the reader thread,
// behind the shared read-ahead.
#include <windows.h>

#include <atomic>

#include "platform/platform.h"
#include "platform/read_ahead.h"

namespace platform {
namespace {

HANDLE ToHandle(SystemFile file) {
    return reinterpret_cast<HANDLE>(file);
}

// One lock and condition variable serve the one file open at a time. The
// C++ library's own wait would go through a mutex and condition variable of
// the POSIX threads layer here, which are slow under Wine; these are the
// system's.
SRWLOCK waitLock = SRWLOCK_INIT;
CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
std::atomic<std::uint32_t> sleepers{0};

DWORD WINAPI RunReader(LPVOID file) {
    ReadAheadThread(file);
    return 0;
}

}  // namespace

FileHandle OpenForSequentialRead(const NativeChar* path) {
    // Others may read the file meanwhile, nobody may change it.
    const HANDLE hFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        return kInvalidFile;  // CreateFileW's own last-error value stands
    }
    const FileHandle file = AdoptForReadAhead(reinterpret_cast<SystemFile>(hFile), false);
    if (file == kInvalidFile) {
        CloseHandle(hFile);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return file;
}

bool ReadSystemFile(SystemFile file, std::uint8_t* buffer, std::uint32_t size,
                    std::uint32_t* bytesRead) {
    DWORD cbRead = 0;
    const BOOL ok = ReadFile(ToHandle(file), buffer, size, &cbRead, nullptr);
    *bytesRead = cbRead;
    // A pipe whose writer has closed reports its end of data this way.
    return ok != FALSE || GetLastError() == ERROR_BROKEN_PIPE;
}

// Never asked: FILE_FLAG_SEQUENTIAL_SCAN already has the cache manager
// read ahead.
void AskToCache(SystemFile, std::uint64_t, std::uint32_t) {}

void CloseSystemFile(SystemFile file) {
    CloseHandle(ToHandle(file));
}

// Pages of its own, given back whole at the close.
void* AllocateRing(std::size_t size) {
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void ReleaseRing(void* ring, std::size_t /*size*/) {
    VirtualFree(ring, 0, MEM_RELEASE);
}

void RecordReadFailure(std::uint32_t code) {
    SetLastError(code);
}

bool StartReaderThread(void* file, SystemThread* thread) {
    // Nothing but ReadFile runs on it: the C runtime needs no set-up there.
    const HANDLE hThread = CreateThread(nullptr, 0, RunReader, file, 0, nullptr);
    if (hThread == nullptr) {
        return false;
    }
    *thread = reinterpret_cast<SystemThread>(hThread);
    return true;
}

void WaitWhileEqual(const std::atomic<std::uint32_t>& value, std::uint32_t old) {
    AcquireSRWLockExclusive(&waitLock);
    sleepers.fetch_add(1);
    while (value.load() == old) {
        SleepConditionVariableSRW(&changed, &waitLock, INFINITE, 0);
    }
    sleepers.fetch_sub(1);
    ReleaseSRWLockExclusive(&waitLock);
}

void WakeWaiter(std::atomic<std::uint32_t>& /*value*/) {
    // The caller changed the value just before: either a sleeper counted
    // itself before this look, or it will see the change.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (sleepers.load() == 0) {
        return;
    }
    // Taking the lock waits for a sleeper between its look and its sleep.
    AcquireSRWLockExclusive(&waitLock);
    ReleaseSRWLockExclusive(&waitLock);
    WakeAllConditionVariable(&changed);
}

void JoinReaderThread(SystemThread thread) {
    const HANDLE hThread = reinterpret_cast<HANDLE>(thread);
    // After an early stop (CryptHashData failed) the reader may sit in a
    // ReadFile of a pipe or console whose writer stays open and silent, and
    // never return. Cancelling that read ends it (ERROR_OPERATION_ABORTED,
    // and the reader stops). Asked again while the thread runs, since a
    // cancel that comes before it enters ReadFile finds nothing to cancel.
    while (WaitForSingleObject(hThread, 10) == WAIT_TIMEOUT) {
        CancelSynchronousIo(hThread);
    }
    CloseHandle(hThread);
}

}  // namespace platform
