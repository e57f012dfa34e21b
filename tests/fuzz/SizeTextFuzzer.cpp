// The size-text conversion against a plain restatement of its rules: the
// full-width forms of ASCII and the ideographic space read as ASCII, leading
// spaces (0x20 only), then an optional sign and decimal digits within the
// 32-bit range, or "$" and at most 8 significant hexadecimal digits taken as
// an unsigned 32-bit pattern, and nothing after the last digit.

#include "FuzzSupport.h"

#include "composer/Error.h"
#include "composer/text/SizeText.h"

#include <bit>
#include <optional>
#include <string>

namespace {

constexpr std::string_view DecimalDigits = "0123456789";
constexpr std::string_view HexadecimalDigits = "0123456789abcdefABCDEF";

bool OnlyOf(std::string_view text, std::string_view allowed)
{
    return text.find_first_not_of(allowed) == std::string_view::npos;
}

std::string_view WithoutLeadingZeros(std::string_view digits)
{
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view() : digits.substr(first);
}

// Compares magnitudes as digit strings, so that no arithmetic can overflow
// before the range is known to hold.
bool AtMost(std::string_view significant, std::string_view limit)
{
    return significant.size() < limit.size() || (significant.size() == limit.size() && significant <= limit);
}

// The full-width forms of ASCII (U+FF01 to U+FF5E, three UTF-8 bytes EF BC xx
// or EF BD xx) and the ideographic space (E3 80 80) made ASCII.
std::string Narrowed(std::string_view text)
{
    std::string narrowed;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        if (i + 2 < text.size() && byte(0) == 0xE3 && byte(1) == 0x80 && byte(2) == 0x80) {
            narrowed += ' ';
            i += 2;
        } else if (i + 2 < text.size() && byte(0) == 0xEF && (byte(1) == 0xBC || byte(1) == 0xBD) &&
                   byte(2) >= 0x80 && byte(2) <= 0xBF) {
            const unsigned codePoint = 0xFF00 + (byte(1) == 0xBD ? 0x40 : 0) + (byte(2) - 0x80);
            if (codePoint >= 0xFF01 && codePoint <= 0xFF5E) {
                narrowed += char(codePoint - 0xFF00 + 0x20);
                i += 2;
                continue;
            }
            narrowed += text[i];
        } else {
            narrowed += text[i];
        }
    }
    return narrowed;
}

std::optional<std::int32_t> ReferenceSizeText(std::string_view original)
{
    const std::string narrowed = Narrowed(original);
    std::string_view text = narrowed;
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;

    if (text.front() == '$') {
        const std::string_view digits = text.substr(1);
        if (digits.empty() || !OnlyOf(digits, HexadecimalDigits))
            return std::nullopt;
        const std::string_view significant = WithoutLeadingZeros(digits);
        if (significant.size() > 8)
            return std::nullopt;
        const unsigned long value = significant.empty() ? 0 : std::stoul(std::string(significant), nullptr, 16);
        return std::bit_cast<std::int32_t>(std::uint32_t(value));
    }

    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !OnlyOf(text, DecimalDigits))
        return std::nullopt;
    const std::string_view significant = WithoutLeadingZeros(text);
    if (!AtMost(significant, negative ? "2147483648" : "2147483647"))
        return std::nullopt;
    const long long magnitude = significant.empty() ? 0 : std::stoll(std::string(significant));
    return std::int32_t(negative ? -magnitude : magnitude);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvaleth;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int32_t> expected = ReferenceSizeText(text);
    const std::optional<std::int32_t> parsed = ParseSizeText(text);
    FUZZ_CHECK(parsed == expected, "'%.*s': %s, expected %s", int(size), text.data(),
               parsed ? std::to_string(*parsed).c_str() : "refused",
               expected ? std::to_string(*expected).c_str() : "refused");

    try {
        const std::int32_t value = StrToInt(text);
        FUZZ_CHECK(expected && value == *expected, "StrToInt gave %d", value);
    } catch (const Error& error) {
        // A message is a C string: it ends at a NUL byte of the text, which
        // neither an edit box nor a command line can hold anyway.
        const std::string message = "'" + std::string(text) + "' は整数ではありません";
        FUZZ_CHECK(!expected && error.what() == message.substr(0, message.find('\0')),
                   "StrToInt failed with '%s'", error.what());
    }
    return 0;
}
