// The engine alone, in memory: each block function this CPU runs, the one
// the command chooses, and libcrypto's MD5, fed 1024-byte updates (the
// command's chunk size) over the same 1 MiB buffer, in one run so that the
// ratios between them hold on a noisy machine.
#define OPENSSL_SUPPRESS_DEPRECATED  // MD5_Update: the baseline without EVP's dispatch
#include <openssl/md5.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "md5/md5.h"
#include "md5/variants.h"

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
constexpr std::size_t kUpdateSize = 1024;

const std::vector<std::uint8_t>& Buffer() {
    static const std::vector<std::uint8_t> buffer = [] {
        std::vector<std::uint8_t> b(kBufferSize);
        for (std::size_t i = 0; i < b.size(); ++i) {
            b[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
        }
        return b;
    }();
    return buffer;
}

void HashVariant(benchmark::State& state, md5::BlocksFunction blocks) {
    const auto& buffer = Buffer();
    std::uint8_t digest[md5::kDigestSize];
    for (auto _ : state) {
        md5::Hasher hasher(blocks);
        for (std::size_t at = 0; at < buffer.size(); at += kUpdateSize) {
            hasher.Update(buffer.data() + at, kUpdateSize);
        }
        hasher.Final(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buffer.size()));
}

void HashLibcrypto(benchmark::State& state) {
    const auto& buffer = Buffer();
    unsigned char digest[MD5_DIGEST_LENGTH];
    for (auto _ : state) {
        MD5_CTX context;
        MD5_Init(&context);
        for (std::size_t at = 0; at < buffer.size(); at += kUpdateSize) {
            MD5_Update(&context, buffer.data() + at, kUpdateSize);
        }
        MD5_Final(digest, &context);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buffer.size()));
}

}  // namespace

int main(int argc, char** argv) {
    // Every variant this CPU runs, and the one the command uses, by name:
    // "dispatched:chained", say.
    std::string dispatched = "dispatched:";
    for (const md5::BlocksVariant& variant : md5::Variants()) {
        if (variant.unavailable != nullptr) {
            std::fprintf(stderr, "%s skipped: %s\n", variant.name, variant.unavailable);
            continue;
        }
        benchmark::RegisterBenchmark(variant.name, HashVariant, variant.blocks);
        if (variant.blocks == md5::DefaultBlocks()) {
            dispatched += variant.name;
        }
    }
    benchmark::RegisterBenchmark(dispatched.c_str(), HashVariant, md5::DefaultBlocks());
    benchmark::RegisterBenchmark("libcrypto", HashLibcrypto);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
