#include "cli/display_name.h"

#include <type_traits>

namespace {

using platform::NativeChar;

unsigned Unsigned(NativeChar c) {
    // Compare as unsigned: raw bytes above 0x7F are part of UTF-8 names.
    return static_cast<unsigned>(static_cast<std::make_unsigned_t<NativeChar>>(c));
}

// The length of the well-formed UTF-8 sequence at name[i], or 0 if none
// starts there (no overlong forms, surrogates or values above U+10FFFF).
std::size_t Utf8Length(platform::NativeStringView name, std::size_t i) {
    const unsigned lead = Unsigned(name[i]);
    unsigned low = 0x80;
    unsigned high = 0xBF;  // the range of the second byte
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    }
    if (length == 0 || name.size() - i < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned next = Unsigned(name[i + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

// The code point of the well-formed sequence name[i, i + length).
char32_t Decode(platform::NativeStringView name, std::size_t i, std::size_t length) {
    constexpr unsigned kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = Unsigned(name[i]) & kLeadBits[length];
    for (std::size_t k = 1; k < length; ++k) {
        c = (c << 6) | (Unsigned(name[i + k]) & 0x3F);
    }
    return c;
}

// Controls a terminal acts on, and invisible characters that break a line
// for Unicode readers (U+2028, U+2029) or reorder what is shown around them
// (the bidirectional marks, embeddings, overrides and isolates).
bool MustEscape(char32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E ||
           c == 0x200F || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

platform::NativeString EscapeControls(platform::NativeStringView name) {
    constexpr char kHex[] = "0123456789ABCDEF";
    platform::NativeString shown;
    shown.reserve(name.size());
    // \xHH, or \uHHHH for a wide character above 0xFF.
    const auto escape = [&](unsigned u) {
        const int digits = u > 0xFF ? 4 : 2;
        shown.push_back('\\');
        shown.push_back(digits == 4 ? 'u' : 'x');
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
            shown.push_back(static_cast<NativeChar>(kHex[(u >> shift) & 0xF]));
        }
    };
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned u = Unsigned(name[i]);
        if (sizeof(NativeChar) > 1 || u < 0x80) {
            // Wide text holds each of these as one UTF-16 unit. A byte name
            // escapes its backslashes too, so that no shown name reads as two;
            // on Windows one can only be the trailing separator.
            if (MustEscape(u) || (sizeof(NativeChar) == 1 && u == '\\')) {
                escape(u);
            } else {
                shown.push_back(name[i]);
            }
            continue;
        }
        // Above 0x7F a byte name is read as UTF-8 where it is well formed: a
        // character to escape has each of its bytes escaped. Of the bytes of
        // broken sequences, those a terminal takes for C1 controls (0x80-0x9F,
        // CSI, NEL) are escaped; the others stay as they are.
        const std::size_t length = Utf8Length(name, i);
        if (length > 0) {
            if (MustEscape(Decode(name, i, length))) {
                for (std::size_t k = i; k < i + length; ++k) {
                    escape(Unsigned(name[k]));
                }
            } else {
                shown.append(name.substr(i, length));
            }
            i += length - 1;
        } else if (u <= 0x9F) {
            escape(u);
        } else {
            shown.push_back(name[i]);
        }
    }
    return shown;
}

platform::NativeString DisplayName(const platform::NativeChar* path) {
    return EscapeControls(platform::FinalComponent(path));
}
