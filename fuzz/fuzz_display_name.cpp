// Any path in, the shown name out: nothing outside the path is read (ASan);
// the shown name holds no control a terminal would act on, as the C
// library's UTF-8 decoder reads it; and undoing its escapes gives back the
// final component, with only control-range bytes escaped.
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

[[noreturn]] void Fail(const char* what, std::size_t at) {
    std::fprintf(stderr, "%s at byte %zu of the shown name\n", what, at);
    std::abort();
}

// Text after the last '/', a trailing run of '/' staying with the component
// before it; a path of only '/' shows one.
std::string FinalComponent(const std::string& path) {
    const std::size_t lastName = path.find_last_not_of('/');
    if (lastName == std::string::npos) {
        return path.empty() ? "" : "/";
    }
    const std::size_t slash = path.rfind('/', lastName);
    return path.substr(slash == std::string::npos ? 0 : slash + 1);
}

void CheckNoControls(const std::string& shown) {
    std::mbstate_t state{};
    for (std::size_t i = 0; i < shown.size();) {
        wchar_t wc = 0;
        const std::size_t n = std::mbrtowc(&wc, shown.data() + i, shown.size() - i, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
            const auto byte = static_cast<unsigned char>(shown[i]);
            if (byte >= 0x80 && byte <= 0x9F) {
                Fail("a C1 byte outside any UTF-8 character", i);
            }
            state = std::mbstate_t{};
            i += 1;
            continue;
        }
        if (wc < 0x20 || wc == 0x7F || (wc >= 0x80 && wc <= 0x9F)) {
            Fail("a control character", i);
        }
        i += n;
    }
}

// `shown` read back against `component`: each byte as itself or as \xHH of
// a control-range byte (a backslash is never escaped, so this is exact).
void CheckRoundTrip(const std::string& shown, const std::string& component) {
    std::size_t i = 0;
    for (const char c : component) {
        const auto byte = static_cast<unsigned char>(c);
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        if (i < shown.size() && shown[i] == c) {
            i += 1;
        } else if (shown.compare(i, 4, escaped) == 0 &&
                   (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F) || byte == 0xC2)) {
            i += 4;
        } else {
            Fail("a byte neither kept nor escaped as a control", i);
        }
    }
    if (i != shown.size()) {
        Fail("text beyond the final component", i);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    if (!utf8) {
        std::fprintf(stderr, "no C.UTF-8 locale to decode the shown name with\n");
        std::abort();
    }
    // A path holds no NUL: it ends the path, as it would for the system.
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - data) : size;
    // Exactly the path and its terminator, so any read beyond is caught.
    const auto path = std::make_unique<char[]>(length + 1);
    std::memcpy(path.get(), data, length);
    path[length] = '\0';

    const std::string shown = DisplayName(path.get());
    CheckNoControls(shown);
    CheckRoundTrip(shown, FinalComponent(std::string(path.get(), length)));
    return 0;
}
