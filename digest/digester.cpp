#include "digest/digester.h"

#include <charconv>
#include <string_view>

namespace {

constexpr std::uint32_t kChunkSize = 1024;
constexpr std::uint32_t kDigestSize = 16;
constexpr char rgbDigits[] = "0123456789ABCDEF";

// The reason for the call that just failed. A platform that failed without
// saying why still must not let the failure pass for success (status 0).
std::uint32_t FailureCode() {
    const std::uint32_t code = platform::LastError();
    return code != 0 ? code : platform::kGenericFailure;
}

// Writes `prefix` followed by `code` in unsigned decimal as one report line.
void WriteCodeLine(std::string_view prefix, std::uint32_t code) {
    char line[64];
    // Prefixes are short literals; the code takes at most 10 digits.
    const std::size_t n = prefix.copy(line, sizeof line - 10);
    const auto end = std::to_chars(line + n, line + sizeof line, code).ptr;
    platform::WriteLine(std::string_view(line, static_cast<std::size_t>(end - line)));
}

}  // namespace

Digester::Digester(const platform::NativeChar* path)
    : hFile(platform::OpenForSequentialRead(path)), hProv(0), hHash(0) {}

Digester::~Digester() {
    // Unconditional: releasing a handle that was never obtained is a no-op.
    platform::CloseFile(hFile);
    platform::DestroyHash(hHash);  // before the provider it was made from
    platform::ReleaseProvider(hProv);
}

std::uint32_t Digester::ReportFailure(const char* message) {
    const std::uint32_t code = FailureCode();  // before anything is written
    WriteCodeLine("ERR CODE: ", code);
    platform::WriteLine(message);
    return code;
}

std::uint32_t Digester::HashFile() {
    std::uint8_t rgbFile[kChunkSize];
    std::uint32_t cbRead = 0;
    std::uint8_t rgbHash[kDigestSize];
    std::uint32_t cbHash = 0;

    if (hFile == platform::kInvalidFile) {
        return ReportFailure("INVALID HANDLE !");
    }
    if (!platform::AcquireProvider(&hProv)) {
        return ReportFailure("Invalid CryptAcquireContext !");
    }
    if (!platform::CreateMd5Hash(hProv, &hHash)) {
        return ReportFailure("There was an error creating the hash !");
    }
    for (;;) {
        if (!platform::ReadChunk(hFile, rgbFile, kChunkSize, &cbRead)) {
            return ReportFailure("Unknown ERR !");
        }
        if (cbRead == 0) {
            break;
        }
        if (!platform::HashBytes(hHash, rgbFile, cbRead)) {
            return ReportFailure("File is reading ERR !");
        }
    }

    cbHash = kDigestSize;
    // A value of any other length would print a wrong or overlong digest.
    if (!platform::GetHashValue(hHash, rgbHash, &cbHash) || cbHash != kDigestSize) {
        const std::uint32_t code = FailureCode();
        WriteCodeLine("ERR CODE: ", code);
        WriteCodeLine("CryptGetHashParam failed: ", code);
        return code;
    }

    constexpr std::string_view kPrefix = "MD5 hash of file: ";
    char line[kPrefix.size() + 2 * kDigestSize];
    kPrefix.copy(line, kPrefix.size());
    char* out = line + kPrefix.size();
    for (std::uint32_t i = 0; i < cbHash; ++i) {
        *out++ = rgbDigits[rgbHash[i] >> 4];
        *out++ = rgbDigits[rgbHash[i] & 0x0F];
    }
    platform::WriteLine(std::string_view(line, sizeof line));
    return 0;
}
