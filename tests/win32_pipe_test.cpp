// The real Windows backend on a pipe whose writer sends more than the first
// buffer and a slot, so that the reader thread starts and takes the rest.
// When the writer closes, the reader gives the bytes and then the end, not a
// failure. When it stays open and silent, the reader sits in a ReadFile that
// would never return, and closing the file after an early stop must cancel
// it. The writer gives up after 3 s: a join that waits for it fails here
// instead of hanging.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/read_ahead.h"

TEST(Win32Pipe, EndsWhenTheWriterClosesAndAnEarlyCloseCancelsTheRead) {
    const wchar_t* name = L"\\\\.\\pipe\\md5digest-test";
    constexpr std::uint32_t kFirst = platform::kFirstReadSize;
    const std::vector<char> bytes(kFirst + platform::kReadAheadSlotSize + 1024, 'x');
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "the writer stays open and silent" : "the writer closes");
        const HANDLE pipe = CreateNamedPipeW(name, PIPE_ACCESS_OUTBOUND, 0, 1, 0, 0, 0, nullptr);
        const platform::FileHandle file = platform::OpenForSequentialRead(name);
        ASSERT_NE(file, platform::kInvalidFile) << GetLastError();
        const HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        bool gaveUp = false;
        std::thread writer([&] {
            DWORD written = 0;
            WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            gaveUp = silent && WaitForSingleObject(closed, 3000) == WAIT_TIMEOUT;
            CloseHandle(pipe);
        });
        std::uint8_t chunk[1024];
        std::uint32_t n = 0, total = 0;
        bool ok = true;
        do {
            ok = platform::ReadChunk(file, chunk, sizeof chunk, &n);
            total += n;
        } while (ok && n > 0 && (!silent || total <= kFirst));  // silent: into the first slot
        Sleep(silent ? 200 : 0);  // the reader takes the rest and waits in ReadFile
        platform::CloseFile(file);
        SetEvent(closed);
        writer.join();
        CloseHandle(closed);
        EXPECT_TRUE(ok);
        EXPECT_EQ(total, silent ? kFirst + sizeof chunk : bytes.size());
        EXPECT_FALSE(gaveUp) << "the close waited for the writer: the reader's ReadFile was not cancelled";
    }
}
