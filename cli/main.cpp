// morvaleth-compose: composes a text file, or a text given on the command
// line, into a cut-out letter picture and writes it as a BMP file, without the
// window.

#include "composer/Composition.h"
#include "composer/Messages.h"
#include "composer/encode/Formats.h"
#include "composer/faces/FaceChain.h"
#include "composer/faces/FaceSet.h"
#include "composer/save/FileSave.h"
#include "composer/text/SizeText.h"

#include <getopt.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* ProgramName = "morvaleth-compose";

std::string FormatNames(const char* separator, const char* last)
{
    std::string names;
    const auto formats = morvaleth::PictureFormats();
    for (std::size_t i = 0; i < formats.size(); ++i)
        names += (i == 0 ? "" : i + 1 == formats.size() ? last : separator) + std::string(formats[i].name);
    return names;
}

std::string UsageText()
{
    return "Usage: morvaleth-compose INPUT -o OUTPUT [options]\n"
           "       morvaleth-compose --text TEXT -o OUTPUT [options]\n"
           "       morvaleth-compose --show-font FACE\n"
           "       morvaleth-compose --show-encoding INPUT [-e ENC]\n"
           "Composes the text file INPUT, or the TEXT given, into a picture of\n"
           "characters cut out of different printed sources and writes it to OUTPUT\n"
           "as a BMP file, or as a PNG file when OUTPUT ends in .png. An INPUT of -\n"
           "reads standard input, an OUTPUT of - writes standard output.\n"
           "\n"
           "Options:\n"
           "  -o, --output FILE      the picture file to write (required)\n"
           "  -t, --text TEXT        compose TEXT instead of an INPUT file, as UTF-8\n"
           "                         unless --encoding says otherwise; its lines end\n"
           "                         where the shell put line ends (bash: $'a\\nb')\n"
           "      --format FORMAT    " +
           FormatNames(", ", " or ") +
           ", whatever the OUTPUT name\n"
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
           "  -e, --encoding ENC     auto (default), shift_jis (cp932, sjis), utf-8,\n"
           "                         utf-16, utf-16le, utf-16be, euc-jp, iso-2022-jp\n"
           "      --threads N        render threads, 1 to 256 (default: one per core)\n"
           "      --verbose          say on standard error which encoding was read\n"
           "      --show-encoding    show the encoding INPUT is read in, and exit\n"
           "      --show-font FACE   show the installed font that stands for FACE and\n"
           "                         the faces that draw what it lacks, and exit\n"
           "  -h, --help             show this help and exit\n"
           "  -v, --version          show the version and exit, as morvaleth -v does\n";
}

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
    if (const std::optional<morvaleth::SourceEncoding> encoding = morvaleth::EncodingNamed(text))
        return *encoding;
    throw UsageError{"invalid encoding: '" + std::string(text) + "' (" + std::string(morvaleth::EncodingNames()) +
                     ")"};
}

// What --show-encoding and --verbose call the encoding a text is read in.
std::string ReadAs(morvaleth::SourceEncoding encoding)
{
    if (encoding == morvaleth::SourceEncoding::Automatic)
        return "ascii (reads the same in every encoding)";
    return std::string(morvaleth::EncodingName(encoding));
}

morvaleth::PictureFormat ParseFormat(std::string_view text)
{
    if (const std::optional<morvaleth::PictureFormat> format = morvaleth::FormatNamed(text))
        return *format;
    throw UsageError{"invalid format: '" + std::string(text) + "' (" + FormatNames(", ", " or ") + ")"};
}

constexpr std::string_view StandardStream = "-";
constexpr int MostThreads = 256;

struct Command {
    morvaleth::CompositionSettings settings;
    std::string outputPath;
    std::optional<morvaleth::PictureFormat> format;
    std::optional<std::string> showFont;
    bool showEncoding = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

constexpr const char* ShortOptions = ":o:t:W:H:f:s:re:hv";

// The option getopt_long has just refused, as the user wrote it. A letter of
// a cluster ("-qq", "-dash.txt") is named by itself: getopt may still be
// inside that argument, and the one before it is someone else's. A long
// option ends its argument, which is then the one before `optind`.
std::string OptionNamed(char** argv, int letter)
{
    const std::string_view known(ShortOptions);
    const bool aLetter = letter > 0 && letter < 256 && letter != ':';
    // A letter that is no option, or one whose value is missing after it in
    // a cluster of letters; else the long option as written.
    const bool unknownLetter = aLetter && known.find(char(letter)) == std::string_view::npos;
    const bool clustered = aLetter && argv[optind - 1][1] != '-';
    if (unknownLetter || clustered)
        return std::string("-") + char(letter);
    return argv[optind - 1];
}

Command ParseCommandLine(int argc, char** argv)
{
    enum {
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
    };
    static const option options[] = {
        {"output", required_argument, nullptr, 'o'},
        {"text", required_argument, nullptr, 't'},
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
        {"threads", required_argument, nullptr, ThreadsOption},
        {"show-font", required_argument, nullptr, ShowFontOption},
        {"show-encoding", no_argument, nullptr, ShowEncodingOption},
        {"verbose", no_argument, nullptr, VerboseOption},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'v'},
        {nullptr, 0, nullptr, 0},
    };

    Command command;
    morvaleth::CompositionSettings& settings = command.settings;
    bool haveOutput = false;
    bool haveEncoding = false;
    opterr = 0;
    optind = 1;
    for (;;) {
        const int choice = getopt_long(argc, argv, ShortOptions, options, nullptr);
        if (choice == -1)
            break;
        switch (choice) {
        case 'o':
            command.outputPath = optarg;
            haveOutput = true;
            break;
        case 't':
            settings.sourceText = optarg;
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
            haveEncoding = true;
            break;
        case FormatOption:
            command.format = ParseFormat(optarg);
            break;
        case VerticalOption:
            settings.writing = morvaleth::Writing::Columns;
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
        case ShowEncodingOption:
            command.showEncoding = true;
            break;
        case VerboseOption:
            command.verbose = true;
            break;
        case ThreadsOption:
            settings.render.threads = ParseNumber<int>(optarg, 1, MostThreads, "--threads");
            break;
        case ShowFontOption:
            command.showFont = optarg;
            return command;
        case 'h':
            command.help = true;
            return command;
        case 'v':
            command.version = true;
            return command;
        case ':':
            throw UsageError{std::string("option requires a value: ") + OptionNamed(argv, optopt)};
        default:
            throw UsageError{std::string("unknown option: ") + OptionNamed(argv, optopt)};
        }
    }
    if (settings.sourceText && optind < argc)
        throw UsageError{std::string("--text and an input file exclude each other: '") + argv[optind] + "'"};
    if (optind == argc && !settings.sourceText)
        throw UsageError{"no input file (INPUT or --text TEXT)"};
    if (argc - optind > 1)
        throw UsageError{std::string("more than one input file: '") + argv[optind + 1] + "'"};
    if (!haveOutput && !command.showEncoding)
        throw UsageError{"no output file (-o OUTPUT)"};
    if (settings.faces.syntheticBold && settings.faces.mix == morvaleth::FaceMix::One)
        throw UsageError{"--bold-cuts needs --mix-faces or --faces"};
    // A command line is the locale's text, UTF-8 on the systems this runs on.
    if (settings.sourceText && !haveEncoding)
        settings.encoding = morvaleth::SourceEncoding::Utf8;
    if (!settings.sourceText)
        settings.sourcePath = argv[optind];
    // These read and write the descriptors as they are: standard input from
    // its offset, standard output appending where it was opened so; a pipe,
    // a socket, a file or a terminal alike.
    if (settings.sourcePath == StandardStream)
        settings.sourcePath = "/dev/stdin";
    if (command.outputPath == StandardStream)
        command.outputPath = "/dev/stdout";
    return command;
}

// A picture without pixels would be an empty file over whatever the output
// held: refused before anything is read or written. Sizes the run refuses
// anyway (not integers, negative) are left to it.
void RefuseEmptyPicture(const morvaleth::CompositionSettings& settings)
{
    const std::int32_t height = morvaleth::StrToInt(settings.heightText);
    const std::int32_t width = morvaleth::StrToInt(settings.widthText);
    if (width >= 0 && height >= 0 && (width == 0 || height == 0))
        throw morvaleth::Failure(morvaleth::Message::NoPixelsToSave, {std::to_string(width), std::to_string(height)});
}

// The driver's checks before any work: every way the run would end by
// writing a file it must not, or none at all, refused while the earlier file
// is untouched.
void CheckBeforeComposing(const Command& command, morvaleth::PictureFormat format)
{
    if (command.settings.sourcePath.empty() && !command.settings.sourceText)
        throw morvaleth::Failure(morvaleth::Message::ChooseSourceFile);
    RefuseEmptyPicture(command.settings);
    morvaleth::CheckPictureSize(format, morvaleth::StrToInt(command.settings.widthText),
                                morvaleth::StrToInt(command.settings.heightText));
    if (!command.settings.sourceText)
        morvaleth::RefuseOverwritingSource(command.settings.sourcePath, command.outputPath);
}

void ShowError(const morvaleth::Error& error)
{
    if (error.Kind() == morvaleth::ErrorKind::Cancelled)
        return;
    std::cerr << ProgramName << ": ";
    if (!error.File().empty())
        std::cerr << error.File() << ": ";
    std::cerr << error.what();
    if (!error.Reason().empty())
        std::cerr << " (" << error.Reason() << ")";
    std::cerr << "\n";
}

} // namespace

int main(int argc, char** argv)
{
    Command command;
    try {
        command = ParseCommandLine(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << ProgramName << ": " << error.message << "\n\n" << UsageText();
        return 2;
    }
    if (command.help) {
        std::cout << UsageText();
        return 0;
    }
    if (command.version) {
        std::cout << ProgramName << " " << MORVALETH_VERSION << "\n";
        return 0;
    }

    if (command.showFont) {
        const morvaleth::FaceChain chain(*command.showFont);
        const std::vector<morvaleth::FaceLocation>& faces = chain.Faces();
        const std::string aliases = morvaleth::FontAliasFile();
        if (faces.empty())
            std::cout << *command.showFont << ": (no font) ()\n";
        for (std::size_t i = 0; i < faces.size(); ++i)
            std::cout << (i == 0 ? *command.showFont + ": " : i == 1 ? std::string("fallback: ") : std::string(10, ' '))
                      << faces[i].family << " (" << faces[i].file << ")\n";
        std::cout << "aliases: " << (aliases.empty() ? "(none found)" : aliases) << "\n";
        return faces.empty() ? 1 : 0;
    }

    try {
        if (command.showEncoding) {
            const morvaleth::CompositionSettings& settings = command.settings;
            if (settings.sourcePath.empty() && !settings.sourceText)
                throw morvaleth::Failure(morvaleth::Message::ChooseSourceFile);
            std::cout << (settings.sourceText ? "--text" : settings.sourcePath) << ": "
                      << ReadAs(morvaleth::EncodingRead(settings)) << "\n";
            return 0;
        }
        const morvaleth::PictureFormat format =
            command.format.value_or(morvaleth::FormatForFileName(command.outputPath));
        CheckBeforeComposing(command, format);
        morvaleth::RunControl control;
        if (command.verbose)
            control.encodingRead = [](morvaleth::SourceEncoding encoding) {
                std::cerr << ProgramName << ": read as " << ReadAs(encoding) << "\n";
            };
        // Everything the run can refuse (sizes, the source, the faces) is
        // refused before the output is touched; then the rows stream into it
        // as they are finished.
        control.warning = [](std::string_view message) {
            std::cerr << ProgramName << ": " << message << "\n";
        };
        morvaleth::CompositionRun run(command.settings);
        run.OpenSource();
        morvaleth::SaveFile(command.outputPath, [&](morvaleth::SaveOutput& output) {
            const auto sink = morvaleth::FileSinkFor(format, output);
            run.Render(*sink, control);
        });
    } catch (const morvaleth::Error& error) {
        ShowError(error);
        return 1;
    } catch (const std::bad_alloc&) {
        ShowError(morvaleth::Failure(morvaleth::Message::OutOfResources));
        return 1;
    }
    return 0;
}
