// MD5 on Windows: the CryptoAPI base provider, in a verify-only context
// (no key container is needed to hash).
#include <windows.h>
#include <wincrypt.h>

#include "platform/platform.h"

namespace platform {

bool AcquireProvider(ProviderHandle* provider) {
    HCRYPTPROV hProv = 0;
    const BOOL ok =
        CryptAcquireContextW(&hProv, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
    *provider = hProv;
    return ok != FALSE;
}

bool CreateMd5Hash(ProviderHandle provider, HashHandle* hash) {
    HCRYPTHASH hHash = 0;
    const BOOL ok = CryptCreateHash(provider, CALG_MD5, 0, 0, &hHash);
    *hash = hHash;
    return ok != FALSE;
}

bool HashBytes(HashHandle hash, const std::uint8_t* data, std::uint32_t size) {
    return CryptHashData(hash, data, size, 0) != FALSE;
}

bool GetHashValue(HashHandle hash, std::uint8_t* value, std::uint32_t* size) {
    DWORD cbValue = *size;
    const BOOL ok = CryptGetHashParam(hash, HP_HASHVAL, value, &cbValue, 0);
    *size = cbValue;
    return ok != FALSE;
}

// 0 means "never obtained": releasing it is a no-op here, so the owner may
// release unconditionally without passing an invalid handle to the system.
void DestroyHash(HashHandle hash) {
    if (hash != 0) {
        CryptDestroyHash(hash);
    }
}

void ReleaseProvider(ProviderHandle provider) {
    if (provider != 0) {
        CryptReleaseContext(provider, 0);
    }
}

}  // namespace platform
