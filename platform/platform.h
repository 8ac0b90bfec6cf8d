// The thin platform layer that the Digester and the entry point call.
//
// One operation per platform step, each reporting success or failure exactly
// as the call it stands for; the reason for a failure is read through
// LastError() right after it. Which backend is linked (win32, posix, or the
// tests' fake) is a build decision: this header names no system header, so
// the code above it reads the same on every build.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

#if defined(_WIN32)
using NativeChar = wchar_t;
// ERROR_GEN_FAILURE: stands in when a failed call left no reason.
inline constexpr std::uint32_t kGenericFailure = 31;
// ERROR_INVALID_PARAMETER: no path given and no last-error value set.
inline constexpr std::uint32_t kInvalidArgument = 87;
// ERROR_NOT_ENOUGH_MEMORY: the system gave no memory for a step.
inline constexpr std::uint32_t kNoMemory = 8;
#else
using NativeChar = char;
inline constexpr std::uint32_t kGenericFailure = 5;    // EIO
inline constexpr std::uint32_t kInvalidArgument = 22;  // EINVAL
inline constexpr std::uint32_t kNoMemory = 12;         // ENOMEM
#endif

using NativeString = std::basic_string<NativeChar>;
using NativeStringView = std::basic_string_view<NativeChar>;

// Handles are plain values: -1 is "no file" (INVALID_HANDLE_VALUE on
// Windows), 0 is "no provider" / "no hash". Releasing an unset handle is a
// no-op, so an owner may release all three unconditionally.
using FileHandle = std::intptr_t;
using ProviderHandle = std::uintptr_t;
using HashHandle = std::uintptr_t;
inline constexpr FileHandle kInvalidFile = -1;

// Opens an existing file read-only for one sequential pass; kInvalidFile on
// failure. Directories are refused here, as Windows refuses them at the open.
FileHandle OpenForSequentialRead(const NativeChar* path);
// Reads up to `size` bytes; success with *bytesRead == 0 is the end of file.
bool ReadChunk(FileHandle file, std::uint8_t* buffer, std::uint32_t size,
               std::uint32_t* bytesRead);
void CloseFile(FileHandle file);

bool AcquireProvider(ProviderHandle* provider);
bool CreateMd5Hash(ProviderHandle provider, HashHandle* hash);
bool HashBytes(HashHandle hash, const std::uint8_t* data, std::uint32_t size);
// *size is the buffer's capacity on the way in, the value's length out.
bool GetHashValue(HashHandle hash, std::uint8_t* value, std::uint32_t* size);
void DestroyHash(HashHandle hash);
void ReleaseProvider(ProviderHandle provider);

// The reason for the last failed call of this layer; 0 if none is known.
std::uint32_t LastError();

// Where the final component of `path` begins, inside `path`; the whole path
// when it has no separator. For display only.
const NativeChar* FinalComponent(const NativeChar* path);

// Writes one report line: `text` (ASCII), then `tail` (native text as it
// is), then the line end, flushed. Once a line fails, later lines are not
// written and OutputError() keeps the first failure's code (0 while every
// line has been written).
void WriteLine(std::string_view text, NativeStringView tail = {});
// A report line that could not even be made (no memory for it): it and the
// later lines are lost as after a failed write, with `code` as the reason.
void LoseLine(std::uint32_t code);
std::uint32_t OutputError();

// The process exit status that carries `status` (never 0 unless it is 0).
int ToExitStatus(std::uint32_t status);

}  // namespace platform
