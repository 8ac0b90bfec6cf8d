// MD5 (RFC 1321) as a streaming hash: Update with any length, then Final.
#pragma once

#include <cstddef>
#include <cstdint>

namespace md5 {

inline constexpr std::size_t kBlockSize = 64;
inline constexpr std::size_t kDigestSize = 16;

// Runs `count` whole 64-byte blocks through the compression function,
// updating the four state words (RFC 1321 3.4).
using BlocksFunction = void (*)(std::uint32_t state[4], const std::uint8_t* blocks,
                                std::size_t count);

// The block function this build uses by default.
BlocksFunction DefaultBlocks();

class Hasher {
public:
    // Null: DefaultBlocks(), once the input has grown past kChooseAfter.
    explicit Hasher(BlocksFunction blocks = nullptr);

    void Update(const void* data, std::size_t size);
    // Writes the digest; the hasher is spent after it (one hasher a file).
    void Final(std::uint8_t digest[kDigestSize]);

private:
    // Choosing asks the CPU (CPUID traps to the hypervisor in most virtual
    // machines: about 11.6 us for its three leaves on an Intel Xeon, family
    // 6, model 106), about what the AVX-512 function saves over 100 KiB.
    // Smaller inputs never ask: any block function gives the same digest.
    static constexpr std::uint64_t kChooseAfter = 128 * 1024;
    BlocksFunction Blocks();

    BlocksFunction blocks_;
    std::uint32_t state_[4];
    std::uint64_t length_;  // bytes so far; RFC 1321 keeps it mod 2^64 bits
    std::uint8_t pending_[kBlockSize];
    std::size_t pendingSize_;
};

}  // namespace md5
