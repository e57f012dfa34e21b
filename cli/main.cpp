// morvaleth-compose: composes a text file into a cut-out letter picture and
// writes it as a BMP file, without the window.

#include "composer/ComposePicture.h"
#include "composer/Error.h"
#include "composer/FontEngine.h"
#include "composer/PictureFile.h"

#include <getopt.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* ProgramName = "morvaleth-compose";

constexpr const char* Usage =
    "Usage: morvaleth-compose INPUT -o OUTPUT [options]\n"
    "       morvaleth-compose --show-font FACE\n"
    "Composes the text file INPUT into a picture of characters cut out of\n"
    "different printed sources and writes it to OUTPUT as a BMP file, or as\n"
    "a PNG file when OUTPUT ends in .png. An INPUT of - reads standard input,\n"
    "an OUTPUT of - writes standard output.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE      the picture file to write (required)\n"
    "      --format FORMAT    bmp or png, whatever the OUTPUT name\n"
    "  -W, --width TEXT       picture width in pixels (default 640)\n"
    "  -H, --height TEXT      picture height in pixels (default 480)\n"
    "  -f, --font FACE        font face (default \"ＭＳ Ｐゴシック\")\n"
    "  -s, --size N           font size in points, 1 to 65535 (default 20)\n"
    "  -r, --real             real mode: every character on a paper scrap\n"
    "      --vertical         vertical writing: columns from right to left\n"
    "      --mix-faces        every character in a face drawn from the chosen\n"
    "                         face and all installed Japanese faces\n"
    "      --faces \"A,B,C\"    every character in a face drawn from this list\n"
    "      --bold-cuts        with mixed faces, some characters in bold\n"
    "      --seed N           fixed random seed (default: the clock)\n"
    "  -e, --encoding ENC     auto, shift_jis or utf-8 (default auto)\n"
    "      --show-font FACE   show the installed font that stands for FACE\n"
    "      --help             show this help and exit\n"
    "      --version          show the version and exit\n";

struct UsageError {
    std::string message;
};

template <typename Number>
Number ParseNumber(std::string_view text, Number smallest, Number largest, const char* option)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < smallest ||
        value > largest)
        throw UsageError{std::string("invalid value for ") + option + ": '" + std::string(text) + "'"};
    return value;
}

morvaleth::SourceEncoding ParseEncoding(std::string_view text)
{
    if (text == "auto")
        return morvaleth::SourceEncoding::Automatic;
    if (text == "shift_jis" || text == "sjis" || text == "cp932")
        return morvaleth::SourceEncoding::ShiftJis;
    if (text == "utf-8" || text == "utf8")
        return morvaleth::SourceEncoding::Utf8;
    throw UsageError{"invalid encoding: '" + std::string(text) + "' (auto, shift_jis or utf-8)"};
}

morvaleth::PictureFormat ParseFormat(std::string_view text)
{
    if (text == "bmp")
        return morvaleth::PictureFormat::Bmp;
    if (text == "png")
        return morvaleth::PictureFormat::Png;
    throw UsageError{"invalid format: '" + std::string(text) + "' (bmp or png)"};
}

constexpr std::string_view StandardStream = "-";

struct Command {
    morvaleth::CompositionSettings settings;
    std::string outputPath;
    std::optional<morvaleth::PictureFormat> format;
    std::optional<std::string> showFont;
    bool help = false;
    bool version = false;
};

Command ParseCommandLine(int argc, char** argv)
{
    enum {
        SeedOption = 256,
        FormatOption,
        ShowFontOption,
        HelpOption,
        VersionOption,
        VerticalOption,
        MixFacesOption,
        FacesOption,
        BoldCutsOption,
    };
    static const option options[] = {
        {"output", required_argument, nullptr, 'o'},
        {"width", required_argument, nullptr, 'W'},
        {"height", required_argument, nullptr, 'H'},
        {"font", required_argument, nullptr, 'f'},
        {"size", required_argument, nullptr, 's'},
        {"real", no_argument, nullptr, 'r'},
        {"seed", required_argument, nullptr, SeedOption},
        {"encoding", required_argument, nullptr, 'e'},
        {"format", required_argument, nullptr, FormatOption},
        {"vertical", no_argument, nullptr, VerticalOption},
        {"mix-faces", no_argument, nullptr, MixFacesOption},
        {"faces", required_argument, nullptr, FacesOption},
        {"bold-cuts", no_argument, nullptr, BoldCutsOption},
        {"show-font", required_argument, nullptr, ShowFontOption},
        {"help", no_argument, nullptr, HelpOption},
        {"version", no_argument, nullptr, VersionOption},
        {nullptr, 0, nullptr, 0},
    };

    Command command;
    morvaleth::CompositionSettings& settings = command.settings;
    bool haveOutput = false;
    opterr = 0;
    optind = 1;
    for (;;) {
        const int choice = getopt_long(argc, argv, ":o:W:H:f:s:re:", options, nullptr);
        if (choice == -1)
            break;
        switch (choice) {
        case 'o':
            command.outputPath = optarg;
            haveOutput = true;
            break;
        case 'W':
            settings.widthText = optarg;
            break;
        case 'H':
            settings.heightText = optarg;
            break;
        case 'f':
            settings.faceName = optarg;
            break;
        case 's':
            settings.size = ParseNumber<std::int32_t>(optarg, morvaleth::SmallestCompositionSize,
                                                      morvaleth::LargestCompositionSize, "--size");
            break;
        case 'r':
            settings.realMode = true;
            break;
        case SeedOption:
            settings.seed = ParseNumber<std::uint32_t>(optarg, 0, UINT32_MAX, "--seed");
            break;
        case 'e':
            settings.encoding = ParseEncoding(optarg);
            break;
        case FormatOption:
            command.format = ParseFormat(optarg);
            break;
        case VerticalOption:
            settings.vertical = true;
            break;
        case MixFacesOption:
            if (settings.faces.mix == morvaleth::FaceMix::Listed)
                throw UsageError{"--mix-faces and --faces exclude each other"};
            settings.faces.mix = morvaleth::FaceMix::Japanese;
            break;
        case FacesOption:
            if (settings.faces.mix == morvaleth::FaceMix::Japanese)
                throw UsageError{"--mix-faces and --faces exclude each other"};
            settings.faces.mix = morvaleth::FaceMix::Listed;
            settings.faces.listed = morvaleth::SplitFaceList(optarg);
            if (settings.faces.listed.empty())
                throw UsageError{std::string("no face name in --faces: '") + optarg + "'"};
            break;
        case BoldCutsOption:
            settings.faces.syntheticBold = true;
            break;
        case ShowFontOption:
            command.showFont = optarg;
            return command;
        case HelpOption:
            command.help = true;
            return command;
        case VersionOption:
            command.version = true;
            return command;
        case ':':
            throw UsageError{std::string("option requires a value: ") + argv[optind - 1]};
        default:
            throw UsageError{std::string("unknown option: ") + argv[optind - 1]};
        }
    }
    if (optind == argc)
        throw UsageError{"no input file"};
    if (argc - optind > 1)
        throw UsageError{std::string("more than one input file: '") + argv[optind + 1] + "'"};
    if (!haveOutput)
        throw UsageError{"no output file (-o OUTPUT)"};
    if (settings.faces.syntheticBold && settings.faces.mix == morvaleth::FaceMix::One)
        throw UsageError{"--bold-cuts needs --mix-faces or --faces"};
    settings.sourcePath = argv[optind];
    // /dev/stdin reads whatever standard input is: a pipe, a file, a terminal.
    if (settings.sourcePath == StandardStream)
        settings.sourcePath = "/dev/stdin";
    return command;
}

} // namespace

int main(int argc, char** argv)
{
    Command command;
    try {
        command = ParseCommandLine(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << ProgramName << ": " << error.message << "\n\n" << Usage;
        return 2;
    }
    if (command.help) {
        std::cout << Usage;
        return 0;
    }
    if (command.version) {
        std::cout << ProgramName << " " << MORVALETH_VERSION << "\n";
        return 0;
    }

    if (command.showFont) {
        const morvaleth::FaceLocation face = morvaleth::FindFace(*command.showFont);
        const std::string aliases = morvaleth::FontAliasFile();
        std::cout << *command.showFont << ": " << (face.family.empty() ? "(no font)" : face.family) << " ("
                  << face.file << ")\n"
                  << "aliases: " << (aliases.empty() ? "(none found)" : aliases) << "\n";
        return face.file.empty() ? 1 : 0;
    }

    try {
        if (command.settings.sourcePath.empty())
            throw morvaleth::Error("元になるテキストファイルを選択して下さい。");
        morvaleth::RunControl control;
        control.warning = [](std::string_view message) {
            std::cerr << ProgramName << ": " << message << "\n";
        };
        const auto picture = morvaleth::ComposePicture(command.settings, control);
        const morvaleth::PictureFormat format =
            command.format.value_or(morvaleth::FormatForFileName(command.outputPath));
        const auto write = [&](const morvaleth::ByteSink& sink) { morvaleth::WritePicture(*picture, format, sink); };
        if (command.outputPath == StandardStream)
            morvaleth::WriteToDescriptor(STDOUT_FILENO, write);
        else
            morvaleth::ReplaceFile(command.outputPath, write);
    } catch (const morvaleth::Error& error) {
        std::cerr << ProgramName << ": " << error.what() << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << ProgramName << ": ｼｽﾃﾑ ﾘｿｰｽが足りません\n";
        return 1;
    }
    return 0;
}
