// The floor of reading a file: its bytes hashed in 1024-byte updates (the
// Digester's chunk) straight from the page cache, with no copy, while a
// second thread faults the pages in ahead so that the hashing thread never
// waits for the storage it could have waited for in parallel. Linked as the
// command is; timed in turn with it, the difference is what the command's
// way of reading costs. A measuring instrument, not a reader: any failure
// ends it loudly.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "md5/md5.h"

namespace {

// 4 MiB a step: large enough that the calls cost nothing, small enough
// that the hashing starts at once. Each step also asks for the bytes
// 16 MiB further on, as the command's reader does: faults alone left
// the storage idle between steps, 1.5-2.3x slower on a cold file.
constexpr std::size_t kStep = 4 << 20;
constexpr std::size_t kAhead = 16 << 20;

[[noreturn]] void Fail(const char* what) {
    std::perror(what);
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: read_floor FILE\n", stderr);
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        Fail(argv[1]);
    }
    const std::size_t size = static_cast<std::size_t>(st.st_size);
    std::uint8_t* bytes = nullptr;
    if (size > 0) {
        void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map == MAP_FAILED) {
            Fail("mmap");
        }
        bytes = static_cast<std::uint8_t*>(map);
    }
    std::thread ahead([bytes, size] {
        for (std::size_t at = 0; at < size; at += kStep) {
            const std::size_t n = std::min(kStep, size - at);
            if (at + kAhead < size) {
                (void)::madvise(bytes + at + kAhead, std::min(kStep, size - at - kAhead),
                                MADV_WILLNEED);
            }
            if (::madvise(bytes + at, n, MADV_POPULATE_READ) != 0) {
                Fail("madvise(MADV_POPULATE_READ)");
            }
        }
    });
    md5::Hasher hasher;
    for (std::size_t done = 0; done < size;) {
        const std::size_t n = std::min<std::size_t>(size - done, 1024);
        hasher.Update(bytes + done, n);
        done += n;
    }
    ahead.join();
    std::uint8_t digest[md5::kDigestSize];
    hasher.Final(digest);
    for (const std::uint8_t byte : digest) {
        std::printf("%02X", byte);
    }
    std::printf("\n");
    return 0;
}
