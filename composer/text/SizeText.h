#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvaleth {

// A UTF-8 text with its full-width ASCII forms (digits, signs, letters) and
// ideographic spaces made plain ASCII, as an input method in full-width mode
// types them; everything else, invalid bytes included, stays as it is.
std::string NarrowedSizeText(std::string_view text);

// A picture size text as a 32-bit integer, or nothing when the text is not
// one: read after NarrowedSizeText, leading spaces (0x20 only), then an optional sign and decimal digits,
// or "$" and at most 8 significant hexadecimal digits (from $80000000 up the
// value comes out negative), and nothing after the last digit.
std::optional<std::int32_t> ParseSizeText(std::string_view text);

// The same, failing with "'%s' は整数ではありません" quoting the text as typed.
std::int32_t StrToInt(std::string_view text);

} // namespace morvaleth
