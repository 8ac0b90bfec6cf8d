#include "platform/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace platform {
namespace {

// Reading overlaps hashing only where each read is large: in a prototype on
// a cached file, a ring of about 1 MiB read in pieces of 512 KiB or more
// brought the whole run within a few percent of the hashing alone, while the
// same ring in pieces of 128 KiB or less lost it again to the calls, and
// larger rings only added to the peak memory. Two slots are enough for one
// reader and one hasher: one is filled while the other is hashed. (The
// values are in read_ahead.h, for the ring's test.)
constexpr std::uint32_t kSlots = kReadAheadSlots;
constexpr std::uint32_t kSlotSize = kReadAheadSlotSize;
// On a file not yet cached, the ring alone keeps the storage at most 1 MiB
// ahead of the hashing, and the system's own read-ahead did not make up for
// it: the reader asks for each slot's bytes this far ahead of it, so that
// the storage works while the hashing does. Measured on a 1 GiB file read
// cold (AMD EPYC, family 25, model 17): 16 MiB gained 7-20% across batches,
// 32 and 64 MiB less, and asking before the first slot nothing more.
constexpr std::uint64_t kCacheAhead = 16 << 20;

// One buffer of the ring and what filling it met. A slot less than full is
// the last: the file ends after its bytes, or a read failed there, and the
// failure rides with it, served after the bytes. The bytes are left unset
// until a read fills them.
struct Slot {  // NOLINT(*-pro-type-member-init)
    std::uint32_t size = 0;   // bytes read into it
    bool failed = false;      // a read failed after them...
    std::uint32_t error = 0;  // ...for this reason
    alignas(64) std::uint8_t bytes[kSlotSize];
};

// The open file: the system file, its ring and, once the first slot is full,
// the reader thread. `filled` counts the slots filled (written only by the
// side that reads), `served` the slot the Digester's thread serves from
// (written only by that thread); the reader may fill a slot while
// filled - served < kSlots.
struct ReadAheadFile {
    // cppcheck-suppress uninitMemberVar
    ReadAheadFile(SystemFile system, bool ask)  // NOLINT(*-pro-type-member-init)
        : file(system), askToCache(ask) {}

    SystemFile file;
    SystemThread thread = 0;  // set, and read, by the Digester's thread alone
    bool threaded = false;    // likewise
    std::uint32_t next = 0;   // likewise: the served slot's first byte not yet served
    bool askToCache;  // set before the reader runs, then read by it alone
    // Each on its own cache line: each side writes one, the other reads it.
    alignas(64) std::atomic<std::uint32_t> filled{0};
    alignas(64) std::atomic<std::uint32_t> served{0};
    std::atomic<bool> stop{false};
    Slot slots[kSlots];
};

// The two places a handle and the file's state meet.
FileHandle ToHandle(ReadAheadFile* file) {
    return file != nullptr ? reinterpret_cast<FileHandle>(file) : kInvalidFile;
}

ReadAheadFile& FromHandle(FileHandle file) {
    return *reinterpret_cast<ReadAheadFile*>(file);
}

// Fills `slot` with system reads until it is full, the file ends or a read
// fails; true when it is full, so more may follow. Never trusts a size: only
// a read that gives 0 bytes ends the file.
bool FillSlot(SystemFile file, Slot& slot) {
    slot.size = 0;
    while (slot.size < kSlotSize) {
        std::uint32_t n = 0;
        if (!ReadSystemFile(file, slot.bytes + slot.size, kSlotSize - slot.size, &n)) {
            slot.failed = true;
            slot.error = LastError();  // this thread's, the read's own reason
            return false;
        }
        if (n == 0) {
            return false;
        }
        slot.size += n;
    }
    return true;
}

// The slot the Digester's thread serves from, waiting until it is filled.
// The first slot is filled here, and every slot where no thread runs: a file
// that ends within the first slot starts none.
Slot& ServedSlot(ReadAheadFile& f) {
    const std::uint32_t served = f.served.load(std::memory_order_relaxed);
    std::uint32_t filled = f.filled.load(std::memory_order_acquire);
    if (filled == served && !f.threaded) {
        const bool more = FillSlot(f.file, f.slots[served % kSlots]);
        f.filled.store(++filled, std::memory_order_relaxed);
        if (more && served == 0) {
            f.threaded = StartReaderThread(&f, &f.thread);
        }
    }
    while (filled == served) {
        WaitWhileEqual(f.filled, filled);
        filled = f.filled.load(std::memory_order_acquire);
    }
    return f.slots[served % kSlots];
}

}  // namespace

void ReadAheadThread(void* file) {
    ReadAheadFile& f = *static_cast<ReadAheadFile*>(file);
    std::uint32_t filled = f.filled.load(std::memory_order_relaxed);
    for (;;) {
        std::uint32_t served = f.served.load(std::memory_order_acquire);
        while (filled - served == kSlots) {  // every slot waits to be served
            WaitWhileEqual(f.served, served);
            served = f.served.load(std::memory_order_acquire);
        }
        if (f.stop.load(std::memory_order_relaxed)) {
            return;
        }
        if (f.askToCache) {
            AskToCache(f.file, std::uint64_t{filled} * kSlotSize + kCacheAhead, kSlotSize);
        }
        const bool more = FillSlot(f.file, f.slots[filled % kSlots]);
        f.filled.store(++filled, std::memory_order_release);
        WakeWaiter(f.filled);
        if (!more) {
            return;
        }
    }
}

FileHandle AdoptForReadAhead(SystemFile file, bool askToCache) {
    return ToHandle(new (std::nothrow) ReadAheadFile(file, askToCache));
}

bool ReadChunk(FileHandle file, std::uint8_t* buffer, std::uint32_t size,
               std::uint32_t* bytesRead) {
    ReadAheadFile& f = FromHandle(file);
    *bytesRead = 0;
    Slot* slot = &ServedSlot(f);
    if (f.next == kSlotSize) {
        // A full slot is never the last: served in full, it goes back to be
        // filled again.
        f.next = 0;
        f.served.store(f.served.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        WakeWaiter(f.served);
        slot = &ServedSlot(f);
    }
    if (f.next == slot->size) {
        if (slot->failed) {
            RecordReadFailure(slot->error);
            return false;
        }
        return true;  // the end of the file
    }
    const std::uint32_t n = std::min(size, slot->size - f.next);
    std::memcpy(buffer, slot->bytes + f.next, n);
    f.next += n;
    *bytesRead = n;
    return true;
}

void CloseFile(FileHandle file) {
    if (file == kInvalidFile) {
        return;  // never opened: nothing to release
    }
    ReadAheadFile* f = &FromHandle(file);
    if (f->threaded) {
        // The Digester stops early only when hashing fails: the reader stops
        // after its current read. Handing back the served slot wakes it if
        // it waits for room.
        f->stop.store(true, std::memory_order_relaxed);
        f->served.fetch_add(1, std::memory_order_release);
        WakeWaiter(f->served);
        JoinReaderThread(f->thread);
    }
    CloseSystemFile(f->file);
    delete f;
}

}  // namespace platform
