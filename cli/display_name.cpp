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

}  // namespace

platform::NativeString EscapeControls(platform::NativeStringView name) {
    constexpr char kHex[] = "0123456789ABCDEF";
    constexpr bool kBytes = sizeof(NativeChar) == 1;
    platform::NativeString shown;
    shown.reserve(name.size());
    const auto escape = [&](NativeChar c) {
        const unsigned u = Unsigned(c);
        shown.push_back('\\');
        shown.push_back('x');
        shown.push_back(static_cast<NativeChar>(kHex[(u >> 4) & 0xF]));
        shown.push_back(static_cast<NativeChar>(kHex[u & 0xF]));
    };
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned u = Unsigned(name[i]);
        // In wide text C1 controls are single characters; bytes see below.
        if (u < 0x20 || u == 0x7F || (!kBytes && u >= 0x80 && u <= 0x9F)) {
            escape(name[i]);
            continue;
        }
        if (!kBytes || u < 0x80) {
            shown.push_back(name[i]);
            continue;
        }
        // Above 0x7F a byte name is read as UTF-8 where it is well formed.
        // A C1 control (U+0080-U+009F, 0xC2 0x80-0x9F) and a C1 byte outside
        // any sequence are what a terminal acts on (CSI, NEL): escaped. Other
        // bytes of broken sequences stay as they are.
        const std::size_t length = Utf8Length(name, i);
        if (length == 2 && u == 0xC2 && Unsigned(name[i + 1]) <= 0x9F) {
            escape(name[i]);
            escape(name[++i]);
        } else if (length > 0) {
            shown.append(name.substr(i, length));
            i += length - 1;
        } else if (u <= 0x9F) {
            escape(name[i]);
        } else {
            shown.push_back(name[i]);
        }
    }
    return shown;
}

platform::NativeString DisplayName(const platform::NativeChar* path) {
    return EscapeControls(platform::FinalComponent(path));
}
