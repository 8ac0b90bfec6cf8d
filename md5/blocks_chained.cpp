// The block function written for MD5's one dependency chain. Every step
// ends with b' = b + rotl(a + f(b, c, d) + X[k] + T[i], s), and the next step
// needs b', so a block costs the sum of the steps' latencies along `b`. Here
// each step computes everything it can before `b` is ready (the message word
// plus constant plus `a`, and any half of f that does not involve `b`), which
// leaves 4 operations after `b` for G and H and 5 for F and I.
#include "md5/blocks.h"

#include <array>
#include <utility>

namespace md5 {
namespace {

// T[i] = floor(2^32 * |sin(i + 1)|), RFC 1321 3.4.
constexpr std::array<std::uint32_t, 64> kT = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
    0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
    0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
    0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
    0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
    0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
    0xeb86d391};

// Rotation amounts, four per round (RFC 1321 3.4).
constexpr std::array<int, 16> kShift = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

// Which message word step i reads: i, 5i+1, 3i+5, 7i (mod 16) by round.
constexpr std::size_t WordIndex(std::size_t i) {
    switch (i / 16) {
    case 0: return i;
    case 1: return (5 * i + 1) % 16;
    case 2: return (3 * i + 5) % 16;
    default: return (7 * i) % 16;
    }
}

constexpr std::uint32_t RotateLeft(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

// Pins a value as computed, so the compiler cannot re-associate across it.
// Without it clang folds the message word and constant into the late sum,
// which puts their additions back on the chain (about 15% slower).
inline std::uint32_t Settled(std::uint32_t x) {
#if defined(__GNUC__) || defined(__clang__)
    asm volatile("" : "+r"(x));
#endif
    return x;
}

// One step; `a` becomes the new `b`.
template <std::size_t i>
inline void Step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                 const std::uint8_t* block) {
    constexpr int s = kShift[(i / 16) * 4 + i % 4];
    std::uint32_t early = a + Settled(LoadLe32(block + 4 * WordIndex(i)) + kT[i]);
    std::uint32_t f;
    if constexpr (i < 16) {
        // F = (b & c) | (~b & d) = d ^ (b & (c ^ d)).
        f = ((c ^ d) & b) ^ d;
    } else if constexpr (i < 32) {
        // G = (b & d) | (c & ~d); the two halves never share a bit, so they
        // may be added, and the half without b goes in early.
        early += c & ~d;
        f = d & b;
    } else if constexpr (i < 48) {
        f = (c ^ d) ^ b;  // H
    } else {
        f = (~d | b) ^ c;  // I
    }
    a = b + RotateLeft(Settled(early) + f, s);
}

// Four steps, the roles of the state words turning as RFC 1321 writes them.
template <std::size_t i>
inline void FourSteps(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d,
                      const std::uint8_t* block) {
    Step<i>(a, b, c, d, block);
    Step<i + 1>(d, a, b, c, block);
    Step<i + 2>(c, d, a, b, block);
    Step<i + 3>(b, c, d, a, block);
}

template <std::size_t... j>
inline void AllSteps(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d,
                     const std::uint8_t* block, std::index_sequence<j...>) {
    (FourSteps<4 * j>(a, b, c, d, block), ...);
}

}  // namespace

void BlocksChained(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count) {
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; count > 0; --count, blocks += 64) {
        const std::uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
        AllSteps(a, b, c, d, blocks, std::make_index_sequence<16>{});
        a += a0;
        b += b0;
        c += c0;
        d += d0;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

}  // namespace md5
