// The file name as the report shows it.
#pragma once

#include <memory>

#include "platform/platform.h"

// The final component of `path`, escaped so that a name can never break the
// line structure, drive a terminal, reorder the line's text or pass for
// another name on screen, uppercase hex:
// - the controls 0x01-0x1F, 0x7F and U+0080-U+009F, U+2028 and U+2029,
//   and every default-ignorable code point (invisible, the bidirectional
//   formatting characters among them): as \xHH, or as \uHHHH for a wide
//   character above 0xFF, each byte of a byte name's UTF-8 form or each
//   UTF-16 unit of a wide one;
// - what is not text: each byte of a byte name that is not part of a
//   well-formed UTF-8 sequence (\xHH), each unpaired surrogate of a wide
//   name (\uHHHH);
// - in byte names the backslash (\x5C), so that the escapes read back one
//   way only.
// Where nothing is escaped the text is a view of `path` itself.
class DisplayName {
public:
    explicit DisplayName(const platform::NativeChar* path);

    // False where the name needed escaping and the system gave no memory for
    // it: the line must then be lost, as no name is shown rather than a
    // wrong one.
    bool Made() const { return made_; }
    platform::NativeStringView Text() const { return text_; }

private:
    std::unique_ptr<platform::NativeChar[]> escaped_;
    platform::NativeStringView text_;
    bool made_ = true;
};

// Whether the code point is one a shown name escapes wherever it stands: a
// control, U+2028, U+2029 or a default-ignorable code point.
bool MustEscape(char32_t c);
