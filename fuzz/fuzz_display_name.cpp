// Any path in, the shown name out: nothing outside the path is read (ASan);
// the shown name is well-formed UTF-8, as the C library's decoder reads it,
// and holds nothing MustEscape names; and with its \xHH escapes undone it is
// a tail of the path that starts a component: nothing lost, nothing added.
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

// Whether `shown` would deceive the eye: a byte that is no UTF-8, as the C
// library's decoder reads it, or a character the name must escape.
bool Deceives(const std::string& shown) {
    std::mbstate_t state{};
    for (std::size_t i = 0, n = 0; i < shown.size(); i += n) {
        wchar_t wc = 0;
        n = std::mbrtowc(&wc, shown.data() + i, shown.size() - i, &state);
        if (n > shown.size() || MustEscape(static_cast<char32_t>(wc))) {
            return true;
        }
    }
    return false;
}

// `shown` with every \xHH (uppercase) read back as its byte; a backslash
// that starts no such escape fails it, so every backslash of the name must
// be escaped.
bool Unescape(const std::string& shown, std::string& raw) {
    for (std::size_t i = 0; i < shown.size(); ++i) {
        char hex[3] = {};
        if (shown[i] != '\\') {
            raw += shown[i];
        } else if (std::sscanf(shown.c_str() + i, "\\x%2[0-9A-F]", hex) == 1 && hex[1] != '\0') {
            raw += static_cast<char>(std::strtol(hex, nullptr, 16));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
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

    const DisplayName name(path.get());
    const std::string shown(name.Text());
    const std::string whole(path.get(), length);
    std::string raw;
    const bool read = Unescape(shown, raw);
    const std::size_t at = whole.size() - raw.size();
    const bool tail = read && raw.size() <= whole.size() && whole.compare(at, raw.size(), raw) == 0 &&
                      (at == 0 || whole[at - 1] == '/');
    if (!utf8 || !name.Made() || Deceives(shown) || !tail) {
        std::abort();  // the input is kept as the finding
    }
    return 0;
}
