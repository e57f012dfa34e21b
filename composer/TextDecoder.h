#pragma once

#include "composer/Canvas.h"

#include <iconv.h>

#include <string>
#include <string_view>

namespace morvaleth {

// Turns the bytes of a text into Unicode code points through iconv: Shift-JIS
// as Windows code page 932 has it, or UTF-8. The converters are opened on
// first use and kept, so that converting a character costs no system call.
class TextDecoder {
public:
    // Stands for a byte, or an incomplete sequence, that does not convert.
    static constexpr char32_t Unconvertible = 0xFFFFFFFF;

    TextDecoder() = default;
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;
    ~TextDecoder();

    // Replaces `codePoints` with the characters of `text`; every byte that
    // does not convert becomes one Unconvertible. Never reads past the text.
    void Decode(std::string_view text, TextEncoding encoding, std::u32string& codePoints);

private:
    iconv_t& ConverterFor(TextEncoding encoding);

    iconv_t shiftJis_ = iconv_t(-1);
    iconv_t utf8_ = iconv_t(-1);
};

} // namespace morvaleth
