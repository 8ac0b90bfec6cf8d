// Digester: runs one file through an MD5 hash and prints the digest line or
// the error report of the step that failed.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class Digester {
public:
    // Opens the file; a failed open is reported by HashFile, not here.
    explicit Digester(const platform::NativeChar* path);
    // Releases the file, the hash object and the provider, in that order.
    virtual ~Digester();

    Digester(const Digester&) = delete;
    Digester& operator=(const Digester&) = delete;

    // Prints the digest or an error report; returns 0 or the failure's code.
    std::uint32_t HashFile();

private:
    std::uint32_t ReportFailure(const char* message);

    platform::FileHandle hFile;
    platform::ProviderHandle hProv;
    platform::HashHandle hHash;
};
