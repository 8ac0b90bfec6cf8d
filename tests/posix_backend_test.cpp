// The POSIX backend's sleep on a ring counter must see a change whose wake
// never came: the kernel delivers every wake, but a fault injector that
// fails a FUTEX_WAKE skips it. A sleeper that never returns is left behind,
// so that this fails in seconds instead of hanging.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/read_ahead.h"

TEST(PosixWait, SeesAChangeWhoseWakeWasLost) {
    static std::atomic<std::uint32_t> value{0};  // outlives a sleeper left behind
    std::packaged_task<void()> sleep([] { platform::WaitWhileEqual(value, 0); });
    const std::future<void> returned = sleep.get_future();
    std::thread(std::move(sleep)).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // asleep by now
    value.store(1);                                                // and no WakeWaiter
    EXPECT_EQ(returned.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}
