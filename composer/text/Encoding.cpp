#include "composer/text/Encoding.h"

#include <algorithm>
#include <iterator>

namespace morvaleth {
namespace {

using namespace std::string_view_literals;

// The labels browsers (the WHATWG encoding list), glibc's iconv and Japanese
// mail programs use; a spelling that differs only in case or punctuation from
// one listed is not listed again.
constexpr std::string_view ShiftJisAliases[] = {"cp932"sv,   "sjis"sv,      "ms932"sv,     "windows-31j"sv,
                                                "ms_kanji"sv, "x-sjis"sv,   "csshiftjis"sv, "cswindows31j"sv,
                                                "sjis-win"sv, "sjis-open"sv};
constexpr std::string_view Utf8Aliases[] = {"unicode-1-1-utf-8"sv, "unicode11utf8"sv, "unicode20utf8"sv,
                                            "x-unicode20utf8"sv};
constexpr std::string_view Utf16Aliases[] = {"ucs-2"sv, "unicode"sv, "csunicode"sv, "iso-10646-ucs-2"sv,
                                             "unicodefeff"sv};
constexpr std::string_view Utf16LeAliases[] = {"ucs-2le"sv, "unicodelittle"sv};
constexpr std::string_view Utf16BeAliases[] = {"ucs-2be"sv, "unicodebig"sv, "unicodefffe"sv};
constexpr std::string_view EucJpAliases[] = {"ujis"sv,      "x-euc-jp"sv,  "cseucpkdfmtjapanese"sv, "cp51932"sv,
                                             "eucjp-ms"sv,  "eucjp-win"sv, "eucjp-open"sv};
constexpr std::string_view Iso2022JpAliases[] = {"jis"sv, "csiso2022jp"sv, "iso-2022-jp-2"sv, "csiso2022jp2"sv};

constexpr EncodingEntry Table[] = {
    {SourceEncoding::Automatic, "auto", {},
     "decided from the text: a byte-order mark, UTF-16's zero bytes, ISO-2022-JP escapes, else the evidence of "
     "its bytes"},
    {SourceEncoding::ShiftJis, "shift_jis", ShiftJisAliases,
     "Shift-JIS as Windows writes it (CP932), with the NEC and IBM extensions"},
    {SourceEncoding::Utf8, "utf-8", Utf8Aliases, "UTF-8, a byte-order mark skipped"},
    {SourceEncoding::Utf16, "utf-16", Utf16Aliases,
     "UTF-16, the byte order from a byte-order mark, little-endian without one"},
    {SourceEncoding::Utf16Le, "utf-16le", Utf16LeAliases, "UTF-16, little-endian"},
    {SourceEncoding::Utf16Be, "utf-16be", Utf16BeAliases, "UTF-16, big-endian"},
    {SourceEncoding::EucJp, "euc-jp", EucJpAliases,
     "EUC-JP, with the NEC and IBM extensions of CP51932 and eucJP-ms"},
    {SourceEncoding::Iso2022Jp, "iso-2022-jp", Iso2022JpAliases,
     "ISO-2022-JP as mail carries it, ISO-2022-JP-2's character sets included"},
};

// A name as it is compared: its ASCII letters in lower case and its digits,
// nothing else.
std::string Folded(std::string_view name)
{
    std::string folded;
    for (const char c : name) {
        if (c >= 'A' && c <= 'Z')
            folded += char(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            folded += c;
    }
    return folded;
}

} // namespace

std::span<const EncodingEntry> Encodings()
{
    return Table;
}

std::string_view EncodingName(SourceEncoding encoding)
{
    for (const EncodingEntry& entry : Table)
        if (entry.encoding == encoding)
            return entry.name;
    return "?";
}

std::optional<SourceEncoding> EncodingNamed(std::string_view name)
{
    const std::string folded = Folded(name);
    if (folded.empty())
        return std::nullopt;
    for (const EncodingEntry& entry : Table) {
        if (Folded(entry.name) == folded)
            return entry.encoding;
        if (std::any_of(entry.aliases.begin(), entry.aliases.end(),
                        [&](std::string_view alias) { return Folded(alias) == folded; }))
            return entry.encoding;
    }
    return std::nullopt;
}

std::string EncodingNames()
{
    std::string names;
    for (const EncodingEntry& entry : Table)
        names += (names.empty() ? "" : ", ") + std::string(entry.name);
    return names;
}

} // namespace morvaleth
