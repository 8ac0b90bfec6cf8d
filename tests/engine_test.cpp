// The engine's tests: every block function through the streaming hasher,
// checked against RFC 1321's suite, the portable function and libcrypto (or,
// without it, digests libcrypto computed on the host).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "md5/blocks.h"
#include "md5/md5.h"
#include "md5/variants.h"

#if MD5DIGEST_HAVE_LIBCRYPTO
#include <openssl/evp.h>
#endif

namespace md5 {
// Names the variant in test output instead of dumping its bytes.
void PrintTo(const BlocksVariant& variant, std::ostream* out) {
    *out << variant.name;
}
}  // namespace md5

namespace {

std::string Hex(const std::uint8_t* digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < md5::kDigestSize; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

std::string Digest(md5::BlocksFunction blocks, const std::uint8_t* data, std::size_t size) {
    md5::Hasher hasher(blocks);
    hasher.Update(data, size);
    std::uint8_t digest[md5::kDigestSize];
    hasher.Final(digest);
    return Hex(digest);
}

#if MD5DIGEST_HAVE_LIBCRYPTO
std::string LibcryptoDigest(const std::uint8_t* data, std::size_t size) {
    std::uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest, &length, EVP_md5(), nullptr) != 1 ||
        length != md5::kDigestSize) {
        return "libcrypto failed";
    }
    return Hex(digest);
}
#endif

// Bytes i mod 251: the period is prime to 64, so a byte read from the wrong
// offset changes the digest.
std::vector<std::uint8_t> Patterned(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i % 251);
    }
    return bytes;
}

// Every length up to past two 512-byte halves of the command's chunk, and
// the block and padding edges further on.
std::vector<std::size_t> EdgeLengths() {
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 1100; ++n) {
        lengths.push_back(n);
    }
    for (std::size_t base : {2048u, 4096u, 65536u, 131072u}) {
        for (std::size_t n : {base - 9, base - 8, base - 1, base, base + 1, base + 55, base + 56}) {
            lengths.push_back(n);
        }
    }
    return lengths;
}

class EngineTest : public testing::TestWithParam<md5::BlocksVariant> {
protected:
    void SetUp() override {
        if (!GetParam().runnable) {
            GTEST_SKIP() << GetParam().name << " needs what this CPU lacks";
        }
    }
    md5::BlocksFunction Blocks() const { return GetParam().blocks; }
};

// RFC 1321 A.5.
TEST_P(EngineTest, RfcSuite) {
    const struct {
        std::string_view message;
        std::string_view digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Digest(Blocks(), reinterpret_cast<const std::uint8_t*>(c.message.data()),
                         c.message.size()),
                  c.digest)
            << '"' << c.message << '"';
    }
}

// Against libcrypto where the build has it; a cross build may not, and then
// against the digest of all those digests, as libcrypto on the host gave it.
TEST_P(EngineTest, EdgeLengthsMatchTheOracle) {
    const std::vector<std::uint8_t> bytes = Patterned(131072 + 56);
    std::string all;
    for (std::size_t n : EdgeLengths()) {
        const std::string digest = Digest(Blocks(), bytes.data(), n);
#if MD5DIGEST_HAVE_LIBCRYPTO
        ASSERT_EQ(digest, LibcryptoDigest(bytes.data(), n)) << "length " << n;
#endif
        all += digest;
    }
    EXPECT_EQ(Digest(Blocks(), reinterpret_cast<const std::uint8_t*>(all.data()), all.size()),
              "1222c0bf841c08323612d97643cf1a36");
}

// The block function alone, from chaining values other than RFC 1321's
// initial ones and over runs of several blocks.
TEST_P(EngineTest, BlockRunsMatchPortable) {
    std::mt19937 random(1321);
    std::vector<std::uint8_t> bytes(64 * 17);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    for (std::size_t count = 0; count <= 17; ++count) {
        std::uint32_t expected[4], actual[4];
        for (int i = 0; i < 4; ++i) {
            expected[i] = actual[i] = static_cast<std::uint32_t>(random());
        }
        md5::BlocksPortable(expected, bytes.data(), count);
        Blocks()(actual, bytes.data(), count);
        for (int i = 0; i < 4; ++i) {
            ASSERT_EQ(actual[i], expected[i]) << count << " blocks, word " << i;
        }
    }
}

TEST_P(EngineTest, RandomSplitsMatchOneShot) {
    std::mt19937 random(64);
    std::vector<std::uint8_t> bytes(20000);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    const std::string expected = Digest(Blocks(), bytes.data(), bytes.size());
    for (int trial = 0; trial < 50; ++trial) {
        md5::Hasher hasher(Blocks());
        std::size_t at = 0;
        while (at < bytes.size()) {
            // Mostly short pieces, so that partial blocks carry over often.
            const std::size_t limit = trial % 2 == 0 ? 70 : 3000;
            const std::size_t n = std::min<std::size_t>(random() % (limit + 1), bytes.size() - at);
            hasher.Update(bytes.data() + at, n);
            at += n;
        }
        std::uint8_t digest[md5::kDigestSize];
        hasher.Final(digest);
        ASSERT_EQ(Hex(digest), expected) << "trial " << trial;
    }
}

TEST_P(EngineTest, ReusableAfterInit) {
    md5::Hasher hasher(Blocks());
    std::uint8_t digest[md5::kDigestSize];
    hasher.Update("garbage", 7);
    hasher.Final(digest);
    hasher.Init();
    hasher.Update("abc", 3);
    hasher.Final(digest);
    EXPECT_EQ(Hex(digest), "900150983cd24fb0d6963f7d28e17f72");
}


INSTANTIATE_TEST_SUITE_P(Variants, EngineTest, testing::ValuesIn(md5::Variants().begin(),
                                                                 md5::Variants().end()),
                         [](const testing::TestParamInfo<md5::BlocksVariant>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
