// The file name as the report shows it.
#pragma once

#include "platform/platform.h"

// The final component of `path`, with control characters written as \xHH so
// that a name can never break the line structure or drive a terminal.
platform::NativeString DisplayName(const platform::NativeChar* path);

// `name` with every control character (0x01-0x1F, 0x7F, and for wide text
// also 0x80-0x9F) replaced by \xHH, uppercase hex.
platform::NativeString EscapeControls(platform::NativeStringView name);
