// The POSIX backend's decisions and waits. Asking ahead: of files on local
// storage, whatever their device number says, never where requests travel
// to a server or a daemon, or where files live in memory.
//
// Its sleep on a ring counter must see a change whose wake never came: the
// kernel delivers every wake, but a fault injector that fails a FUTEX_WAKE
// skips it. A sleeper that never returns is left behind, so that this fails
// in seconds instead of hanging.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/posix/ask_ahead.h"
#include "platform/read_ahead.h"

TEST(PosixAskAhead, OfLocalStorageOnly) {
    const std::pair<std::uint32_t, bool> cases[] = {
        {0xEF53, true}, {0x58465342, true}, {0x9123683E, true}, {0x794C7630, true},  // ext4, xfs, btrfs, overlay
        {0x65735546, false}, {0x6969, false}, {0xFF534D42, false}, {0x01021997, false}, {0x00C36400, false},  // FUSE, NFS, CIFS, 9p, Ceph
        {0x01021994, false}, {0x858458F6, false}, {0x9FA0, false}, {0x62656572, false}, {0, false}};  // tmpfs, ramfs, proc, sysfs, none
    for (const auto& [type, asked] : cases) {
        EXPECT_EQ(platform::posix::WorthAskingAhead(type), asked) << std::hex << type;
    }
}

TEST(PosixWait, SeesAChangeWhoseWakeWasLost) {
    static std::atomic<std::uint32_t> value{0};  // outlives a sleeper left behind
    std::packaged_task<void()> sleep([] { platform::WaitWhileEqual(value, 0); });
    const std::future<void> returned = sleep.get_future();
    std::thread(std::move(sleep)).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // asleep by now
    value.store(1);                                                // and no WakeWaiter
    EXPECT_EQ(returned.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}
