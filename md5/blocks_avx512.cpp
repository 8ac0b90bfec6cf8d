// The chained schedule (blocks_chained.cpp) on AVX-512VL. A scalar step
// needs 4 or 5 operations after `b`; here every step needs 4 one-cycle
// instructions: vpternlogd computes any round function at once, then an
// add, vprold, and the add of `b`. The four state words live in the low lane
// of four xmm registers; the other lanes are never read.
//
// Only the functions of this file are compiled for AVX-512 (the target
// attribute), and nothing here runs until RunsAvx512() has said yes: the
// rest of the program stays at the baseline instruction set.
#include <immintrin.h>

#include <utility>

#include "md5/blocks.h"

namespace md5 {
namespace {

// vpternlogd's truth tables for F, G, H and I with the operands in the
// order d, b, c (bit 4d + 2b + c of the table is the result): F = b ? c : d,
// G = d ? b : c, H = b ^ c ^ d, I = c ^ (b | ~d). d goes first because the
// instruction overwrites its first operand, and the copy the compiler makes
// of it then stays off the chain through b.
constexpr int kRoundTable[4] = {0xB8, 0xCA, 0x96, 0x65};

// Pins a value as computed, as in the chained function: otherwise the
// compiler folds a + X[k] + T[i] into the late sum and puts two additions on
// the chain.
[[gnu::target("avx512f,avx512vl")]] inline __m128i Settled(__m128i x) {
    asm volatile("" : "+v"(x));
    return x;
}

// One step; `a` becomes the new `b`. X[k] + T[i] is summed in a general
// register and added to `a` while `b` is still being computed.
template <std::size_t i>
[[gnu::target("avx512f,avx512vl")]] inline void Step(__m128i& a, __m128i b, __m128i c, __m128i d,
                                                    const std::uint8_t* block) {
    // Immediates: g++ without optimisation folds only constexpr variables.
    constexpr int table = kRoundTable[i / 16];
    constexpr int shift = StepShift(i);
    const auto wordPlusConstant = static_cast<int>(LoadLe32(block + 4 * WordIndex(i)) + kT[i]);
    const __m128i early = Settled(_mm_add_epi32(a, _mm_cvtsi32_si128(wordPlusConstant)));
    const __m128i f = _mm_ternarylogic_epi32(d, b, c, table);
    a = _mm_add_epi32(b, _mm_rol_epi32(_mm_add_epi32(early, f), shift));
}

template <std::size_t i>
[[gnu::target("avx512f,avx512vl")]] inline void FourSteps(__m128i& a, __m128i& b, __m128i& c,
                                                         __m128i& d, const std::uint8_t* block) {
    Step<i>(a, b, c, d, block);
    Step<i + 1>(d, a, b, c, block);
    Step<i + 2>(c, d, a, b, block);
    Step<i + 3>(b, c, d, a, block);
}

template <std::size_t... j>
[[gnu::target("avx512f,avx512vl")]] inline void AllSteps(__m128i& a, __m128i& b, __m128i& c,
                                                        __m128i& d, const std::uint8_t* block,
                                                        std::index_sequence<j...>) {
    (FourSteps<4 * j>(a, b, c, d, block), ...);
}

}  // namespace

[[gnu::target("avx512f,avx512vl")]] void BlocksAvx512(std::uint32_t state[4],
                                                     const std::uint8_t* blocks,
                                                     std::size_t count) {
    __m128i a = _mm_cvtsi32_si128(static_cast<int>(state[0]));
    __m128i b = _mm_cvtsi32_si128(static_cast<int>(state[1]));
    __m128i c = _mm_cvtsi32_si128(static_cast<int>(state[2]));
    __m128i d = _mm_cvtsi32_si128(static_cast<int>(state[3]));
    for (; count > 0; --count, blocks += 64) {
        const __m128i a0 = a, b0 = b, c0 = c, d0 = d;
        AllSteps(a, b, c, d, blocks, std::make_index_sequence<16>{});
        a = _mm_add_epi32(a, a0);
        b = _mm_add_epi32(b, b0);
        c = _mm_add_epi32(c, c0);
        d = _mm_add_epi32(d, d0);
    }
    state[0] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(a));
    state[1] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(b));
    state[2] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(c));
    state[3] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(d));
}

}  // namespace md5
