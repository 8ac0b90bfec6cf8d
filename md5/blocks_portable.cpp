#include "md5/blocks.h"

namespace md5 {

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
