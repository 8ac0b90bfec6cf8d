#include "fake_platform.h"

#include <algorithm>
#include <cstring>

namespace fake {
namespace {

Script script;
std::vector<std::string> calls;
std::vector<std::string> lines;
std::vector<std::uint32_t> hashed;
std::uint32_t lastError = 0;
std::uint32_t outputError = 0;
int reads = 0;
int writes = 0;
// The handles handed out in this run, as an owner should hold them.
platform::FileHandle heldFile = platform::kInvalidFile;
platform::ProviderHandle heldProvider = 0;
platform::HashHandle heldHash = 0;

std::string Narrow(platform::NativeStringView text) {
    std::string out;
    for (const auto c : text) {
        out.push_back(static_cast<char>(c));  // tests use ASCII only
    }
    return out;
}

bool Fail(std::uint32_t code) {
    lastError = code;
    return false;
}

}  // namespace

void Reset(const Script& newScript) {
    script = newScript;
    calls.clear();
    lines.clear();
    hashed.clear();
    lastError = script.lastErrorAtStart;
    outputError = 0;
    reads = 0;
    writes = 0;
    heldFile = platform::kInvalidFile;
    heldProvider = 0;
    heldHash = 0;
}

std::string ReleaseProblems() {
    const std::vector<std::string> expected = {"Close(" + std::to_string(heldFile) + ")",
                                               "DestroyHash(" + std::to_string(heldHash) + ")",
                                               "ReleaseProvider(" + std::to_string(heldProvider) + ")"};
    std::string problems;
    for (const std::string& release : expected) {
        const std::string kind = release.substr(0, release.find('('));
        const auto count = std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
            return c.rfind(kind + "(", 0) == 0;
        });
        if (count != 1) {
            problems += kind + " called " + std::to_string(count) + " times; ";
        }
    }
    if (calls.size() < expected.size() ||
        !std::equal(expected.begin(), expected.end(), calls.end() - std::ssize(expected))) {
        problems += "the run did not end with " + expected[0] + ", " + expected[1] + ", " + expected[2];
    }
    return problems;
}

const std::vector<std::string>& Calls() {
    return calls;
}
const std::vector<std::string>& Lines() {
    return lines;
}
const std::vector<std::uint32_t>& Hashed() {
    return hashed;
}

platform::NativeString Native(std::string_view ascii) {
    return platform::NativeString(ascii.begin(), ascii.end());
}

}  // namespace fake

namespace platform {

using fake::calls;

FileHandle OpenForSequentialRead(const NativeChar* path) {
    calls.push_back("Open(" + fake::Narrow(path) + ")");
    if (fake::script.openFails) {
        fake::Fail(fake::script.openError);
        return kInvalidFile;
    }
    return fake::heldFile = fake::kFile;
}

bool ReadChunk(FileHandle file, std::uint8_t* buffer, std::uint32_t size,
               std::uint32_t* bytesRead) {
    calls.push_back("Read(" + std::to_string(file) + ")");
    const int index = fake::reads++;
    *bytesRead = 0;
    if (index == fake::script.failReadAt) {
        return fake::Fail(fake::script.readError);
    }
    const auto& chunks = fake::script.chunks;
    if (static_cast<std::size_t>(index) < chunks.size()) {
        *bytesRead = std::min(size, chunks[static_cast<std::size_t>(index)]);
        std::memset(buffer, index, *bytesRead);
    }
    return true;
}

void CloseFile(FileHandle file) {
    calls.push_back("Close(" + std::to_string(file) + ")");
}

bool AcquireProvider(ProviderHandle* provider) {
    calls.push_back("AcquireProvider");
    if (fake::script.acquireFails) {
        return fake::Fail(fake::script.acquireError);
    }
    *provider = fake::heldProvider = fake::kProvider;
    return true;
}

bool CreateMd5Hash(ProviderHandle provider, HashHandle* hash) {
    calls.push_back("CreateHash(" + std::to_string(provider) + ")");
    if (fake::script.createFails) {
        return fake::Fail(fake::script.createError);
    }
    *hash = fake::heldHash = fake::kHash;
    return true;
}

bool HashBytes(HashHandle hash, const std::uint8_t* /*data*/, std::uint32_t size) {
    calls.push_back("HashBytes(" + std::to_string(hash) + ")");
    if (fake::hashed.size() == static_cast<std::size_t>(fake::script.failHashAt)) {
        return fake::Fail(fake::script.hashError);
    }
    fake::hashed.push_back(size);
    return true;
}

bool GetHashValue(HashHandle hash, std::uint8_t* value, std::uint32_t* size) {
    calls.push_back("GetHashValue(" + std::to_string(hash) + "," + std::to_string(*size) + ")");
    if (fake::script.valueFails) {
        return fake::Fail(fake::script.valueError);
    }
    std::memcpy(value, fake::script.value.data(), std::min<std::uint32_t>(*size, 16));
    *size = fake::script.valueSize;
    return true;
}

void DestroyHash(HashHandle hash) {
    calls.push_back("DestroyHash(" + std::to_string(hash) + ")");
}

void ReleaseProvider(ProviderHandle provider) {
    calls.push_back("ReleaseProvider(" + std::to_string(provider) + ")");
}

std::uint32_t LastError() {
    calls.push_back("LastError");
    return fake::lastError;
}

const NativeChar* FinalComponent(const NativeChar* path) {
    const NativeChar* name = path;
    for (const NativeChar* p = path; *p != 0; ++p) {
        if (*p == '/' || *p == '\\') {
            name = p + 1;
        }
    }
    return name;
}

void WriteLine(std::string_view text, NativeStringView tail) {
    const std::string line = std::string(text) + fake::Narrow(tail);
    calls.push_back("Write(" + line + ")");
    if (fake::outputError != 0) {
        return;
    }
    if (fake::writes++ == fake::script.failWriteAt) {
        fake::outputError = fake::script.writeError;
        return;
    }
    fake::lines.push_back(line);
}

std::uint32_t OutputError() {
    return fake::outputError;
}

int ToExitStatus(std::uint32_t status) {
    return static_cast<int>(status);
}

}  // namespace platform
