// The read-ahead ring alone, over a scripted backend that owns every wait:
// system reads that are short or fail at any point, a thread refused, an
// early stop, and where a row says so each side made to wait for the other.
// Served as the Digester reads, a chunk at a time, each row must give the
// file's own bytes, then its end or the failed read's code; every thread
// started is joined before the file is closed, once; no read begins after
// the last slot or the stop. A sleeping side wakes only when woken on the
// counter it sleeps on, with that counter past the value it slept on: a
// change without such a wake is found at the changing side's next call.
// Under ThreadSanitizer too, where a count published before its bytes is a
// reported race.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/read_ahead.h"

namespace {

using namespace std::chrono_literals;
using Count = std::atomic<std::uint32_t>;
constexpr auto kRelaxed = std::memory_order_relaxed;

constexpr std::uint32_t kFirst = platform::kFirstReadSize;
constexpr std::uint32_t kSlot = platform::kReadAheadSlotSize;
constexpr std::uint32_t kSlots = platform::kReadAheadSlots;
constexpr std::uint32_t kCode = 0xC0DE;  // the failed read's own code
constexpr std::uint32_t kDecoy = 183;    // what the Digester's thread held before

// Which side waits for the other, every time, so that each sleep is certain.
enum class Pace { Free, DigesterWaits, ReaderWaits };

struct Row {
    const char* what;
    std::uint32_t size;
    int starts;  // reader threads the ring starts
    Pace pace = Pace::Free;
    std::uint32_t readSize = kSlot;  // the most one system read gives (a pipe: less)
    int failingRead = 0;             // which system read fails, from 1; 0: none
    bool refused = false;            // the system gives no thread
    std::uint32_t stopAfter = 0;     // the Digester stops early after these bytes
    bool noRing = false;             // the system gives no memory for the ring
    bool ask = true;                 // the reader asks for each slot's bytes ahead
};

const Row kRows[] = {
    {.what = "a file within the first read and one slot starts no thread", .size = kFirst + kSlot - 1, .starts = 0},
    {.what = "the Digester waits for each short read", .size = kFirst + 3 * kSlot + 5, .starts = 1, .pace = Pace::DigesterWaits, .readSize = kSlot / 8},
    {.what = "the reader waits for room, asking nothing ahead; the file ends at a slot's end", .size = kFirst + (kSlots + 2) * kSlot, .starts = 1, .pace = Pace::ReaderWaits, .ask = false},
    {.what = "a read fails inside the first read", .size = 3 * kSlot, .starts = 0, .readSize = kFirst / 4, .failingRead = 3},
    {.what = "a read fails inside the second slot, on the reader", .size = kFirst + 3 * kSlot, .starts = 1, .pace = Pace::DigesterWaits, .readSize = kFirst, .failingRead = 1 + kSlot / kFirst + 4},
    {.what = "no thread to be had: the ring filled inline", .size = kFirst + 3 * kSlot + 5, .starts = 0, .readSize = kSlot / 8, .refused = true},
    {.what = "no ring to be had: the first buffer filled inline again", .size = 3 * kSlot + 5, .starts = 0, .readSize = kFirst / 4, .noRing = true},
    {.what = "an early stop while the reader waits for room", .size = kFirst + (kSlots + 4) * kSlot, .starts = 1, .stopAfter = kFirst + 10240},
};

std::uint8_t Byte(std::uint32_t offset) {
    return static_cast<std::uint8_t>(offset % 251);  // a slot out of place shows
}

// One of the ring's two counters: the value a side sleeps on, plus one (0:
// none sleeps), and the counter's value at the latest wake on it.
struct Counter {
    std::atomic<const Count*> count{nullptr};
    Count sleeper{0}, woken{0};
};

// One row's backend. Reads run on one side at a time (the Digester's thread
// until the reader starts), so their own counts need no atomics; the rest
// is relaxed, so that ThreadSanitizer sees the ring's own ordering alone.
struct Backend {
    const Row* row = nullptr;
    std::uint32_t offset = 0;
    int reads = 0;
    std::uint64_t hinted = 0;  // the latest hint's offset
    Counter counters[2];
    std::atomic<bool> readerDone{false}, over{false};  // over: a read gave the end or failed, or the Digester stopped
    std::atomic<int> readsAfterLast{0}, starts{0}, joins{0}, closes{0}, closedEarly{0}, lostWakes{0}, rings{0}, badHints{0};
};
Backend* backend = nullptr;
thread_local std::uint32_t lastError = 0;
thread_local bool onReader = false;

// Polls; a hang aborts with the row's name.
template <typename Until>
void Await(Until until, const char* hang) {
    for (const auto deadline = std::chrono::steady_clock::now() + 10s; !until(); std::this_thread::sleep_for(20us)) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "%s: %s\n", backend->row->what, hang);
            std::abort();
        }
    }
}

// The first counter a call names is counters[0], the other counters[1].
Counter& CounterOf(const Count& count) {
    const Count* first = nullptr;
    const bool isFirst = backend->counters[0].count.compare_exchange_strong(first, &count, kRelaxed) || first == &count;
    backend->counters[isFirst ? 0 : 1].count.store(&count, kRelaxed);
    return backend->counters[isFirst ? 0 : 1];
}

// At each call of one side: the other side, asleep on a counter that has
// left the value it slept on, must have been woken on it since. Only the
// calling side changes that counter, and wakes before its next call. A
// change without that wake is counted, and the sleeper let go.
void CheckWakes() {
    for (Counter& c : backend->counters) {
        const std::uint32_t sleeper = c.sleeper.load(kRelaxed);
        if (sleeper != 0 && c.count.load(kRelaxed)->load(kRelaxed) != sleeper - 1 && c.woken.load(kRelaxed) < sleeper) {
            backend->lostWakes.fetch_add(1, kRelaxed);
            c.woken.store(sleeper, kRelaxed);
        }
    }
}

// Whether the other side sleeps or is gone (a side never sees itself asleep).
bool OtherIdle() {
    return backend->counters[0].sleeper.load(kRelaxed) != 0 || backend->counters[1].sleeper.load(kRelaxed) != 0 ||
           backend->readerDone.load(kRelaxed) || backend->starts == 0;
}

}  // namespace

namespace platform {

std::uint32_t LastError() {
    return lastError;
}

void RecordReadFailure(std::uint32_t code) {
    lastError = code;
}

bool ReadSystemFile(SystemFile, std::uint8_t* buffer, std::uint32_t size, std::uint32_t* bytesRead) {
    CheckWakes();
    const Row& row = *backend->row;
    if (onReader && row.pace == Pace::DigesterWaits && !backend->over.load(kRelaxed)) {  // after the last, no one waits
        Await(OtherIdle, "the Digester never waited for a read");
    }
    // Each slot the reader fills is asked for first, kCacheAhead ahead of it.
    backend->badHints += row.ask && onReader && backend->offset >= kFirst && (backend->offset - kFirst) % kSlot == 0 &&
                         backend->hinted != backend->offset + platform::kCacheAhead;
    const int read = ++backend->reads;
    backend->readsAfterLast.fetch_add(backend->over.load(kRelaxed) ? 1 : 0, kRelaxed);
    *bytesRead = std::min({size, row.readSize, row.size - backend->offset});
    backend->over.store(backend->over.load(kRelaxed) || read == row.failingRead || *bytesRead == 0, kRelaxed);
    if (read == row.failingRead) {
        lastError = kCode;
        return false;
    }
    std::generate_n(buffer, *bytesRead, [at = backend->offset]() mutable { return Byte(at++); });
    backend->offset += *bytesRead;
    return true;
}

void AskToCache(SystemFile, std::uint64_t offset, std::uint32_t size) {
    backend->hinted = offset;
    backend->badHints += !backend->row->ask || size != kSlot;  // a slot at a time, where the file is asked
}

void* AllocateRing(std::size_t size) {
    ++backend->rings;
    return backend->row->noRing ? nullptr : ::operator new(size, std::align_val_t{64});
}

void ReleaseRing(void* ring, std::size_t) {
    ::operator delete(ring, std::align_val_t{64});
}

void CloseSystemFile(SystemFile) {
    CheckWakes();
    ++backend->closes;
    backend->closedEarly += backend->starts != backend->joins ? 1 : 0;
}

bool StartReaderThread(void* file, SystemThread* thread) {
    if (backend->row->refused) {
        return false;
    }
    ++backend->starts;
    *thread = reinterpret_cast<SystemThread>(new std::thread([file] {
        onReader = true;
        ReadAheadThread(file);
        CheckWakes();  // its last change needs its wake too
        backend->readerDone.store(true, kRelaxed);
    }));
    return true;
}

void JoinReaderThread(SystemThread thread) {
    CheckWakes();
    auto* reader = reinterpret_cast<std::thread*>(thread);
    reader->join();
    delete reader;
    ++backend->joins;
}

// Sleeps until woken on this counter with it past `old`, as a real sleeper
// would.
void WaitWhileEqual(const Count& count, std::uint32_t old) {
    CheckWakes();
    Counter& c = CounterOf(count);
    if (count.load(kRelaxed) == old) {
        c.sleeper.store(old + 1, kRelaxed);
        Await([&] { return c.woken.load(kRelaxed) > old; }, "slept 10 s: never woken");
        c.sleeper.store(0, kRelaxed);
    }
}

void WakeWaiter(Count& count) {
    CounterOf(count).woken.store(count.load(kRelaxed), kRelaxed);
    CheckWakes();
}

}  // namespace platform

namespace {

TEST(ReadAhead, ServesTheBytesThenTheEndOrTheFailedReadsCode) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        Backend state;
        state.row = &row;
        backend = &state;
        lastError = kDecoy;
        const platform::FileHandle file = platform::AdoptForReadAhead(3, row.ask);
        ASSERT_NE(file, platform::kInvalidFile);
        std::uint8_t chunk[1024];
        std::uint32_t served = 0, n = 0;
        bool ok = true, intact = true;
        while ((row.stopAfter == 0 || served < row.stopAfter) && (ok = platform::ReadChunk(file, chunk, 1024, &n)) && n > 0) {
            for (std::uint32_t i = 0; i < n; ++i) {
                intact = intact && chunk[i] == Byte(served + i);
            }
            served += n;
            if (row.pace == Pace::ReaderWaits) {
                Await(OtherIdle, "the reader never waited for room");
            }
        }
        Await(OtherIdle, "the reader neither ended nor waited");  // whatever it does after the last slot, it has done
        state.over = true;
        platform::CloseFile(file);

        const auto failedAt = static_cast<std::uint32_t>(row.failingRead - 1) * row.readSize;
        EXPECT_EQ(served, row.stopAfter != 0 ? row.stopAfter : row.failingRead > 0 ? failedAt : row.size);
        EXPECT_TRUE(intact) << "bytes served out of place";
        EXPECT_EQ(ok, row.failingRead == 0);
        EXPECT_EQ(platform::LastError(), row.failingRead > 0 ? kCode : kDecoy) << "the failed read's own code";
        EXPECT_EQ(std::vector<int>({state.starts, state.joins, state.closes, state.closedEarly, state.readsAfterLast, state.lostWakes, state.rings, state.badHints}),
                  std::vector<int>({row.starts, row.starts, 1, 0, 0, 0, served >= kFirst, 0}))
            << "threads started, joined; closes, before the join; reads after the last slot or the stop; changes with no wake; rings asked; hints missing, misplaced or unasked for";
    }
}

}  // namespace
