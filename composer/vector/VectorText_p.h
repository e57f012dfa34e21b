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
// UTF-8 as code points, a malformed sequence as U+FFFD.
std::u32string CodePointsOf(std::string_view utf8);
// UTF-8 text as XML character data or an attribute's value: the markup
// characters escaped, control characters XML cannot hold left out.
void AppendXmlText(std::string& out, std::string_view text);

} // namespace morvaleth
