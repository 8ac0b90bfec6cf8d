// The file name as the report shows it.
#pragma once

#include "platform/platform.h"

// The final component of `path`, escaped (below) so that a name can never
// break the line structure, drive a terminal or reorder the line's text.
platform::NativeString DisplayName(const platform::NativeChar* path);

// `name` with every character that could break the line or change how it
// reads escaped, uppercase hex: the controls 0x01-0x1F, 0x7F and U+0080-U+009F
// as \xHH; U+2028, U+2029 and the bidirectional formatting characters
// (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) as \uHHHH in wide
// names. Byte names escape each byte of the UTF-8 form as \xHH, any byte
// 0x80-0x9F that is not part of a well-formed UTF-8 sequence, and the
// backslash (\x5C), so that the escapes read back one way only.
platform::NativeString EscapeControls(platform::NativeStringView name);
