// Files on Windows: the kernel32 calls as they are. The handle travels as
// the platform layer's integer, so INVALID_HANDLE_VALUE is kInvalidFile.
#include <windows.h>

#include "platform/platform.h"

namespace platform {
namespace {

HANDLE ToHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

}  // namespace

FileHandle OpenForSequentialRead(const NativeChar* path) {
    // Others may read the file meanwhile, nobody may change it.
    const HANDLE hFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return reinterpret_cast<FileHandle>(hFile);
}

bool ReadChunk(FileHandle file, std::uint8_t* buffer, std::uint32_t size,
               std::uint32_t* bytesRead) {
    DWORD cbRead = 0;
    const BOOL ok = ReadFile(ToHandle(file), buffer, size, &cbRead, nullptr);
    *bytesRead = cbRead;
    return ok != FALSE;
}

void CloseFile(FileHandle file) {
    // Never hand INVALID_HANDLE_VALUE on: it is the current process's
    // pseudo-handle, which debuggers and handle checkers stop on.
    if (file != kInvalidFile) {
        CloseHandle(ToHandle(file));
    }
}

}  // namespace platform
