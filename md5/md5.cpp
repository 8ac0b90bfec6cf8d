#include "md5/md5.h"

#include <algorithm>
#include <cstring>

#include "md5/blocks.h"

namespace md5 {

BlocksFunction DefaultBlocks() {
#if MD5DIGEST_AVX512
    // Decided once a process: the CPU does not change while it runs.
    static const BlocksFunction chosen = ChooseBlocks(ReadCpu(CpuLeaves::ForTheChoice));
    return chosen;
#else
    return BlocksChained;
#endif
}

BlocksFunction Hasher::Blocks() {
    if (blocks_ == nullptr && length_ > kChooseAfter) {
        blocks_ = DefaultBlocks();
    }
    return blocks_ != nullptr ? blocks_ : BlocksChained;
}

// pending_ is only ever read as far as pendingSize_: it needs no value.
// cppcheck-suppress uninitMemberVar
Hasher::Hasher(BlocksFunction blocks)  // NOLINT(*-pro-type-member-init)
    // Initial chaining values, RFC 1321 3.3.
    : blocks_(blocks), state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, length_(0),
      pendingSize_(0) {}

void Hasher::Update(const void* data, std::size_t size) {
    const auto* in = static_cast<const std::uint8_t*>(data);
    length_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = std::min(size, kBlockSize - pendingSize_);
        std::memcpy(pending_ + pendingSize_, in, take);
        pendingSize_ += take;
        in += take;
        size -= take;
        if (pendingSize_ < kBlockSize) {
            return;
        }
        Blocks()(state_, pending_, 1);
        pendingSize_ = 0;
    }
    const std::size_t whole = size / kBlockSize;
    if (whole > 0) {
        Blocks()(state_, in, whole);  // straight from the caller's buffer
        in += whole * kBlockSize;
        size -= whole * kBlockSize;
    }
    if (size > 0) {
        std::memcpy(pending_, in, size);
        pendingSize_ = size;
    }
}

void Hasher::Final(std::uint8_t digest[kDigestSize]) {
    // Padding, RFC 1321 3.1-3.2: a 1 bit, zeros to 56 mod 64, then the
    // message length in bits as a 64-bit little-endian number.
    const std::uint64_t bits = length_ << 3;
    std::uint8_t tail[2 * kBlockSize] = {};
    std::memcpy(tail, pending_, pendingSize_);
    tail[pendingSize_] = 0x80;
    const std::size_t tailSize = pendingSize_ < 56 ? kBlockSize : 2 * kBlockSize;
    StoreLe32(tail + tailSize - 8, static_cast<std::uint32_t>(bits));
    StoreLe32(tail + tailSize - 4, static_cast<std::uint32_t>(bits >> 32));
    Blocks()(state_, tail, tailSize / kBlockSize);
    for (int i = 0; i < 4; ++i) {
        StoreLe32(digest + 4 * i, state_[i]);
    }
}

}  // namespace md5
