#include "composer/vector/VectorNotes.h"

#include "composer/Messages.h"
#include "composer/text/HexDigit.h"
#include "composer/vector/PdfFile_p.h"
#include "composer/vector/VectorNotes_p.h"
#include "composer/vector/VectorText_p.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <charconv>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

namespace morvaleth {
namespace {

// A note's keyword as a PDF name, and back: the program is the Producer
// every reader shows.
struct PdfKey {
    std::string_view keyword;
    std::string_view name;
};
constexpr PdfKey PdfKeys[] = {{SoftwareKeyword, "Producer"},
                              {RecipeKeyword, "MorvalethRecipe"},
                              {TextKeyword, "MorvalethText"},
                              {PngLevelKeyword, "MorvalethPngLevel"}};

constexpr std::string_view SvgNamespace = "https://github.com/morvaleth/morvaleth/notes";
constexpr std::string_view SvgNoteOpen = "<morvaleth:note keyword=\"";
constexpr std::string_view SvgNoteClose = "</morvaleth:note>";

// The whole file, inflated when it is gzip's (zlib reads a plain file as it
// is).
std::string ReadPictureBytes(const std::string& path)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        throw SystemFailure(errno, path);
    // gzdopen takes the descriptor over; gzclose closes it.
    const std::unique_ptr<gzFile_s, int (*)(gzFile)> file(gzdopen(descriptor, "rb"), &gzclose);
    if (!file) {
        ::close(descriptor);
        throw std::bad_alloc();
    }
    std::string bytes;
    char piece[1 << 16];
    int got = 0;
    while ((got = gzread(file.get(), piece, sizeof piece)) > 0)
        bytes.append(piece, std::size_t(got));
    if (got < 0)
        throw Failure(Message::NoRecipe, {path});
    return bytes;
}

// "<FEFF...>" back into UTF-8; none for any other string.
std::optional<std::string> TextOfPdfString(std::string_view hex)
{
    std::u16string units;
    std::uint32_t unit = 0;
    int digits = 0;
    for (const char c : hex) {
        if (c == ' ' || c == '\n' || c == '\r')
            continue;
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        unit = unit << 4 | std::uint32_t(digit);
        if (++digits == 4) {
            units += char16_t(unit);
            unit = 0;
            digits = 0;
        }
    }
    if (digits != 0 || units.empty() || units.front() != 0xFEFF)
        return std::nullopt;
    std::u32string codePoints;
    for (std::size_t i = 1; i < units.size(); ++i) {
        const char32_t high = units[i];
        if (high >= 0xD800 && high < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
            codePoints += 0x10000 + ((high - 0xD800) << 10) + (units[++i] - 0xDC00);
        else
            codePoints += high;
    }
    return Utf8Of(codePoints);
}

std::string XmlUnescaped(std::string_view text)
{
    static constexpr std::pair<std::string_view, char> Entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string plain;
    for (std::size_t at = 0; at < text.size();) {
        bool replaced = false;
        if (text[at] == '&')
            for (const auto& [entity, c] : Entities)
                if (text.substr(at, entity.size()) == entity) {
                    plain += c;
                    at += entity.size();
                    replaced = true;
                    break;
                }
        if (!replaced)
            plain += text[at++];
    }
    return plain;
}

} // namespace

std::string PdfInfo(const PictureNotes& notes)
{
    std::string info = "<<";
    for (const auto& [keyword, text] : notes.entries)
        for (const PdfKey& key : PdfKeys)
            if (key.keyword == keyword)
                info += " /" + std::string(key.name) + " " + PdfTextString(CodePointsOf(text));
    return info + " >>";
}

void AppendSvgNotes(std::string& out, const PictureNotes& notes)
{
    out += "<metadata xmlns:morvaleth=\"";
    out += SvgNamespace;
    out += "\">\n";
    for (const auto& [keyword, text] : notes.entries) {
        out += SvgNoteOpen;
        AppendXmlText(out, keyword);
        out += "\">";
        AppendXmlText(out, text);
        out += SvgNoteClose;
        out += '\n';
    }
    out += "</metadata>\n";
}

PictureNotes ReadPdfNotes(const std::string& path)
{
    const std::string file = ReadPictureBytes(path);
    const Error notOurs = Failure(Message::NoRecipe, {path});
    if (!file.starts_with("%PDF-"))
        throw notOurs;
    // The trailer names the information dictionary, an object of its own.
    const std::size_t trailer = file.rfind("trailer");
    const std::size_t infoKey = file.find("/Info ", trailer);
    if (trailer == std::string::npos || infoKey == std::string::npos)
        throw notOurs;
    int object = 0;
    const char* number = file.data() + infoKey + 6;
    if (std::from_chars(number, file.data() + file.size(), object).ec != std::errc())
        throw notOurs;
    const std::size_t start = file.rfind("\n" + std::to_string(object) + " 0 obj", trailer);
    const std::size_t end = file.find(">>", start);
    if (start == std::string::npos || end == std::string::npos)
        throw notOurs;
    const std::string_view dictionary = std::string_view(file).substr(start, end - start);
    PictureNotes notes;
    for (const PdfKey& key : PdfKeys) {
        const std::string name = "/" + std::string(key.name) + " <";
        const std::size_t at = dictionary.find(name);
        if (at == std::string_view::npos)
            continue;
        const std::size_t from = at + name.size();
        const std::size_t to = dictionary.find('>', from);
        if (to == std::string_view::npos)
            throw notOurs;
        if (std::optional<std::string> text = TextOfPdfString(dictionary.substr(from, to - from)))
            notes.entries.emplace_back(key.keyword, std::move(*text));
    }
    return notes;
}

PictureNotes ReadSvgNotes(const std::string& path)
{
    const std::string file = ReadPictureBytes(path);
    const std::string_view text(file);
    const std::size_t metadata = text.rfind("<metadata xmlns:morvaleth=\"" + std::string(SvgNamespace) + "\">");
    if (metadata == std::string_view::npos || text.find("<svg") > metadata)
        throw Failure(Message::NoRecipe, {path});
    const std::size_t end = text.find("</metadata>", metadata);
    PictureNotes notes;
    for (std::size_t at = text.find(SvgNoteOpen, metadata); at < end; at = text.find(SvgNoteOpen, at)) {
        const std::size_t keywordStart = at + SvgNoteOpen.size();
        const std::size_t keywordEnd = text.find("\">", keywordStart);
        const std::size_t close = text.find(SvgNoteClose, keywordEnd);
        if (close > end)
            throw Failure(Message::NoRecipe, {path});
        notes.entries.emplace_back(XmlUnescaped(text.substr(keywordStart, keywordEnd - keywordStart)),
                                   XmlUnescaped(text.substr(keywordEnd + 2, close - keywordEnd - 2)));
        at = close + SvgNoteClose.size();
    }
    return notes;
}

} // namespace morvaleth
