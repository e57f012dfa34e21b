#include "composer/Recipe.h"

#include "composer/text/SizeText.h"

#include <charconv>
#include <map>

namespace morvaleth {
namespace {

std::string Utf8Of(std::u32string_view text)
{
    std::string bytes;
    for (const char32_t c : text) {
        if (c < 0x80) {
            bytes += char(c);
        } else if (c < 0x800) {
            bytes += char(0xC0 | c >> 6);
            bytes += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += char(0xE0 | c >> 12);
            bytes += char(0x80 | (c >> 6 & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        } else {
            bytes += char(0xF0 | c >> 18);
            bytes += char(0x80 | (c >> 12 & 0x3F));
            bytes += char(0x80 | (c >> 6 & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

std::string_view YesNo(bool value)
{
    return value ? "yes" : "no";
}

template <typename Number>
bool ReadNumber(const std::string& text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

PictureNotes RecipeNotes(const CompositionSettings& settings, std::uint32_t seed, SourceEncoding read,
                         const std::u32string* text)
{
    std::string recipe;
    const auto put = [&recipe](std::string_view key, std::string_view value) {
        recipe.append(key).append("=").append(OneLine(std::string(value))).append("\n");
    };
    put("version", MORVALETH_VERSION);
    put("seed", std::to_string(seed));
    put("width", std::to_string(ParseSizeText(settings.widthText).value_or(0)));
    put("height", std::to_string(ParseSizeText(settings.heightText).value_or(0)));
    put("face", settings.faceName);
    put("size", std::to_string(settings.size));
    if (settings.dotsPerInch > 0) {
        put("dpi", std::to_string(settings.dotsPerInch));
        put("points", std::to_string(settings.points));
    }
    put("real", YesNo(settings.realMode));
    put("writing", settings.writing == Writing::Columns ? "columns" : "rows");
    put("faces", settings.faces.mix == FaceMix::One        ? "one"
                 : settings.faces.mix == FaceMix::Japanese ? "japanese"
                                                            : "listed");
    if (settings.faces.mix == FaceMix::Listed) {
        std::string list;
        for (const std::string& name : settings.faces.listed)
            list += (list.empty() ? "" : ",") + name;
        put("face-list", list);
    }
    put("bold-cuts", YesNo(settings.faces.syntheticBold));
    put("encoding", read == SourceEncoding::Automatic ? "auto" : EncodingName(read));
    PictureNotes notes{{{std::string(SoftwareKeyword), "Morvaleth " MORVALETH_VERSION},
                        {std::string(RecipeKeyword), recipe}}};
    if (text != nullptr)
        notes.entries.emplace_back(TextKeyword, Utf8Of(*text));
    return notes;
}

std::optional<MadeWith> ReadRecipe(const PictureNotes& notes)
{
    std::map<std::string, std::string, std::less<>> values;
    const std::string* text = nullptr;
    bool found = false;
    MadeWith made;
    for (const auto& [keyword, value] : notes.entries) {
        if (keyword == TextKeyword)
            text = &value;
        if (int level = 0; keyword == PngLevelKeyword && ReadNumber(value, level))
            made.pngLevel = level;
        if (keyword != RecipeKeyword)
            continue;
        found = true;
        std::string_view lines = value;
        while (!lines.empty()) {
            const std::size_t end = std::min(lines.find('\n'), lines.size());
            const std::string_view line = lines.substr(0, end);
            lines.remove_prefix(std::min(end + 1, lines.size()));
            const std::size_t equals = line.find('=');
            if (equals != std::string_view::npos)
                values[std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
        }
    }
    CompositionSettings& settings = made.settings;
    if (!found || !ReadNumber(values["seed"], made.seed) || !ReadNumber(values["size"], settings.size))
        return std::nullopt;
    made.version = values["version"];
    if (!values["dpi"].empty() &&
        (!ReadNumber(values["dpi"], settings.dotsPerInch) || !ReadNumber(values["points"], settings.points)))
        return std::nullopt;
    settings.widthText = values["width"];
    settings.heightText = values["height"];
    settings.faceName = values["face"];
    settings.realMode = values["real"] == "yes";
    settings.writing = values["writing"] == "columns" ? Writing::Columns : Writing::Rows;
    const std::string& faces = values["faces"];
    settings.faces.mix = faces == "japanese" ? FaceMix::Japanese : faces == "listed" ? FaceMix::Listed : FaceMix::One;
    if (settings.faces.mix == FaceMix::Listed) {
        std::string_view list = values["face-list"];
        while (!list.empty()) {
            const std::size_t comma = std::min(list.find(','), list.size());
            settings.faces.listed.emplace_back(list.substr(0, comma));
            list.remove_prefix(std::min(comma + 1, list.size()));
        }
    }
    settings.faces.syntheticBold = values["bold-cuts"] == "yes";
    made.read = values["encoding"] == "auto" ? SourceEncoding::Automatic
                                             : EncodingNamed(values["encoding"]).value_or(SourceEncoding::Automatic);
    settings.encoding = made.read;
    if (text != nullptr) {
        settings.sourceText = *text;
        settings.encoding = SourceEncoding::Utf8;
        settings.embedText = true;
    }
    made.settings.seed = made.seed;
    return made;
}

} // namespace morvaleth
