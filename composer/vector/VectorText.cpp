#include "composer/vector/VectorText_p.h"

#include <utf8proc.h>

#include <charconv>
#include <cmath>

namespace morvaleth {

void AppendNumber(std::string& out, double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0)
        rounded = 0; // no "-0"
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, decimals);
    char* last = error == std::errc() ? end : text;
    if (decimals > 0 && last != text) {
        while (last[-1] == '0')
            --last;
        if (last[-1] == '.')
            --last;
    }
    out.append(text, last);
}

std::string Utf8Of(std::u32string_view codePoints)
{
    std::string text;
    for (const char32_t c : codePoints) {
        utf8proc_uint8_t bytes[4];
        text.append(reinterpret_cast<const char*>(bytes), std::size_t(utf8proc_encode_char(utf8proc_int32_t(c), bytes)));
    }
    return text;
}

} // namespace morvaleth
