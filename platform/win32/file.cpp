// Files on Windows: the kernel32 calls as they are, and the reader thread,
// behind the shared read-ahead.
#include <windows.h>

#include "platform/platform.h"
#include "platform/read_ahead.h"

namespace platform {
namespace {

HANDLE ToHandle(SystemFile file) {
    return reinterpret_cast<HANDLE>(file);
}

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
    const FileHandle file = AdoptForReadAhead(reinterpret_cast<SystemFile>(hFile));
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
    return ok != FALSE;
}

void CloseSystemFile(SystemFile file) {
    CloseHandle(ToHandle(file));
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

void JoinReaderThread(SystemThread thread) {
    const HANDLE hThread = reinterpret_cast<HANDLE>(thread);
    WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
}

}  // namespace platform
