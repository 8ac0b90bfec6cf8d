// A scripted stand-in for the platform layer: each call can be made to fail
// with a chosen code, and every call is logged so tests can check order.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace fake {

// The values the fake hands out, so logs show what was released.
inline constexpr platform::FileHandle kFile = 7;
inline constexpr platform::ProviderHandle kProvider = 11;
inline constexpr platform::HashHandle kHash = 13;

inline constexpr int kNever = -1;

struct Script {
    std::uint32_t lastErrorAtStart = 0;
    // A failing step fails with this code; 0 models a platform that gives none.
    std::uint32_t openError = 0;  // used when openFails
    bool openFails = false;
    bool acquireFails = false;
    std::uint32_t acquireError = 0;
    bool createFails = false;
    std::uint32_t createError = 0;
    std::vector<std::uint32_t> chunks;  // sizes of successive reads, then 0
    int failReadAt = kNever;            // index of the read that fails
    std::uint32_t readError = 0;
    int failHashAt = kNever;  // index of the HashBytes call that fails
    std::uint32_t hashError = 0;
    bool valueFails = false;
    std::uint32_t valueError = 0;
    std::uint32_t valueSize = 16;  // length the value query reports
    std::array<std::uint8_t, 16> value{};
    int failWriteAt = kNever;  // index of the report line that fails
    std::uint32_t writeError = 0;
};

// Starts a new scripted run; clears the logs.
void Reset(const Script& script);

// Every call in order, e.g. "Open(a/b.bin)", "LastError", "Write(ERR CODE: 2)",
// "Close(7)", "DestroyHash(13)", "ReleaseProvider(11)".
const std::vector<std::string>& Calls();
// The report lines that were written, as the platform would show them.
const std::vector<std::string>& Lines();
// Sizes passed to HashBytes.
const std::vector<std::uint32_t>& Hashed();

// "" when the run released each handle exactly once, in the order close,
// destroy hash, release provider, with the value it was handed (or the unset
// value when it was never obtained), and made no call after; else what went wrong.
std::string ReleaseProblems();

// ASCII text as the platform's native string (for paths and arguments).
platform::NativeString Native(std::string_view ascii);

}  // namespace fake
