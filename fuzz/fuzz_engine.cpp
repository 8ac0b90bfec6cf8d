// Differential fuzzing of the engine: the input, fed through every block
// function this CPU runs in splits derived from it, must give libcrypto's
// digest.
#include <openssl/evp.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "md5/md5.h"
#include "md5/variants.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    for (const md5::BlocksVariant& variant : md5::Variants()) {
        if (variant.unavailable != nullptr) {
            std::fprintf(stderr, "%s skipped: %s\n", variant.name, variant.unavailable);
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t oracle[EVP_MAX_MD_SIZE];
    if (EVP_Digest(data, size, oracle, nullptr, EVP_md5(), nullptr) != 1) {
        std::abort();
    }
    for (const md5::BlocksVariant& variant : md5::Variants()) {
        if (variant.unavailable != nullptr) {
            continue;
        }
        // Split sizes from a generator seeded by the input, so each input
        // replays its splits; the cap varies so that single bytes, partial
        // blocks and runs of whole blocks all occur, zero-length ones too.
        std::uint64_t state = size;
        md5::Hasher hasher(variant.blocks);
        for (std::size_t done = 0; done < size;) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            constexpr std::size_t kCaps[] = {1, 3, 64, 65, 200, 1100};
            const std::size_t cap = kCaps[(state >> 33) % 6];
            const std::size_t n = std::min((state >> 40) % (cap + 1), size - done);
            hasher.Update(data + done, n);
            done += n;
        }
        std::uint8_t digest[md5::kDigestSize];
        hasher.Final(digest);
        if (std::memcmp(digest, oracle, sizeof digest) != 0) {
            std::fprintf(stderr, "digest differs from libcrypto's: variant %s\n", variant.name);
            std::abort();
        }
    }
    return 0;
}
