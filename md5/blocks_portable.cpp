#include "md5/blocks.h"

#include <array>

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

// Per-round rotation amounts, four per round (RFC 1321 3.4).
constexpr std::array<int, 16> kShift = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

constexpr std::uint32_t RotateLeft(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

}  // namespace

void BlocksPortable(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count) {
    for (; count > 0; --count, blocks += 64) {
        std::uint32_t x[16];
        for (std::size_t i = 0; i < 16; ++i) {
            x[i] = LoadLe32(blocks + 4 * i);
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        for (std::size_t i = 0; i < 64; ++i) {
            const std::size_t round = i / 16;
            std::uint32_t f = 0;
            std::size_t k = 0;
            switch (round) {
            case 0: f = (b & c) | (~b & d); k = i; break;                // F
            case 1: f = (b & d) | (c & ~d); k = (5 * i + 1) % 16; break;  // G
            case 2: f = b ^ c ^ d; k = (3 * i + 5) % 16; break;          // H
            default: f = c ^ (b | ~d); k = (7 * i) % 16; break;          // I
            }
            const std::uint32_t rotated = RotateLeft(a + f + x[k] + kT[i], kShift[round * 4 + i % 4]);
            a = d;
            d = c;
            c = b;
            b = b + rotated;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }
}

}  // namespace md5
