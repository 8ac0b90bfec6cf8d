// The "cryptographic provider" on POSIX: the project's own MD5 engine.
#include <cerrno>
#include <new>

#include "md5/md5.h"
#include "platform/platform.h"
#include "platform/posix/last_error.h"

namespace platform {
namespace {

// Any non-zero value: the engine needs no context, but the Digester still
// acquires one and releases it, as on every platform.
constexpr ProviderHandle kEngineProvider = 1;

md5::Hasher* FromHandle(HashHandle hash) {
    return reinterpret_cast<md5::Hasher*>(hash);
}

}  // namespace

bool AcquireProvider(ProviderHandle* provider) {
    *provider = kEngineProvider;
    return true;
}

bool CreateMd5Hash(ProviderHandle provider, HashHandle* hash) {
    if (provider != kEngineProvider) {
        posix::RecordFailure(EINVAL);
        return false;
    }
    auto* hasher = new (std::nothrow) md5::Hasher();
    if (hasher == nullptr) {
        posix::RecordFailure(ENOMEM);
        return false;
    }
    *hash = reinterpret_cast<HashHandle>(hasher);
    return true;
}

bool HashBytes(HashHandle hash, const std::uint8_t* data, std::uint32_t size) {
    FromHandle(hash)->Update(data, size);
    return true;
}

bool GetHashValue(HashHandle hash, std::uint8_t* value, std::uint32_t* size) {
    if (*size < md5::kDigestSize) {
        posix::RecordFailure(EINVAL);  // would not fit: the caller's mistake
        return false;
    }
    FromHandle(hash)->Final(value);
    *size = md5::kDigestSize;
    return true;
}

void DestroyHash(HashHandle hash) {
    delete FromHandle(hash);  // 0 is a null pointer: nothing to do
}

void ReleaseProvider(ProviderHandle /*provider*/) {}

}  // namespace platform
