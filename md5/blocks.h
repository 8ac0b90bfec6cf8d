// The block functions, one per implementation, all with the same contract
// (md5::BlocksFunction); tests run each one against the others.
#pragma once

#include <cstddef>
#include <cstdint>

namespace md5 {

// A direct reading of RFC 1321 3.4: the oracle, and the core for any CPU.
void BlocksPortable(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count);

// Scalar, arranged so that as little as possible waits on the previous
// step: the default on every CPU.
void BlocksChained(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count);

// Little-endian 32-bit load that holds on any host byte order.
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace md5
