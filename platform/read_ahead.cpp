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
// it: the reader asks for each slot's bytes kCacheAhead (16 MiB) ahead of
// it, so that the storage works while the hashing does. Measured on a 1 GiB
// file read cold (AMD EPYC, family 25, model 17): 16 MiB gained 7-20%
// across batches, 32 and 64 MiB less, and asking before the first slot
// nothing more.

// What filling a buffer met. A buffer less than full is the last: the file
// ends after its bytes, or a read failed there, and the failure rides with
// it, served after the bytes.
struct Slot {
    std::uint32_t size = 0;   // bytes read into it
    bool failed = false;      // a read failed after them...
    std::uint32_t error = 0;  // ...for this reason
};

// The ring, once a file has outgrown the first buffer. `filled` counts the
// slots filled (written only by the side that reads), `served` the slot the
// Digester's thread serves from (written only by that thread); the reader
// may fill a slot while filled - served < kSlots. Its bytes are left unset
// until a read fills them.
struct Ring {  // NOLINT(*-pro-type-member-init)
    // Each on its own cache line: each side writes one, the other reads it.
    alignas(64) std::atomic<std::uint32_t> filled{0};
    alignas(64) std::atomic<std::uint32_t> served{0};
    std::atomic<bool> stop{false};
    Slot slots[kSlots];
    alignas(64) std::uint8_t bytes[kSlots][kSlotSize];
};

// The open file: the system file, the first buffer, and the ring and its
// reader thread where the file is longer. All but the ring is the Digester's
// thread's alone, but for `file` and `askToCache`, set before the reader runs.
struct ReadAheadFile {
    // The first buffer's bytes are left unset until a read fills them.
    // cppcheck-suppress uninitMemberVar
    ReadAheadFile(SystemFile system, bool ask)  // NOLINT(*-pro-type-member-init)
        : file(system), askToCache(ask) {}

    SystemFile file;
    bool askToCache;
    bool ringAsked = false;  // asked once, when the first buffer is outgrown
    Ring* ring = nullptr;    // null where the system gave none
    SystemThread thread = 0;
    bool threaded = false;
    // The buffer being served: its fill, its bytes and its first byte not
    // yet served; no buffer before the first read.
    Slot* served = nullptr;
    const std::uint8_t* bytes = nullptr;
    std::uint32_t next = 0;
    Slot first;
    alignas(64) std::uint8_t firstBytes[kFirstReadSize];
};

// The two places a handle and the file's state meet.
FileHandle ToHandle(ReadAheadFile* file) {
    return file != nullptr ? reinterpret_cast<FileHandle>(file) : kInvalidFile;
}

ReadAheadFile& FromHandle(FileHandle file) {
    return *reinterpret_cast<ReadAheadFile*>(file);
}

// Fills `slot` with system reads into bytes[0, capacity) until it is full,
// the file ends or a read fails; true when it is full, so more may follow.
// Never trusts a size: only a read that gives 0 bytes ends the file.
bool FillSlot(SystemFile file, std::uint8_t* bytes, std::uint32_t capacity, Slot& slot) {
    slot.size = 0;
    while (slot.size < capacity) {
        std::uint32_t n = 0;
        if (!ReadSystemFile(file, bytes + slot.size, capacity - slot.size, &n)) {
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

// Whether the ring is there to serve from: asked for once, when the first
// buffer is outgrown. Where the system gives none, the first buffer is
// filled again inline.
bool HasRing(ReadAheadFile& f) {
    if (!f.ringAsked) {
        f.ringAsked = true;
        void* memory = AllocateRing(sizeof(Ring));
        f.ring = memory != nullptr ? new (memory) Ring : nullptr;
    }
    return f.ring != nullptr;
}

// Makes the next buffer the served one, waiting until it is filled, or
// filling it inline where no thread reads ahead (yet).
void ServeNext(ReadAheadFile& f) {
    f.next = 0;
    if (f.served == nullptr || (f.served == &f.first && !HasRing(f))) {
        FillSlot(f.file, f.firstBytes, kFirstReadSize, f.first);
        f.served = &f.first;
        f.bytes = f.firstBytes;
        return;
    }
    Ring& ring = *f.ring;
    std::uint32_t served = ring.served.load(std::memory_order_relaxed);
    if (f.served != &f.first) {
        // A full slot is never the last: served in full, it goes back to be
        // filled again.
        ring.served.store(++served, std::memory_order_release);
        WakeWaiter(ring.served);
    }
    // The first slot is filled here, and every slot where no thread runs: a
    // file that ends within it starts none.
    std::uint32_t filled = ring.filled.load(std::memory_order_acquire);
    if (filled == served && !f.threaded) {
        const bool more = FillSlot(f.file, ring.bytes[served % kSlots], kSlotSize, ring.slots[served % kSlots]);
        ring.filled.store(++filled, std::memory_order_relaxed);
        if (more && served == 0) {
            f.threaded = StartReaderThread(&f, &f.thread);
        }
    }
    while (filled == served) {
        WaitWhileEqual(ring.filled, filled);
        filled = ring.filled.load(std::memory_order_acquire);
    }
    f.served = &ring.slots[served % kSlots];
    f.bytes = ring.bytes[served % kSlots];
}

}  // namespace

void ReadAheadThread(void* file) {
    ReadAheadFile& f = *static_cast<ReadAheadFile*>(file);
    Ring& ring = *f.ring;
    for (std::uint32_t filled = ring.filled.load(std::memory_order_relaxed);;) {
        std::uint32_t served = ring.served.load(std::memory_order_acquire);
        while (filled - served == kSlots) {  // every slot waits to be served
            WaitWhileEqual(ring.served, served);
            served = ring.served.load(std::memory_order_acquire);
        }
        if (ring.stop.load(std::memory_order_relaxed)) {
            return;
        }
        const std::uint64_t offset = kFirstReadSize + std::uint64_t{filled} * kSlotSize;
        if (f.askToCache) {
            AskToCache(f.file, offset + kCacheAhead, kSlotSize);
        }
        const bool more = FillSlot(f.file, ring.bytes[filled % kSlots], kSlotSize, ring.slots[filled % kSlots]);
        ring.filled.store(++filled, std::memory_order_release);
        WakeWaiter(ring.filled);
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
    const std::uint32_t capacity = f.served == &f.first ? kFirstReadSize : kSlotSize;
    if (f.served == nullptr || f.next == capacity) {
        ServeNext(f);
    }
    const Slot& slot = *f.served;
    if (f.next == slot.size) {
        if (slot.failed) {
            RecordReadFailure(slot.error);
            return false;
        }
        return true;  // the end of the file
    }
    const std::uint32_t n = std::min(size, slot.size - f.next);
    std::memcpy(buffer, f.bytes + f.next, n);
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
        f->ring->stop.store(true, std::memory_order_relaxed);
        f->ring->served.fetch_add(1, std::memory_order_release);
        WakeWaiter(f->ring->served);
        JoinReaderThread(f->thread);
    }
    CloseSystemFile(f->file);
    if (f->ring != nullptr) {
        f->ring->~Ring();
        ReleaseRing(f->ring, sizeof(Ring));
    }
    delete f;
}

}  // namespace platform
