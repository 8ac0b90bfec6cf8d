// Differential fuzzing of the engine: the input, fed in splits derived from
// it, through every block function this CPU can run, must give the digest
// of one-shot portable hashing and of libcrypto.
#include <openssl/evp.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "md5/blocks.h"
#include "md5/md5.h"
#include "md5/variants.h"

namespace {

using Digest = std::uint8_t[md5::kDigestSize];

// Split sizes come from a generator seeded by the input, so each input
// replays its splits exactly; the cap varies so that single bytes, partial
// blocks and runs of whole blocks all occur.
class Splits {
public:
    Splits(const std::uint8_t* data, std::size_t size) {
        for (std::size_t i = 0; i < size && i < 8; ++i) {
            state_ = state_ * 131 + data[i];
        }
    }
    std::size_t Next() {
        constexpr std::size_t kCaps[] = {1, 3, 64, 65, 200, 1100};
        const std::uint64_t r = Step();
        return static_cast<std::size_t>(r >> 8) % (kCaps[r % 6] + 1);
    }

private:
    std::uint64_t Step() {  // splitmix64
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    std::uint64_t state_ = 0;
};

void Fail(const char* what, const char* variant) {
    std::fprintf(stderr, "digest mismatch: %s (variant %s)\n", what, variant);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Digest oracle;
    unsigned int oracleSize = 0;
    if (EVP_Digest(data, size, oracle, &oracleSize, EVP_md5(), nullptr) != 1 ||
        oracleSize != md5::kDigestSize) {
        Fail("libcrypto failed", "-");
    }

    Digest portable;
    md5::Hasher oneShot(md5::BlocksPortable);
    oneShot.Update(data, size);
    oneShot.Final(portable);
    if (std::memcmp(portable, oracle, sizeof oracle) != 0) {
        Fail("one-shot portable differs from libcrypto", "portable");
    }

    for (const md5::BlocksVariant& variant : md5::Variants()) {
        if (!variant.runnable) {
            continue;
        }
        md5::Hasher hasher(variant.blocks);
        Splits splits(data, size);
        for (std::size_t done = 0; done < size;) {
            const std::size_t n = std::min(splits.Next(), size - done);
            hasher.Update(data + done, n);  // zero-length updates included
            done += n;
        }
        Digest split;
        hasher.Final(split);
        if (std::memcmp(split, oracle, sizeof oracle) != 0) {
            Fail("split feed differs", variant.name);
        }
        // A re-initialised hasher keeps nothing of its last message.
        hasher.Init();
        hasher.Update(data, size);
        Digest again;
        hasher.Final(again);
        if (std::memcmp(again, oracle, sizeof oracle) != 0) {
            Fail("one-shot after Init differs", variant.name);
        }
    }
    return 0;
}
