// The source reader against a plain restatement of its rules, worked on the
// whole text at once: the encoding decided on the first 64 KiB, a UTF-8 byte
// order mark dropped, lines split at CR LF or a lone CR, the text ended by
// 0x1A, and every line cut into character units.
//
// Input: one byte chooses the encoding (automatic, Shift-JIS, UTF-8) and
// whether the text is put behind a filler so that it straddles the 64 KiB of
// the read buffer and of the encoding decision; one byte says how far before
// that mark it starts; the rest is the text.

#include "FuzzSupport.h"

#include "composer/SourceReader.h"

#include <algorithm>
#include <vector>

namespace {

using morvaleth::SourceEncoding;
using morvaleth::SourceReader;
using morvaleth::TextEncoding;

constexpr std::size_t DecisionBytes = 64 * 1024;

struct Token {
    SourceReader::Token kind;
    std::string_view bytes;
    friend bool operator==(const Token&, const Token&) = default;
};

// The UTF-8 sequence at the start of `bytes`: its length when it is whole and
// well-formed, 0 when it cannot be, -1 when `bytes` ends inside a sequence
// that could still be completed. Worked out from the code points a sequence
// can stand for: a scalar value (no surrogate, at most U+10FFFF) that needs
// every one of its bytes.
int SequenceAt(std::string_view bytes)
{
    const auto byte = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (byte(0) < 0x80)
        return 1;
    int length = 0;
    if (byte(0) >= 0xC0 && byte(0) < 0xE0)
        length = 2;
    else if (byte(0) >= 0xE0 && byte(0) < 0xF0)
        length = 3;
    else if (byte(0) >= 0xF0 && byte(0) < 0xF8)
        length = 4;
    else
        return 0;

    const int present = int(std::min<std::size_t>(std::size_t(length), bytes.size()));
    std::uint32_t codePoint = byte(0) & (0x7F >> length);
    for (int i = 1; i < present; ++i) {
        if ((byte(std::size_t(i)) & 0xC0) != 0x80)
            return 0;
        codePoint = codePoint << 6 | (byte(std::size_t(i)) & 0x3F);
    }
    const int missingBits = 6 * (length - present);
    const std::uint32_t lowest = codePoint << missingBits;
    const std::uint32_t highest = lowest | ((1u << missingBits) - 1);
    const std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const std::uint32_t from = std::max(lowest, shortest[length]);
    const std::uint32_t to = std::min<std::uint32_t>(highest, 0x10FFFF);
    const bool onlySurrogates = from >= 0xD800 && to <= 0xDFFF;
    if (from > to || onlySurrogates)
        return 0;
    return present < length ? -1 : length;
}

bool DecidesForUtf8(std::string_view text)
{
    std::string_view window = text.substr(0, DecisionBytes);
    const bool textGoesOn = text.size() > DecisionBytes;
    bool multiByte = false;
    while (!window.empty()) {
        const int length = SequenceAt(window);
        if (length == 0)
            return false;
        if (length < 0) // cut off by the end of the window
            return textGoesOn && multiByte;
        multiByte = multiByte || length > 1;
        window.remove_prefix(std::size_t(length));
    }
    return multiByte;
}

std::size_t UnitLength(std::string_view rest, TextEncoding encoding)
{
    const auto lead = static_cast<unsigned char>(rest[0]);
    if (encoding == TextEncoding::ShiftJis)
        return morvaleth::IsLeadByte(lead) && rest.size() >= 2 ? 2 : 1;
    const int length = SequenceAt(rest);
    return length > 0 ? std::size_t(length) : 1;
}

std::vector<Token> ReferenceTokens(std::string_view file, SourceEncoding requested, TextEncoding& encoding)
{
    std::string_view text = file.substr(0, file.find('\x1A'));
    if (requested == SourceEncoding::Automatic)
        encoding = DecidesForUtf8(text) ? TextEncoding::Utf8 : TextEncoding::ShiftJis;
    else
        encoding = requested == SourceEncoding::Utf8 ? TextEncoding::Utf8 : TextEncoding::ShiftJis;
    if (encoding == TextEncoding::Utf8 && text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);

    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\r');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
        if (text.starts_with('\n'))
            text.remove_prefix(1);
    }

    std::vector<Token> tokens;
    tokens.reserve(file.size() + 1);
    for (std::string_view line : lines) {
        while (!line.empty()) {
            const std::size_t length = UnitLength(line, encoding);
            tokens.push_back({SourceReader::Token::Unit, line.substr(0, length)});
            line.remove_prefix(length);
        }
        tokens.push_back({SourceReader::Token::LineEnd, {}});
    }
    tokens.push_back({SourceReader::Token::TextEnd, {}});
    return tokens;
}

const char* Name(SourceReader::Token kind)
{
    switch (kind) {
    case SourceReader::Token::Unit:
        return "unit";
    case SourceReader::Token::LineEnd:
        return "line end";
    case SourceReader::Token::TextEnd:
        return "text end";
    }
    return "?";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvaleth;
    fuzzing::InputBytes input(data, size);
    const std::uint8_t choice = input.Byte();
    const std::uint8_t beforeMark = input.Byte();
    const SourceEncoding requested = (choice & 3) == 1   ? SourceEncoding::ShiftJis
                                     : (choice & 3) == 2 ? SourceEncoding::Utf8
                                                         : SourceEncoding::Automatic;
    std::string file;
    if (choice & 4)
        file.assign(DecisionBytes - beforeMark, 'a');
    file.append(input.RestAsText());

    fuzzing::MemoryFile source(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
    TextEncoding expectedEncoding;
    const std::vector<Token> expected = ReferenceTokens(file, requested, expectedEncoding);

    SourceReader reader(source.Path(), requested);
    FUZZ_CHECK(reader.Encoding() == expectedEncoding, "read as %s",
               reader.Encoding() == TextEncoding::Utf8 ? "UTF-8" : "Shift-JIS");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        std::string_view unit;
        const SourceReader::Token kind = reader.Next(unit);
        const Token got{kind, kind == SourceReader::Token::Unit ? unit : std::string_view()};
        FUZZ_CHECK(got == expected[i], "token %zu of %zu: %s of %zu bytes, expected %s of %zu bytes", i,
                   expected.size(), Name(got.kind), got.bytes.size(), Name(expected[i].kind),
                   expected[i].bytes.size());
    }
    std::string_view unit;
    FUZZ_CHECK(reader.Next(unit) == SourceReader::Token::TextEnd, "the text went on after its end");
    reader.Close();
    return 0;
}
