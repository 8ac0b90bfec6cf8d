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
    // C1 controls exist only as wide characters; as bytes they are UTF-8.
    return sizeof(NativeChar) > 1 && u >= 0x80 && u <= 0x9F;
}

}  // namespace

platform::NativeString EscapeControls(platform::NativeStringView name) {
    constexpr char kHex[] = "0123456789ABCDEF";
    platform::NativeString shown;
    shown.reserve(name.size());
    for (const NativeChar c : name) {
        if (!IsControl(c)) {
            shown.push_back(c);
            continue;
        }
        const auto u = static_cast<unsigned>(static_cast<std::make_unsigned_t<NativeChar>>(c));
        shown.push_back('\\');
        shown.push_back('x');
        shown.push_back(static_cast<NativeChar>(kHex[(u >> 4) & 0xF]));
        shown.push_back(static_cast<NativeChar>(kHex[u & 0xF]));
    }
    return shown;
}

platform::NativeString DisplayName(const platform::NativeChar* path) {
    return EscapeControls(platform::FinalComponent(path));
}
