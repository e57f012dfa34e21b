#pragma once

#include <string>
#include <string_view>

namespace morvaleth {

// Appends the number with at most `decimals` decimals, trailing zeros
// dropped, never in exponent form and never "-0": as PDF and SVG both read
// numbers.
void AppendNumber(std::string& out, double value, int decimals);

// The code points in UTF-8.
std::string Utf8Of(std::u32string_view codePoints);

} // namespace morvaleth
