// The block functions, one per implementation, all with the same contract
// (md5::BlocksFunction); tests run each one against the others.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "md5/md5.h"

namespace md5 {

// A direct reading of RFC 1321 3.4: the oracle, and the core for any CPU.
void BlocksPortable(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count);

// Scalar, arranged so that as little as possible waits on the previous
// step: the default wherever the AVX-512 function is not chosen.
void BlocksChained(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count);

#if MD5DIGEST_AVX512
// The chained schedule on AVX-512VL: one instruction for each round
// function and one for the rotation. x86-64 only; never called unless
// RunsAvx512() says this CPU runs it.
void BlocksAvx512(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count);

// What CPUID and XGETBV say, no more: the decisions below are plain
// functions of it, so tests can give them CPUs no machine here has.
struct CpuFacts {
    char vendor[13];          // leaf 0, e.g. "GenuineIntel", and a NUL
    unsigned leaf1Ecx;        // OSXSAVE among others
    unsigned leaf7Ebx;        // AVX512F, AVX512VL among others; 0 below leaf 7
    unsigned long long xcr0;  // the state the system saves; 0 without OSXSAVE
};
// Leaf 0 alone tells the vendor; the other leaves trap to the hypervisor in
// most virtual machines, each costing microseconds at every start.
enum class CpuLeaves { ForTheChoice, All };
// With ForTheChoice, leaves 1 and 7 and XCR0 only where the vendor's CPUs
// may get BlocksAvx512 (their facts stay 0 elsewhere).
CpuFacts ReadCpu(CpuLeaves leaves);
// Whether this vendor's CPUs run BlocksAvx512 faster than BlocksChained.
bool Avx512Pays(const CpuFacts& cpu);
// Whether this CPU, and its operating system, can run BlocksAvx512.
bool RunsAvx512(const CpuFacts& cpu);
// BlocksAvx512 where it runs and is faster than BlocksChained, else BlocksChained.
BlocksFunction ChooseBlocks(const CpuFacts& cpu);
#endif

// T[i] = floor(2^32 * |sin(i + 1)|), RFC 1321 3.4.
inline constexpr std::array<std::uint32_t, 64> kT = {
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
inline constexpr std::array<int, 16> kShift = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

// The rotation of step i (0-63).
constexpr int StepShift(std::size_t i) {
    return kShift[(i / 16) * 4 + i % 4];
}

// Which message word step i reads: i, 5i+1, 3i+5, 7i (mod 16) by round.
constexpr std::size_t WordIndex(std::size_t i) {
    switch (i / 16) {
    case 0: return i;
    case 1: return (5 * i + 1) % 16;
    case 2: return (3 * i + 5) % 16;
    default: return (7 * i) % 16;
    }
}

inline constexpr std::uint32_t RotateLeft(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

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
