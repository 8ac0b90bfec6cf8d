// Any path in, the shown name out: no control byte ever reaches the report,
// nothing outside the path is read (ASan), and the result is the final
// component by the rule below, checked against a model written apart.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cli/display_name.h"

namespace {

// Text after the last '/', a trailing run of '/' staying with the component
// before it; a path of only '/' shows one; then control bytes, and the
// two bytes of each C1 control in UTF-8, as \xHH.
std::string Model(const std::string& path) {
    std::string component;
    const std::size_t lastName = path.find_last_not_of('/');
    if (lastName == std::string::npos) {
        component = path.empty() ? "" : "/";
    } else {
        const std::size_t slash = path.rfind('/', lastName);
        component = path.substr(slash == std::string::npos ? 0 : slash + 1);
    }
    std::string shown;
    const auto escape = [&](unsigned char byte) {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        shown += escaped;
    };
    for (std::size_t i = 0; i < component.size(); ++i) {
        const auto byte = static_cast<unsigned char>(component[i]);
        const unsigned char next =
            i + 1 < component.size() ? static_cast<unsigned char>(component[i + 1]) : 0;
        if (byte < 0x20 || byte == 0x7F) {
            escape(byte);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {  // a C1 control in UTF-8
            escape(byte);
            escape(next);
            ++i;
        } else {
            shown += component[i];
        }
    }
    return shown;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A path holds no NUL: it ends the path, as it would for the system.
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - data) : size;
    // Exactly the path and its terminator, so any read beyond is caught.
    const auto path = std::make_unique<char[]>(length + 1);
    std::memcpy(path.get(), data, length);
    path[length] = '\0';

    const std::string shown = DisplayName(path.get());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto byte = static_cast<unsigned char>(shown[i]);
        const bool c1 = byte == 0xC2 && i + 1 < shown.size() &&
                        static_cast<unsigned char>(shown[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(shown[i + 1]) <= 0x9F;
        if ((byte >= 0x01 && byte <= 0x1F) || byte == 0x7F || c1) {
            std::fprintf(stderr, "control byte 0x%02X in the shown name\n", byte);
            std::abort();
        }
    }
    if (shown != Model(std::string(path.get(), length))) {
        std::fprintf(stderr, "shown name differs from the model\n");
        std::abort();
    }
    return 0;
}
