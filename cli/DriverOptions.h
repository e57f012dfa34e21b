#pragma once

#include <getopt.h>

#include <string>
#include <string_view>
#include <vector>

namespace morvaleth::cli {

// What an option's value is: what the help calls it and what shell completion
// offers for it.
enum class ValueKind {
    None,     // a switch
    File,     // a path
    Format,   // one of the picture formats
    Encoding, // one of the encoding names
    Palette,  // one of the palette names
    Other,    // text, a number or a face name: nothing to offer
};

// What getopt_long returns for the options without a short letter.
enum OptionId : int {
    SeedOption = 256,
    FormatOption,
    ShowFontOption,
    ShowEncodingOption,
    VerboseOption,
    VerticalOption,
    MixFacesOption,
    FacesOption,
    BoldCutsOption,
    ThreadsOption,
    PngLevelOption,
    EmbedTextOption,
    RecipeOption,
    DpiOption,
    PaperOption,
    LandscapeOption,
    PaletteOption,
    BackgroundOption,
    TornOption,
    ShadowOption,
};

// One option of morvaleth-compose: what getopt_long reads, what --help says
// and what shell completion offers.
struct DriverOption {
    std::string_view longName;
    int id; // the short letter, or an OptionId for the long form alone
    ValueKind value;
    std::string_view valueName; // in the help: FILE, TEXT, N ...; empty for a switch
    std::string help;           // the help's lines for it, joined by "\n"

    bool HasShortName() const { return id < SeedOption; }
};

// Every option, in the order --help lists them.
const std::vector<DriverOption>& DriverOptions();

// getopt_long's tables made from DriverOptions(): the short options (":" first,
// so that a missing value is told apart), and the long ones, ending with the
// empty entry.
std::string ShortOptions();
std::vector<option> LongOptions();

// The usage and option lines --help prints.
std::string UsageText();

// The values completion offers for --format and --encoding: every format the
// driver writes, every encoding name it accepts.
std::vector<std::string> FormatValues();
std::vector<std::string> EncodingValues();
std::vector<std::string> PaletteValues();
// "grey, magazine, ..."
std::string PaletteNameList();

// "bmp or png" and the like.
std::string FormatNames(const char* separator, const char* last);

} // namespace morvaleth::cli
