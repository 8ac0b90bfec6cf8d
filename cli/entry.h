// The command: argument handling, the file-name line, one Digester.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Runs the command for an argument vector whose element after the last
// argument is null; returns the status code that becomes the exit status.
std::uint32_t RunCommand(const platform::NativeChar* const* argv);
