#include "composer/TextDecoder.h"

#include "composer/Error.h"

#include <cerrno>

namespace morvaleth {

TextDecoder::~TextDecoder()
{
    for (iconv_t converter : {shiftJis_, utf8_})
        if (converter != iconv_t(-1))
            iconv_close(converter);
}

iconv_t& TextDecoder::ConverterFor(TextEncoding encoding)
{
    iconv_t& converter = encoding == TextEncoding::Utf8 ? utf8_ : shiftJis_;
    if (converter == iconv_t(-1)) {
        const char* from = encoding == TextEncoding::Utf8 ? "UTF-8" : "CP932";
        converter = iconv_open("UTF-32LE", from);
        if (converter == iconv_t(-1))
            throw Error(std::string("文字コード変換 ") + from + " を利用できません");
    }
    return converter;
}

void TextDecoder::Decode(std::string_view text, TextEncoding encoding, std::u32string& codePoints)
{
    codePoints.clear();
    iconv_t converter = ConverterFor(encoding);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);

    // Text units are a character or two; a short stack buffer holds the
    // result of one call, and longer texts take several.
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char buffer[64];
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        for (const char* p = buffer; p + 4 <= out; p += 4) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(p);
            codePoints.push_back(char32_t(bytes[0]) | char32_t(bytes[1]) << 8 |
                                 char32_t(bytes[2]) << 16 | char32_t(bytes[3]) << 24);
        }
        if (result != std::size_t(-1) || error == E2BIG)
            continue;
        // EILSEQ or EINVAL: the byte at `in` starts no valid character here.
        codePoints.push_back(Unconvertible);
        ++in;
        --inLeft;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
}

} // namespace morvaleth
