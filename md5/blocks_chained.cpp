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
    constexpr int s = StepShift(i);
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
