#include "cli/DriverOptions.h"

#include "composer/Look.h"
#include "composer/PhysicalSize.h"
#include "composer/encode/Formats.h"
#include "composer/text/Encoding.h"

namespace morvaleth::cli {

namespace {

// Where the help's descriptions start.
constexpr std::size_t HelpColumn = 25;

// Words wrapped to the help's second column.
std::string Wrapped(std::string_view text)
{
    constexpr std::size_t Width = 79 - HelpColumn;
    std::string wrapped;
    std::size_t column = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string_view word(text.data() + at, end - at);
        if (column > 0 && column + 1 + word.size() > Width) {
            wrapped += '\n';
            column = 0;
        } else if (column > 0) {
            wrapped += ' ';
            ++column;
        }
        wrapped += word;
        column += word.size();
        at = end + 1;
    }
    return wrapped;
}

// The encodings and their other names.
std::string EncodingHelp()
{
    std::string text;
    for (const EncodingEntry& entry : Encodings()) {
        text += (text.empty() ? "" : ", ") + std::string(entry.name);
        if (entry.encoding == SourceEncoding::Automatic)
            text += " (the default)";
        for (std::size_t i = 0; i < entry.aliases.size(); ++i)
            text += (i == 0 ? " (" : ", ") + std::string(entry.aliases[i]) + (i + 1 == entry.aliases.size() ? ")" : "");
    }
    return Wrapped(text + "; case, hyphens and underscores do not matter");
}

} // namespace

std::string PaletteNameList()
{
    std::string text;
    for (const std::string_view name : PaletteNames())
        text.append(text.empty() ? "" : ", ").append(name);
    return text;
}

std::vector<std::string> PaletteValues()
{
    std::vector<std::string> values;
    for (const std::string_view name : PaletteNames())
        values.emplace_back(name);
    return values;
}

std::string FormatNames(const char* separator, const char* last)
{
    std::string names;
    const auto formats = PictureFormats();
    for (std::size_t i = 0; i < formats.size(); ++i)
        names += (i == 0 ? "" : i + 1 == formats.size() ? last : separator) + std::string(formats[i].name);
    return names;
}

const std::vector<DriverOption>& DriverOptions()
{
    static const std::vector<DriverOption> options = {
        {"output", 'o', ValueKind::File, "FILE", "the picture file to write (required)"},
        {"text", 't', ValueKind::Other, "TEXT",
         "compose TEXT instead of an INPUT file, as UTF-8\nunless --encoding says otherwise; its lines end\nwhere the shell put line ends (bash: $'a\\nb')"},
        {"format", FormatOption, ValueKind::Format, "FORMAT", FormatNames(", ", " or ") + ", whatever the OUTPUT name"},
        {"width", 'W', ValueKind::Other, "TEXT", "picture width in pixels (default 640)"},
        {"height", 'H', ValueKind::Other, "TEXT", "picture height in pixels (default 480)"},
        {"paper", PaperOption, ValueKind::Other, "PAPER",
         Wrapped("width and height of a sheet of paper: " + PaperNames() +
                 " (B4 and B5 as in Japan), at 300 dpi unless --dpi says otherwise")},
        {"landscape", LandscapeOption, ValueKind::None, "", "the paper lying on its side"},
        {"dpi", DpiOption, ValueKind::Other, "N",
         "the picture's resolution in dots per inch, " + std::to_string(SmallestDotsPerInch) + " to " +
             std::to_string(LargestDotsPerInch) +
             ",\nrecorded in the file (a PDF's page size); with it,\nor with --paper, the font size is in points on paper"},
        {"font", 'f', ValueKind::Other, "FACE", "font face (default \"ＭＳ Ｐゴシック\")"},
        {"size", 's', ValueKind::Other, "N",
         "font size in points, 1 to 65535 (default 20), drawn\nthat many pixels high; with --dpi or --paper, as\npoints on paper"},
        {"real", 'r', ValueKind::None, "", "real mode: every character on a paper scrap"},
        {"vertical", VerticalOption, ValueKind::None, "", "vertical writing: columns from right to left"},
        {"mix-faces", MixFacesOption, ValueKind::None, "",
         "every character in a face drawn from the chosen\nface and all installed Japanese faces"},
        {"faces", FacesOption, ValueKind::Other, "\"A,B,C\"", "every character in a face drawn from this list"},
        {"bold-cuts", BoldCutsOption, ValueKind::None, "", "with mixed faces, some characters in bold"},
        {"palette", PaletteOption, ValueKind::Palette, "NAME",
         Wrapped("the colours scraps and characters are cut from: " + PaletteNameList() +
                 " (grey, the default: grey, silver and black; in plain mode the ink alone)")},
        {"background", BackgroundOption, ValueKind::Other, "COLOR",
         "the page: #rrggbb, transparent (a PNG with alpha,\na PDF or SVG without a page; a BMP stays white)\n" +
             Wrapped("or " + ColorNameList())},
        {"torn", TornOption, ValueKind::None, "", "real mode: the scraps' sides torn, not cut"},
        {"shadow", ShadowOption, ValueKind::None, "", "a soft shadow under every scrap (or character)"},
        {"seed", SeedOption, ValueKind::Other, "N", "fixed random seed (default: the clock)"},
        {"encoding", 'e', ValueKind::Encoding, "ENC", EncodingHelp()},
        {"threads", ThreadsOption, ValueKind::Other, "N", "render threads, 1 to 256 (default: one per core)"},
        {"png-level", PngLevelOption, ValueKind::Other, "N",
         "compress a PNG with zlib's level N, 0 to 9 (9: the\nsmallest file), rather than for speed"},
        {"embed-text", EmbedTextOption, ValueKind::None, "",
         "keep the text in the picture with how it was made\n(by default only the settings and the seed)"},
        {"recipe", RecipeOption, ValueKind::File, "FILE",
         "print the command that makes the PNG picture FILE\nagain, and exit"},
        {"verbose", VerboseOption, ValueKind::None, "", "say on standard error which encoding was read"},
        {"show-encoding", ShowEncodingOption, ValueKind::None, "", "show the encoding INPUT is read in, and exit"},
        {"show-font", ShowFontOption, ValueKind::Other, "FACE",
         "show the installed font that stands for FACE and\nthe faces that draw what it lacks, and exit"},
        {"help", 'h', ValueKind::None, "", "show this help and exit"},
        {"version", 'v', ValueKind::None, "", "show the version and exit, as morvaleth -v does"},
    };
    return options;
}

std::string ShortOptions()
{
    std::string letters = ":";
    for (const DriverOption& entry : DriverOptions())
        if (entry.HasShortName()) {
            letters += char(entry.id);
            if (entry.value != ValueKind::None)
                letters += ':';
        }
    return letters;
}

std::vector<option> LongOptions()
{
    std::vector<option> options;
    for (const DriverOption& entry : DriverOptions())
        options.push_back({entry.longName.data(), entry.value == ValueKind::None ? no_argument : required_argument,
                           nullptr, entry.id});
    options.push_back({nullptr, 0, nullptr, 0});
    return options;
}

std::string UsageText()
{
    std::string text = "Usage: morvaleth-compose INPUT -o OUTPUT [options]\n"
                       "       morvaleth-compose --text TEXT -o OUTPUT [options]\n"
                       "       morvaleth-compose --show-font FACE\n"
                       "       morvaleth-compose --show-encoding INPUT [-e ENC]\n"
                       "       morvaleth-compose --recipe PICTURE\n"
                       "Composes the text file INPUT, or the TEXT given, into a picture of\n"
                       "characters cut out of different printed sources and writes it to OUTPUT\n"
                       "in the format its name ends in (" + FormatNames(", ", " or ") + "), else as\n"
                       "a BMP file. PDF and SVG draw it in outlines that stay sharp at any size,\n"
                       "and keep its text. An INPUT of - reads standard input, an OUTPUT of -\n"
                       "writes standard output.\n"
                       "\n"
                       "Options:\n";
    for (const DriverOption& entry : DriverOptions()) {
        std::string names = entry.HasShortName() ? std::string("  -") + char(entry.id) + ", --" : "      --";
        names += entry.longName;
        if (!entry.valueName.empty())
            names.append(" ").append(entry.valueName);
        names.resize(std::max(names.size() + 1, HelpColumn), ' ');
        // Every line after the first starts at the description's column.
        std::string help;
        for (const char c : entry.help) {
            help += c;
            if (c == '\n')
                help.append(HelpColumn, ' ');
        }
        text += names + help + "\n";
    }
    return text;
}

std::vector<std::string> FormatValues()
{
    std::vector<std::string> values;
    for (const PictureFormatEntry& format : PictureFormats())
        values.emplace_back(format.name);
    return values;
}

std::vector<std::string> EncodingValues()
{
    std::vector<std::string> values;
    for (const EncodingEntry& entry : Encodings()) {
        values.emplace_back(entry.name);
        values.insert(values.end(), entry.aliases.begin(), entry.aliases.end());
    }
    return values;
}

} // namespace morvaleth::cli
