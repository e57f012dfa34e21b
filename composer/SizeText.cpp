#include "composer/SizeText.h"

#include "composer/Error.h"

#include <string>

namespace morvaleth {
namespace {

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::int32_t> ParseHexadecimal(std::string_view digits)
{
    if (digits.empty())
        return std::nullopt;
    std::uint32_t value = 0;
    int significant = 0;
    for (char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        if (value != 0 || digit != 0)
            ++significant;
        if (significant > 8)
            return std::nullopt;
        value = value << 4 | std::uint32_t(digit);
    }
    return std::int32_t(value);
}

std::optional<std::int32_t> ParseDecimal(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit)
            return std::nullopt;
    }
    return std::int32_t(negative ? -magnitude : magnitude);
}

} // namespace

std::optional<std::int32_t> ParseSizeText(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(first);
    if (text.front() == '$')
        return ParseHexadecimal(text.substr(1));
    return ParseDecimal(text);
}

std::int32_t StrToInt(std::string_view text)
{
    if (std::optional<std::int32_t> value = ParseSizeText(text))
        return *value;
    throw Error("'" + std::string(text) + "' は整数ではありません", ErrorKind::Usage);
}

} // namespace morvaleth
