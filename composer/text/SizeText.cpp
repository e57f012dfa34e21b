#include "composer/text/SizeText.h"

#include "composer/Messages.h"
#include "composer/text/HexDigit.h"

#include <utf8proc.h>

#include <string>

namespace morvaleth {
namespace {

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

bool IsWideForm(utf8proc_int32_t codePoint)
{
    return codePoint == 0x3000 || (codePoint >= 0xFF01 && codePoint <= 0xFF5E);
}

} // namespace

std::string NarrowedSizeText(std::string_view text)
{
    std::string narrowed;
    narrowed.reserve(text.size());
    while (!text.empty()) {
        utf8proc_int32_t codePoint = -1;
        const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
        const utf8proc_ssize_t length = utf8proc_iterate(bytes, utf8proc_ssize_t(text.size()), &codePoint);
        if (length > 0 && IsWideForm(codePoint)) {
            utf8proc_int32_t narrow = 0;
            int boundClass = 0;
            if (utf8proc_decompose_char(codePoint, &narrow, 1, utf8proc_option_t(UTF8PROC_DECOMPOSE | UTF8PROC_COMPAT), &boundClass) == 1 && narrow < 0x80) {
                narrowed.push_back(char(narrow));
                text.remove_prefix(std::size_t(length));
                continue;
            }
        }
        const std::size_t taken = length > 0 ? std::size_t(length) : 1;
        narrowed.append(text.substr(0, taken));
        text.remove_prefix(taken);
    }
    return narrowed;
}

std::optional<std::int32_t> ParseSizeText(std::string_view original)
{
    const std::string narrowed = NarrowedSizeText(original);
    std::string_view text = narrowed;
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
    throw Failure(Message::NotAnInteger, {text});
}

} // namespace morvaleth
