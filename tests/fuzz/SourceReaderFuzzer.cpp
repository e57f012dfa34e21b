// The source reader against a plain restatement of its rules, worked on the
// whole text at once: the encoding decided by a byte-order mark, UTF-16's zero
// bytes, an ISO-2022-JP escape or the evidence from the first byte above 0x7F
// on; the whole text converted by iconv in one go, a sequence that does not
// convert becoming one U+FFFD (in EUC-JP only after CP51932's and eucJP-ms's
// readings of it failed too); lines split at CR LF, CR or LF; the text ended
// by U+001A; in UTF-8 and UTF-16 every line cut into grapheme clusters, each
// keeping its first 32 code points, in NFC with compatibility ideographs kept.
//
// The same bytes held in memory are read as the file is.
//
// Input: one byte chooses the encoding (bits 0, 1 and 3) and whether the text
// is put behind a filler (bit 2) so that it straddles the 64 KiB of the read
// buffer and of the encoding decision; one byte says how far before that mark
// it starts; the rest is the text.

#include "FuzzSupport.h"

#include "composer/text/SourceReader.h"

#include <iconv.h>
#include <utf8proc.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

using morvaleth::SourceEncoding;
using morvaleth::SourceReader;

constexpr std::size_t DecisionBytes = 64 * 1024;
constexpr std::size_t LongestUnit = 32;

const SourceEncoding Requests[] = {
    SourceEncoding::Automatic, SourceEncoding::ShiftJis, SourceEncoding::Utf8,  SourceEncoding::Automatic,
    SourceEncoding::Utf16,     SourceEncoding::Utf16Be,  SourceEncoding::EucJp, SourceEncoding::Iso2022Jp,
};

struct Character {
    char32_t codePoint;
    bool valid;
};

struct Token {
    SourceReader::Token kind;
    std::u32string unit;
    friend bool operator==(const Token&, const Token&) = default;
};

bool IsDesignation(std::string_view bytes)
{
    static const char* const Escapes[] = {"\x1B$@", "\x1B$A", "\x1B$B", "\x1B$(C", "\x1B$(D", "\x1B$(O",
                                          "\x1B$(P", "\x1B$(Q", "\x1B(B", "\x1B(J", "\x1B(I", "\x1B&@"};
    return std::any_of(std::begin(Escapes), std::end(Escapes),
                       [&](const char* escape) { return bytes.starts_with(escape); });
}

// The encoding and where the text starts after its byte-order mark.
SourceEncoding Decide(std::string_view file, SourceEncoding requested, std::size_t& start)
{
    start = 0;
    const auto mark = [&](std::string_view bytes) {
        if (!file.starts_with(bytes))
            return false;
        start = bytes.size();
        return true;
    };
    switch (requested) {
    case SourceEncoding::Automatic:
        if (mark("\xEF\xBB\xBF"))
            return SourceEncoding::Utf8;
        if (mark("\xFF\xFE"))
            return SourceEncoding::Utf16Le;
        if (mark("\xFE\xFF"))
            return SourceEncoding::Utf16Be;
        if (const auto utf16 = morvaleth::Utf16ByZeroBytes(file.substr(0, DecisionBytes), file.size() < DecisionBytes))
            return *utf16;
        break;
    case SourceEncoding::Utf16:
        if (mark("\xFE\xFF"))
            return SourceEncoding::Utf16Be;
        mark("\xFF\xFE");
        return SourceEncoding::Utf16Le;
    case SourceEncoding::Utf8:
        mark("\xEF\xBB\xBF");
        return requested;
    case SourceEncoding::Utf16Be:
        mark("\xFE\xFF");
        return requested;
    default:
        return requested;
    }
    for (std::size_t i = 0; i < file.size() && file[i] != '\x1A'; ++i) {
        const std::string_view rest = file.substr(i);
        if (IsDesignation(rest.substr(0, 16)))
            return SourceEncoding::Iso2022Jp;
        if (static_cast<unsigned char>(file[i]) >= 0x80) {
            const std::string_view window = rest.substr(0, DecisionBytes);
            const std::size_t textEnd = window.find('\x1A');
            const bool complete = rest.size() < DecisionBytes || textEnd != std::string_view::npos;
            return morvaleth::EncodingByEvidence(window.substr(0, textEnd), complete);
        }
    }
    return SourceEncoding::Automatic;
}

// The bytes one sequence that does not convert takes.
std::size_t InvalidLength(std::string_view rest, SourceEncoding encoding)
{
    const auto at = [&](std::size_t i) { return i < rest.size() ? static_cast<unsigned char>(rest[i]) : 0; };
    const auto high = [](unsigned char b) { return b >= 0xA1 && b <= 0xFE; };
    std::size_t length = 1;
    if (encoding == SourceEncoding::ShiftJis && morvaleth::IsLeadByte(at(0)) && rest.size() >= 2 &&
        std::string_view("\r\n\x1A").find(char(at(1))) == std::string_view::npos)
        length = 2;
    else if (encoding == SourceEncoding::EucJp && ((high(at(0)) && high(at(1))) ||
                                                   (at(0) == 0x8E && at(1) >= 0xA1 && at(1) <= 0xDF)))
        length = 2;
    else if (encoding == SourceEncoding::EucJp && at(0) == 0x8F && high(at(1)) && high(at(2)))
        length = 3;
    else if (encoding == SourceEncoding::Utf16Le || encoding == SourceEncoding::Utf16Be)
        length = 2;
    return std::min(length, rest.size());
}

// One character of an EUC-JP code plain EUC-JP does not convert: a two-byte
// code as CP932 reads the same JIS code, else as eucJP-ms reads it; the bytes
// it takes, 0 for none.
std::size_t EucJpExtension(std::string_view rest, char32_t& codePoint)
{
    const auto at = [&](std::size_t i) { return i < rest.size() ? static_cast<unsigned char>(rest[i]) : 0; };
    const auto convert = [&](const char* from, std::string_view bytes) -> std::size_t {
        iconv_t converter = iconv_open("UTF-32LE", from);
        FUZZ_CHECK(converter != iconv_t(-1), "no converter for %s", from);
        char* in = const_cast<char*>(bytes.data());
        std::size_t inLeft = bytes.size();
        char out[4];
        char* outAt = out;
        std::size_t outLeft = sizeof out;
        iconv(converter, &in, &inLeft, &outAt, &outLeft);
        iconv_close(converter);
        if (outLeft != 0)
            return 0;
        std::memcpy(&codePoint, out, 4);
        return bytes.size() - inLeft;
    };
    if (at(0) >= 0xA1 && at(0) <= 0xFE && at(1) >= 0xA1 && at(1) <= 0xFE) {
        const unsigned row = at(0) - 0x80u;
        const unsigned cell = at(1) - 0x80u;
        const char shiftJis[2] = {char((row + 1) / 2 + (row <= 0x5E ? 0x70 : 0xB0)),
                                  char(row % 2 == 1 ? cell + (cell <= 0x5F ? 0x1F : 0x20) : cell + 0x7E)};
        if (convert("CP932", std::string_view(shiftJis, 2)) == 2)
            return 2;
    }
    return convert("EUC-JP-MS", rest.substr(0, 16));
}

std::vector<Character> Convert(std::string_view text, SourceEncoding encoding)
{
    const char* from = encoding == SourceEncoding::Utf8      ? "UTF-8"
                       : encoding == SourceEncoding::Utf16Le ? "UTF-16LE"
                       : encoding == SourceEncoding::Utf16Be ? "UTF-16BE"
                       : encoding == SourceEncoding::EucJp   ? "EUC-JP"
                       : encoding == SourceEncoding::Iso2022Jp ? "ISO-2022-JP-2"
                                                               : "CP932";
    iconv_t converter = iconv_open("UTF-32LE", from);
    FUZZ_CHECK(converter != iconv_t(-1), "no converter for %s", from);
    std::vector<Character> characters;
    std::vector<char> output(text.size() * 4 + 16);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char* out = output.data();
        std::size_t outLeft = output.size();
        const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        for (const char* p = output.data(); p < out; p += 4) {
            char32_t codePoint;
            std::memcpy(&codePoint, p, 4);
            characters.push_back({codePoint, true});
        }
        if (result == std::size_t(-1) && errno != E2BIG) {
            char32_t extended = 0;
            std::size_t skip = encoding == SourceEncoding::EucJp ? EucJpExtension(std::string_view(in, inLeft), extended) : 0;
            if (skip > 0) {
                characters.push_back({extended, true});
            } else {
                skip = InvalidLength(std::string_view(in, inLeft), encoding);
                characters.push_back({U'\uFFFD', false});
            }
            in += skip;
            inLeft -= skip;
        }
    }
    iconv_close(converter);
    return characters;
}

bool IsCompatibilityIdeograph(char32_t c)
{
    return (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x2F800 && c <= 0x2FA1F);
}

std::u32string PlainNfc(const std::u32string& cluster);

// NFC, but a compatibility ideograph stays itself: the pieces between them
// are normalised each on its own.
std::u32string Nfc(const std::u32string& cluster)
{
    std::u32string result;
    std::u32string piece;
    for (const char32_t c : cluster) {
        if (!IsCompatibilityIdeograph(c)) {
            piece.push_back(c);
            continue;
        }
        result += piece.empty() ? piece : PlainNfc(piece);
        result.push_back(c);
        piece.clear();
    }
    return result + (piece.empty() ? piece : PlainNfc(piece));
}

std::u32string PlainNfc(const std::u32string& cluster)
{
    std::string bytes;
    for (char32_t c : cluster) {
        utf8proc_uint8_t encoded[4];
        bytes.append(reinterpret_cast<char*>(encoded), std::size_t(utf8proc_encode_char(utf8proc_int32_t(c), encoded)));
    }
    // NFC as utf8proc_NFC has it, with the length given so that a NUL is a character.
    utf8proc_uint8_t* normalized = nullptr;
    const utf8proc_ssize_t length =
        utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(bytes.data()), utf8proc_ssize_t(bytes.size()),
                     &normalized, utf8proc_option_t(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    FUZZ_CHECK(length >= 0, "NFC failed");
    std::u32string result;
    for (utf8proc_ssize_t at = 0; at < length;) {
        utf8proc_int32_t c;
        at += utf8proc_iterate(normalized + at, length - at, &c);
        result.push_back(char32_t(c));
    }
    std::free(normalized);
    return result;
}

std::vector<Token> ReferenceTokens(std::string_view file, SourceEncoding requested, SourceEncoding& decided)
{
    std::size_t start = 0;
    decided = Decide(file, requested, start);
    // Undecided text is ASCII up to its end, which Shift-JIS reads as it is.
    const SourceEncoding reading = decided == SourceEncoding::Automatic ? SourceEncoding::ShiftJis : decided;
    const bool clusters = reading == SourceEncoding::Utf8 || reading == SourceEncoding::Utf16Le ||
                          reading == SourceEncoding::Utf16Be;
    std::vector<Character> characters = Convert(file.substr(start), reading);
    const auto textEnd = std::find_if(characters.begin(), characters.end(),
                                      [](Character c) { return c.valid && c.codePoint == 0x1A; });
    characters.erase(textEnd, characters.end());

    std::vector<Token> tokens;
    std::vector<Character> line;
    const auto endLine = [&] {
        for (std::size_t i = 0; i < line.size();) {
            std::u32string unit(1, line[i].codePoint);
            utf8proc_int32_t state = 0;
            std::size_t next = i + 1;
            // Past its 32nd code point a cluster is read on and dropped.
            while (clusters && line[i].valid && next < line.size() && line[next].valid &&
                   !utf8proc_grapheme_break_stateful(utf8proc_int32_t(line[next - 1].codePoint),
                                                     utf8proc_int32_t(line[next].codePoint), &state)) {
                if (unit.size() < LongestUnit)
                    unit.push_back(line[next].codePoint);
                ++next;
            }
            tokens.push_back({SourceReader::Token::Unit, clusters && line[i].valid ? Nfc(unit) : unit});
            i = next;
        }
        tokens.push_back({SourceReader::Token::LineEnd, {}});
        line.clear();
    };
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const Character c = characters[i];
        if (c.valid && (c.codePoint == '\r' || c.codePoint == '\n')) {
            if (c.codePoint == '\r' && i + 1 < characters.size() && characters[i + 1].valid &&
                characters[i + 1].codePoint == '\n')
                ++i;
            endLine();
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty())
        endLine();
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
    const SourceEncoding requested = Requests[(choice & 3) | (choice >> 1 & 4)];
    std::string file;
    if (choice & 4)
        file.assign(DecisionBytes - beforeMark, 'a');
    file.append(input.RestAsText());

    fuzzing::MemoryFile source(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
    SourceEncoding expectedEncoding;
    const std::vector<Token> expected = ReferenceTokens(file, requested, expectedEncoding);

    // The file, and the same bytes held in memory, read alike.
    SourceReader fromFile(source.Path(), requested);
    SourceReader fromMemory(TextInMemory{file}, requested);
    for (SourceReader* reader : {&fromFile, &fromMemory}) {
        const char* from = reader == &fromFile ? "file" : "memory";
        for (std::size_t i = 0; i < expected.size(); ++i) {
            std::u32string_view unit;
            const SourceReader::Token kind = reader->Next(unit);
            const Token got{kind, kind == SourceReader::Token::Unit ? std::u32string(unit) : std::u32string()};
            FUZZ_CHECK(got == expected[i],
                       "%s, token %zu of %zu: %s of %zu code points (U+%04X), expected %s of %zu (U+%04X)", from, i,
                       expected.size(), Name(got.kind), got.unit.size(), got.unit.empty() ? 0u : unsigned(got.unit[0]),
                       Name(expected[i].kind), expected[i].unit.size(),
                       expected[i].unit.empty() ? 0u : unsigned(expected[i].unit[0]));
        }
        std::u32string_view unit;
        FUZZ_CHECK(reader->Next(unit) == SourceReader::Token::TextEnd, "%s: the text went on after its end", from);
        FUZZ_CHECK(reader->Encoding() == expectedEncoding, "%s: read as %s, expected %s", from,
                   std::string(EncodingName(reader->Encoding())).c_str(),
                   std::string(EncodingName(expectedEncoding)).c_str());
        reader->Close();
    }
    return 0;
}
