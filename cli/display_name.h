// The file name as the report shows it.
#pragma once

#include "platform/platform.h"

// The final component of `path`, with control characters written as \xHH so
// that a name can never break the line structure or drive a terminal.
platform::NativeString DisplayName(const platform::NativeChar* path);

// `name` with every control character replaced by \xHH, uppercase hex:
// 0x01-0x1F and 0x7F, and the C1 controls U+0080-U+009F. In byte names
// those are their UTF-8 form 0xC2 0x80-0x9F (both bytes escaped) and any
// byte 0x80-0x9F that is not part of a well-formed UTF-8 sequence.
platform::NativeString EscapeControls(platform::NativeStringView name);
