// The command's work without its reading: BYTES bytes hashed from memory in
// 1024-byte updates (the Digester's chunk) by the block function the command
// chooses, in a process built and started as the command is. Timed in turn
// with the command on a cached file of as many bytes, the difference is what
// reading the file costs, start-up and loading included on both sides.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "md5/md5.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: hash_memory BYTES\n", stderr);
        return 2;
    }
    const unsigned long long size = std::strtoull(argv[1], nullptr, 10);
    // As large as the command's ring: the bytes come from the same level of cache.
    static std::uint8_t buffer[1 << 20];
    for (std::size_t i = 0; i < sizeof buffer; ++i) {
        buffer[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
    }
    md5::Hasher hasher;
    for (unsigned long long done = 0; done < size;) {
        const std::size_t n = size - done < 1024 ? static_cast<std::size_t>(size - done) : 1024;
        hasher.Update(buffer + done % sizeof buffer, n);
        done += n;
    }
    std::uint8_t digest[md5::kDigestSize];
    hasher.Final(digest);
    for (const std::uint8_t byte : digest) {
        std::printf("%02X", byte);  // printed, so the work cannot be left out
    }
    std::printf("\n");
    return 0;
}
