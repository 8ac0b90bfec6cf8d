// Report lines that carry a status code.
#pragma once

#include <cstdint>
#include <string_view>

// Writes `prefix` followed by `code` in unsigned decimal as one report line.
void WriteCodeLine(std::string_view prefix, std::uint32_t code);
