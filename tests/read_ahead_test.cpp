// The read-ahead ring alone, over a scripted backend: system reads that are
// short, slow, failing or blocked at any point, a thread refused, an early
// stop while the reader is ahead or blocked. Served as the Digester reads, a
// chunk at a time, each row must give the file's own bytes, then its end or
// the failed read's code; every thread started is joined before the file is
// closed, once; no read begins after the stop; every change a side waited
// for is followed by a wake (else the run aborts, naming the row). Under ThreadSanitizer too, where a count
// published before its bytes is a reported race.
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

constexpr std::uint32_t kSlot = 512 * 1024;  // the ring's slot: one full system read
constexpr std::uint32_t kCode = 0xC0DE;      // the failed read's own code
constexpr std::uint32_t kDecoy = 183;        // what the Digester's thread held before

struct Row {
    const char* what;
    std::uint32_t size;
    int starts;                      // reader threads the ring starts
    std::uint32_t readSize = kSlot;  // the most one system read gives (a pipe: less)
    int failingRead = 0;             // which system read fails, from 1; 0: none
    std::chrono::microseconds readDelay{}, hashDelay{};  // before each read; every 64 chunks served
    bool refused = false;            // the system gives no thread
    std::uint32_t stopAfter = 0;     // the Digester stops early after these bytes
    int blockingRead = 0;            // this read returns only when the join cancels it
};

const Row kRows[] = {
    {.what = "a file within one slot is read inline", .size = kSlot - 1, .starts = 0},
    {.what = "slow reads: the Digester waits for the reader", .size = 3 * kSlot + 5, .starts = 1, .readSize = 65536, .readDelay = 1ms},
    {.what = "slow hashing: the reader waits for room", .size = 5 * kSlot, .starts = 1, .hashDelay = 1ms},
    {.what = "a read fails inside the first slot", .size = 3 * kSlot, .starts = 0, .readSize = 65536, .failingRead = 3},
    {.what = "a read fails inside a later slot, on the reader", .size = 3 * kSlot, .starts = 1, .readSize = 65536, .failingRead = 12},
    {.what = "a read fails at a slot's start", .size = 3 * kSlot, .starts = 1, .failingRead = 2},
    {.what = "no thread to be had: the same loop inline", .size = 3 * kSlot + 5, .starts = 0, .readSize = 65536, .refused = true},
    {.what = "an early stop while the reader waits for room", .size = 8 * kSlot, .starts = 1, .stopAfter = 10240},
    {.what = "an early stop while the reader is blocked in a read", .size = 8 * kSlot, .starts = 1, .readSize = 65536, .stopAfter = 10240, .blockingRead = 9},
};

std::uint8_t Byte(std::uint32_t offset) {
    return static_cast<std::uint8_t>(offset % 251);  // a slot out of place shows
}

// One row's backend. Reads run on one side at a time (the Digester's thread
// until the reader starts), so their own counts need no atomics.
struct Backend {
    const Row* row = nullptr;
    std::uint32_t offset = 0;
    int reads = 0;
    std::atomic<bool> stopping{false}, cancelled{false};
    std::atomic<int> readsAfterStop{0}, starts{0}, joins{0}, closes{0}, closedEarly{0}, wakes{0};
};
Backend* backend = nullptr;
thread_local std::uint32_t lastError = 0;

// Polls without synchronising, so that ThreadSanitizer sees the ring's own
// ordering alone; a hang aborts with the row's name.
template <typename Until>
void Await(Until until, const char* hang) {
    for (const auto deadline = std::chrono::steady_clock::now() + 10s; !until(); std::this_thread::sleep_for(20us)) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "%s: %s\n", backend->row->what, hang);
            std::abort();
        }
    }
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
    const Row& row = *backend->row;
    const int read = ++backend->reads;
    backend->readsAfterStop += backend->stopping ? 1 : 0;
    std::this_thread::sleep_for(row.readDelay);
    if (read == row.blockingRead) {
        Await([] { return backend->cancelled.load(); }, "a blocked read was never ended");
    }
    if (read == row.failingRead || read == row.blockingRead) {
        lastError = read == row.failingRead ? kCode : 995;
        return false;
    }
    *bytesRead = std::min({size, row.readSize, row.size - backend->offset});
    for (std::uint32_t i = 0; i < *bytesRead; ++i) {
        buffer[i] = Byte(backend->offset + i);
    }
    backend->offset += *bytesRead;
    return true;
}

bool AskToCache(SystemFile, std::uint64_t, std::uint32_t) {
    return false;  // a file that refuses: the ring goes on without asking
}

void CloseSystemFile(SystemFile) {
    ++backend->closes;
    backend->closedEarly += backend->starts != backend->joins ? 1 : 0;
}

bool StartReaderThread(void* file, SystemThread* thread) {
    if (backend->row->refused) {
        return false;
    }
    ++backend->starts;
    *thread = reinterpret_cast<SystemThread>(new std::thread(ReadAheadThread, file));
    return true;
}

// As the Windows backend does, a read that may never return is cancelled.
void JoinReaderThread(SystemThread thread) {
    backend->cancelled = true;
    auto* reader = reinterpret_cast<std::thread*>(thread);
    reader->join();
    delete reader;
    ++backend->joins;
}

// A change seen after a look at the old value must be followed by a wake,
// or a real sleeper would sleep on.
void WaitWhileEqual(const std::atomic<std::uint32_t>& value, std::uint32_t old) {
    const int wakes = backend->wakes.load(std::memory_order_relaxed);
    if (value.load(std::memory_order_relaxed) == old) {
        Await([&] { return value.load(std::memory_order_relaxed) != old; }, "waited 10 s for the other side");
        Await([&] { return backend->wakes.load(std::memory_order_relaxed) != wakes; }, "a change with no wake");
    }
}

void WakeWaiter(std::atomic<std::uint32_t>&) {
    backend->wakes.fetch_add(1, std::memory_order_relaxed);
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
        const platform::FileHandle file = platform::AdoptForReadAhead(3, true);
        ASSERT_NE(file, platform::kInvalidFile);
        std::uint8_t chunk[1024];
        std::uint32_t served = 0, n = 0;
        bool ok = true, intact = true;
        while ((row.stopAfter == 0 || served < row.stopAfter) && (ok = platform::ReadChunk(file, chunk, 1024, &n)) && n > 0) {
            for (std::uint32_t i = 0; i < n; ++i) {
                intact = intact && chunk[i] == Byte(served + i);
            }
            served += n;
            std::this_thread::sleep_for(served % (64 * 1024) == 0 ? row.hashDelay : 0us);
        }
        std::this_thread::sleep_for(row.stopAfter != 0 ? 100ms : 0ms);  // the reader gets ahead, or into its read
        backend->stopping = true;
        platform::CloseFile(file);

        const auto failedAt = static_cast<std::uint32_t>(row.failingRead - 1) * row.readSize;
        EXPECT_EQ(served, row.stopAfter != 0 ? row.stopAfter : row.failingRead > 0 ? failedAt : row.size);
        EXPECT_TRUE(intact) << "bytes served out of place";
        EXPECT_EQ(ok, row.failingRead == 0);
        EXPECT_EQ(platform::LastError(), row.failingRead > 0 ? kCode : kDecoy) << "the failed read's own code";
        EXPECT_EQ(std::vector<int>({state.starts, state.joins, state.closes, state.closedEarly, state.readsAfterStop}),
                  std::vector<int>({row.starts, row.starts, 1, 0, 0}))
            << "threads started, joined; closes, before the join; reads after the stop";
    }
}

}  // namespace
