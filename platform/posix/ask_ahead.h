// Which files the reader asks for their bytes ahead of it: a decision about
// the file system alone, kept apart from the calls that learn it, so that a
// table test can give it file systems this machine has not mounted.
#pragma once

#include <cstdint>

namespace platform::posix {

// Whether asking for a regular file's bytes ahead pays on the file system of
// this type (fstatfs's f_type).
bool WorthAskingAhead(std::uint32_t fileSystemType);

}  // namespace platform::posix
