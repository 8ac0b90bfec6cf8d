#include "digest/report.h"

#include <charconv>

#include "platform/platform.h"

void WriteCodeLine(std::string_view prefix, std::uint32_t code) {
    char line[64];
    // Prefixes are short literals; the code takes at most 10 digits.
    const std::size_t n = prefix.copy(line, sizeof line - 10);
    const auto end = std::to_chars(line + n, line + sizeof line, code).ptr;
    platform::WriteLine(std::string_view(line, static_cast<std::size_t>(end - line)));
}
