#include "platform/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace platform {
namespace {

// Buffers of 64 to 256 KiB on Linux, and of 64 KiB to 1 MiB under Wine, hash
// a cached file equally fast (within 1%: the copy out of the page cache costs
// the same per byte, and the calls are too few to show). So the rest decides: 64 KiB
// takes 1,025 reads for 64 MiB, larger only adds to the peak memory, and
// 128 KiB (513 reads) stays in the L2 cache, where copies out of it are
// cheap.
constexpr std::size_t kReadAheadSize = 128 * 1024;

struct ReadAheadFile {
    // The buffer is left unset: it is filled before it is read.
    // cppcheck-suppress uninitMemberVar
    explicit ReadAheadFile(SystemFile system) : file(system) {}  // NOLINT(*-pro-type-member-init)

    SystemFile file;
    std::uint32_t next = 0;  // first byte not yet served
    std::uint32_t end = 0;   // one past the last byte read
    alignas(64) std::uint8_t buffer[kReadAheadSize];
};

ReadAheadFile* FromHandle(FileHandle file) {
    return reinterpret_cast<ReadAheadFile*>(file);
}

}  // namespace

FileHandle AdoptForReadAhead(SystemFile file) {
    auto* adopted = new (std::nothrow) ReadAheadFile(file);
    return adopted != nullptr ? reinterpret_cast<FileHandle>(adopted) : kInvalidFile;
}

bool ReadChunk(FileHandle file, std::uint8_t* buffer, std::uint32_t size,
               std::uint32_t* bytesRead) {
    ReadAheadFile& f = *FromHandle(file);
    *bytesRead = 0;
    // Never trust a size: refill until a system read gives 0 bytes, the end
    // of the file. A failed refill keeps its own reason.
    if (f.next == f.end) {
        std::uint32_t filled = 0;
        if (!ReadSystemFile(f.file, f.buffer, sizeof f.buffer, &filled)) {
            return false;
        }
        f.next = 0;
        f.end = filled;
    }
    const std::uint32_t n = std::min(size, f.end - f.next);
    std::memcpy(buffer, f.buffer + f.next, n);
    f.next += n;
    *bytesRead = n;
    return true;
}

void CloseFile(FileHandle file) {
    if (file == kInvalidFile) {
        return;  // never opened: nothing to release
    }
    ReadAheadFile* f = FromHandle(file);
    CloseSystemFile(f->file);
    delete f;
}

}  // namespace platform
