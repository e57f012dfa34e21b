#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace morvaleth {

// A picture size text as a 32-bit integer, or nothing when the text is not
// one: leading spaces (0x20 only), then an optional sign and decimal digits,
// or "$" and at most 8 significant hexadecimal digits (from $80000000 up the
// value comes out negative), and nothing after the last digit.
std::optional<std::int32_t> ParseSizeText(std::string_view text);

// The same, failing with "'%s' は整数ではありません" quoting the text as typed.
std::int32_t StrToInt(std::string_view text);

} // namespace morvaleth
