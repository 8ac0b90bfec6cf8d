#include "cli/display_name.h"

#include <type_traits>

namespace {

using platform::NativeChar;

bool IsControl(NativeChar c) {
    // Compare as unsigned: raw bytes above 0x7F are part of UTF-8 names.
    const auto u = static_cast<std::make_unsigned_t<NativeChar>>(c);
    if (u < 0x20 || u == 0x7F) {
        return true;
    }
    // In wide text C1 controls are single characters; as bytes see below.
    return sizeof(NativeChar) > 1 && u >= 0x80 && u <= 0x9F;
}

// A C1 control (U+0080-U+009F) in UTF-8: 0xC2 then 0x80-0x9F. Terminals
// that read UTF-8 act on these as on their 8-bit forms (CSI, NEL).
bool IsUtf8C1(platform::NativeStringView name, std::size_t i) {
    if (sizeof(NativeChar) > 1 || i + 1 >= name.size()) {
        return false;
    }
    const auto lead = static_cast<unsigned char>(name[i]);
    const auto next = static_cast<unsigned char>(name[i + 1]);
    return lead == 0xC2 && next >= 0x80 && next <= 0x9F;
}

}  // namespace

platform::NativeString EscapeControls(platform::NativeStringView name) {
    constexpr char kHex[] = "0123456789ABCDEF";
    platform::NativeString shown;
    shown.reserve(name.size());
    const auto escape = [&](NativeChar c) {
        const auto u = static_cast<unsigned>(static_cast<std::make_unsigned_t<NativeChar>>(c));
        shown.push_back('\\');
        shown.push_back('x');
        shown.push_back(static_cast<NativeChar>(kHex[(u >> 4) & 0xF]));
        shown.push_back(static_cast<NativeChar>(kHex[u & 0xF]));
    };
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (IsControl(name[i])) {
            escape(name[i]);
        } else if (IsUtf8C1(name, i)) {
            escape(name[i]);  // both bytes: a terminal would act on the pair
            escape(name[++i]);
        } else {
            shown.push_back(name[i]);
        }
    }
    return shown;
}

platform::NativeString DisplayName(const platform::NativeChar* path) {
    return EscapeControls(platform::FinalComponent(path));
}
