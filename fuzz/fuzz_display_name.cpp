// Any path in, the shown name out: nothing outside the path is read (ASan);
// the shown name holds nothing MustHide names, as the C library's UTF-8
// decoder reads it; and with its escapes undone it is a tail of the path
// that starts a component: nothing lost, nothing added.
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "cli/display_name.h"

namespace {

// Controls a terminal acts on, and what breaks a line or reorders it for a
// Unicode reader: U+2028, U+2029 and the bidirectional formatting characters.
bool MustHide(unsigned c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x61C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool HasControls(const std::string& shown) {
    std::mbstate_t state{};
    for (std::size_t i = 0, n = 0; i < shown.size(); i += n) {
        wchar_t wc = 0;
        n = std::mbrtowc(&wc, shown.data() + i, shown.size() - i, &state);
        const bool valid = n <= shown.size();  // else not UTF-8 here: the byte alone counts
        if (MustHide(valid ? static_cast<unsigned>(wc) : static_cast<unsigned char>(shown[i]))) {
            return true;
        }
        state = valid ? state : std::mbstate_t{};
        n = valid ? n : 1;
    }
    return false;
}

// Whether `shown` is `tail` with some bytes written as \xHH: control-range
// bytes, the other bytes of the UTF-8 forms of what MustHide names, and
// every backslash (always escaped, so reading byte by byte is exact).
bool ShowsTail(const std::string& shown, const std::string& tail) {
    std::size_t i = 0;
    for (const char c : tail) {
        const auto byte = static_cast<unsigned char>(c);
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        const bool utf8Part = byte == 0xC2 || byte == 0xD8 || byte == 0xE2 || (byte | 0xF) == 0xAF;
        if (i < shown.size() && shown[i] == c && c != '\\') {
            i += 1;
        } else if ((MustHide(byte) || utf8Part || c == '\\') && shown.compare(i, 4, escaped) == 0) {
            i += 4;
        } else {
            return false;
        }
    }
    return i == shown.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    // A path holds no NUL: it ends the path, as it would for the system.
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - data) : size;
    // Exactly the path and its terminator, so any read beyond is caught.
    const auto path = std::make_unique<char[]>(length + 1);
    std::memcpy(path.get(), data, length);
    path[length] = '\0';

    const std::string shown = DisplayName(path.get());
    const std::string whole(path.get(), length);
    bool tail = false;
    for (std::size_t at = 0; !tail && at <= length; ++at) {
        tail = (at == 0 || whole[at - 1] == '/') && ShowsTail(shown, whole.substr(at));
    }
    if (!utf8 || HasControls(shown) || !tail) {
        std::abort();  // the input is kept as the finding
    }
    return 0;
}
