// Each block function through the streaming hasher, against RFC 1321's
// suite and libcrypto (or, without it, digests libcrypto gave on the host),
// whole and in random splits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "md5/md5.h"
#include "md5/variants.h"

#if MD5DIGEST_HAVE_LIBCRYPTO
#include <openssl/evp.h>
#endif
#if MD5DIGEST_AVX512
#include <cpuid.h>

#include "md5/blocks.h"
#endif

namespace {

std::string Hex(const std::uint8_t* digest) {
    std::string hex;
    for (std::size_t i = 0; i < md5::kDigestSize; ++i) {
        hex += "0123456789abcdef"[digest[i] >> 4];
        hex += "0123456789abcdef"[digest[i] & 15];
    }
    return hex;
}

// Fed in random pieces, single bytes and empty ones among them, so that
// partial blocks are topped up and whole blocks still come straight from the
// caller's buffer; the pieces are the same for each size, run after run.
std::string Digest(md5::BlocksFunction blocks, const void* data, std::size_t size) {
    std::mt19937 random(static_cast<unsigned>(size));
    md5::Hasher hasher(blocks);
    for (std::size_t done = 0, n = 0; done < size; done += n) {
        n = std::min<std::size_t>(random() % (2u << random() % 11), size - done);
        hasher.Update(static_cast<const std::uint8_t*>(data) + done, n);
    }
    std::uint8_t digest[md5::kDigestSize];
    hasher.Final(digest);
    return Hex(digest);
}

class Engine : public testing::TestWithParam<md5::BlocksVariant> {};

TEST_P(Engine, MatchesRfc1321AndTheOracle) {
    if (GetParam().unavailable != nullptr) {
        GTEST_SKIP() << GetParam().name << " skipped: " << GetParam().unavailable;
    }
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [message, digest] : cases) {
        EXPECT_EQ(Digest(GetParam().blocks, message.data(), message.size()), digest) << message;
    }
    // Every length to past a 1024-byte chunk, then block and padding edges; bytes
    // i mod 251 (prime to 64), so a byte taken from the wrong offset shows.
    std::vector<std::size_t> lengths(1101);
    std::iota(lengths.begin(), lengths.end(), 0);
    for (std::size_t base : {2048u, 4096u, 65536u, 131072u}) {
        lengths.insert(lengths.end(), {base - 9, base - 8, base - 1, base, base + 1, base + 55, base + 56});
    }
    std::vector<std::uint8_t> bytes(131072 + 56);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i % 251);
    }
    std::string all;
    for (std::size_t n : lengths) {
        all += Digest(GetParam().blocks, bytes.data(), n);
#if MD5DIGEST_HAVE_LIBCRYPTO
        std::uint8_t oracle[EVP_MAX_MD_SIZE];
        ASSERT_EQ(EVP_Digest(bytes.data(), n, oracle, nullptr, EVP_md5(), nullptr), 1);
        ASSERT_EQ(all.substr(all.size() - 32), Hex(oracle)) << "length " << n;
#endif
    }
    EXPECT_EQ(Digest(GetParam().blocks, all.data(), all.size()), "1222c0bf841c08323612d97643cf1a36");
}

INSTANTIATE_TEST_SUITE_P(Variants, Engine,
                         testing::ValuesIn(md5::Variants().begin(), md5::Variants().end()),
                         [](const testing::TestParamInfo<md5::BlocksVariant>& variant) {
                             return std::string(variant.param.name);
                         });

#if MD5DIGEST_AVX512
// The choice for CPUs no machine here has; and this CPU's vendor read in
// the right order, one of the vendors' own names.
TEST(Cpu, ChoosesAvx512WhereItRunsOnIntelOnly) {
    constexpr unsigned kOs = bit_OSXSAVE, kFVl = bit_AVX512F | bit_AVX512VL;
    constexpr unsigned long long kOn = 0xE7;  // x87, SSE, AVX, opmask, both ZMM halves
    const std::pair<md5::CpuFacts, bool> cases[] = {
        {{"GenuineIntel", kOs, kFVl, kOn}, true},
        {{"AuthenticAMD", kOs, kFVl, kOn}, false},  // runs it, slower
        {{"HygonGenuine", kOs, kFVl, kOn}, false},  // not known to be faster: "not AMD" is not the rule
        {{"GenuineIntel", kOs, bit_AVX512F, kOn}, false},
        {{"GenuineIntel", kOs, kFVl, kOn & ~0xC0ull}, false},  // ZMM state off
        {{"GenuineIntel", kOs, kFVl, kOn & ~0x20ull}, false},  // opmask state off
        {{"GenuineIntel", 0, kFVl, kOn}, false},                // no XCR0 to trust
    };
    for (const auto& [cpu, avx512] : cases) {
        EXPECT_EQ(md5::ChooseBlocks(cpu) == md5::BlocksAvx512, avx512) << cpu.vendor << ", leaf 1 ECX " << cpu.leaf1Ecx << ", leaf 7 EBX " << cpu.leaf7Ebx << ", XCR0 " << cpu.xcr0;
    }
    const std::string_view known[] = {"GenuineIntel", "AuthenticAMD", "HygonGenuine", "CentaurHauls", "  Shanghai  "};
    const md5::CpuFacts here = md5::ReadCpu(md5::CpuLeaves::ForTheChoice);
    EXPECT_NE(std::find(std::begin(known), std::end(known), here.vendor), std::end(known)) << here.vendor;
}
#endif

}  // namespace
