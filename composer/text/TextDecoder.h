#pragma once

#include "composer/text/Encoding.h"

#include <iconv.h>

#include <optional>
#include <string_view>

namespace morvaleth {

// True for the bytes that start a two-byte Shift-JIS character.
constexpr bool IsLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The length of the well-formed UTF-8 sequence at the start of `bytes`; 0 when
// it is not well-formed, and -1 when `bytes` ends before the sequence does.
int Utf8SequenceLength(std::string_view bytes);

// Which of UTF-8, EUC-JP and Shift-JIS the bytes read as, decided on the
// evidence of `bytes`, which start at a text's first byte above 0x7F.
// UTF-8 when its multi-byte sequences outnumber its invalid bytes four to one;
// otherwise whichever of EUC-JP and Shift-JIS has fewer sequences that do not
// convert, and on a tie the one whose characters look more like Japanese
// prose (kana above kanji above the rarer kanji; half-width katakana as half
// a kana, but their voiced-sound and long-vowel marks and small kana after a
// letter as a whole one); Shift-JIS when that ties as well. `complete` says
// that the text ends with `bytes`; when it does not, a sequence cut off at
// the end is not held against anyone.
SourceEncoding EncodingByEvidence(std::string_view bytes, bool complete);

// UTF-16 told by its zero bytes, from the start of a text without a
// byte-order mark: ASCII and line ends put a zero in every other byte,
// which no other encoding a text is read in has. Little-endian when more
// zeros lie at odd offsets than at even ones, big-endian the other way round,
// as long as they make at least one byte in 256; none when the zeros are
// fewer or even, or the text (`complete`) has an odd length.
std::optional<SourceEncoding> Utf16ByZeroBytes(std::string_view bytes, bool complete);

// A character decoded from the front of some bytes.
struct DecodedCharacter {
    // Bytes taken; 0 means nothing could be decided (no bytes at all).
    std::size_t length = 0;
    char32_t codePoint = 0;
    // False for bytes that only change the decoder's state (an escape
    // sequence of ISO-2022-JP) and stand for no character.
    bool isCharacter = false;
    // False for bytes that do not convert; codePoint is then U+FFFD.
    bool valid = true;
};

inline constexpr char32_t ReplacementCharacter = 0xFFFD;

// Decodes one encoding through iconv, a character at a time, keeping the
// converter's state (ISO-2022-JP's shifts) from one character to the next.
class TextDecoder {
public:
    // The most bytes one character, or one escape sequence and a character,
    // can take: the decoder wants this many whenever the text has them.
    static constexpr std::size_t LongestCharacter = 16;

    // Fails when the system's iconv lacks the encoding. `encoding` is not
    // Automatic or Utf16 (the byte order is decided by then).
    explicit TextDecoder(SourceEncoding encoding);
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;
    ~TextDecoder();

    // The first character of `bytes`, which hold at least LongestCharacter
    // bytes unless the text ends with them. A sequence that does not convert
    // is one invalid character: in Shift-JIS a lead byte and its trail, in
    // EUC-JP a whole two- or three-byte code, in UTF-16 a code unit, in the
    // others one byte. EUC-JP reads the NEC and IBM extensions as well: a
    // two-byte code that plain EUC-JP lacks as CP51932 has it (the EUC form
    // of CP932's codes, ① and ㈱ in row 13, the IBM kanji in rows 89 to 92),
    // else as eucJP-ms (the IBM kanji behind 0x8F, the user-defined rows as
    // private-use characters); what plain EUC-JP converts stays as it reads
    // it.
    DecodedCharacter Next(std::string_view bytes);

private:
    // An iconv converter from one encoding to UTF-32LE, closed with its owner.
    class Converter {
    public:
        // Fails as the decoder does when iconv lacks the encoding.
        explicit Converter(const char* from);
        Converter(const Converter&) = delete;
        Converter& operator=(const Converter&) = delete;
        ~Converter();

        // The first character of `bytes` as this converter reads it.
        DecodedCharacter Convert(std::string_view bytes);

    private:
        iconv_t handle_ = iconv_t(-1);
    };

    std::size_t InvalidLength(std::string_view bytes) const;
    // An EUC-JP code that EUC-JP itself does not convert, read as the Windows
    // (CP51932) or the eucJP-ms form of EUC-JP reads it; not a character when
    // neither has it.
    DecodedCharacter EucJpExtension(std::string_view bytes);

    SourceEncoding encoding_;
    Converter converter_;
    // Opened on the first code that needs them.
    std::optional<Converter> windows_;
    std::optional<Converter> extended_;
};

} // namespace morvaleth
