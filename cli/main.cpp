// morvaleth-compose: composes a text file into a cut-out letter picture and
// writes it as a picture file (BMP, PNG, PDF, SVG), without the window.

#include "composer/Composition.h"
#include "composer/Messages.h"
#include "composer/PhysicalSize.h"
#include "composer/encode/Formats.h"
#include "composer/faces/FaceChain.h"
#include "composer/faces/FaceSet.h"
#include "composer/save/FileSave.h"
#include "composer/text/SizeText.h"
#include "composer/text/SourceReader.h"

#include <getopt.h>
#include <sys/stat.h>
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
           "       morvaleth-compose --show-font FACE\n"
           "       morvaleth-compose --show-encoding INPUT [-e ENC]\n"
           "Composes the text file INPUT into a picture of characters cut out of\n"
           "different printed sources and writes it to OUTPUT in the format its name\n"
           "ends in (" +
           FormatNames(", ", " or ") +
           "), else as a BMP file. PDF and SVG\n"
           "draw it in outlines that stay sharp at any size, and keep its text. An\n"
           "INPUT of - reads standard input, an OUTPUT of - writes standard output.\n"
           "\n"
           "Options:\n"
           "  -o, --output FILE      the picture file to write (required)\n"
           "      --format FORMAT    " +
           FormatNames(", ", " or ") +
           ", whatever the OUTPUT name\n"
           "  -W, --width TEXT       picture width in pixels (default 640)\n"
           "  -H, --height TEXT      picture height in pixels (default 480)\n"
           "      --paper PAPER      width and height of a sheet of paper: " +
           morvaleth::PaperNames() +
           "\n"
           "                         (B4 and B5 as in Japan), at 300 dpi unless --dpi\n"
           "                         says otherwise\n"
           "      --landscape        the paper lying on its side\n"
           "      --dpi N            the picture's resolution in dots per inch, " +
           std::to_string(morvaleth::SmallestDotsPerInch) + " to " + std::to_string(morvaleth::LargestDotsPerInch) +
           ",\n"
           "                         recorded in the file (a PDF's page size); with it,\n"
           "                         or with --paper, the font size is in points on paper\n"
           "  -f, --font FACE        font face (default \"ＭＳ Ｐゴシック\")\n"
           "  -s, --size N           font size in points, 1 to 65535 (default 20), drawn\n"
           "                         that many pixels high; with --dpi or --paper, as\n"
           "                         points on paper\n"
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
           "  -v, --verbose          say on standard error which encoding was read\n"
           "      --show-encoding    show the encoding INPUT is read in, and exit\n"
           "      --show-font FACE   show the installed font that stands for FACE and\n"
           "                         the faces that draw what it lacks, and exit\n"
           "      --help             show this help and exit\n"
           "      --version          show the version and exit\n";
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

// Reads the text until its encoding is decided or it ends.
morvaleth::SourceEncoding EncodingOfText(const morvaleth::CompositionSettings& settings)
{
    morvaleth::SourceReader reader(settings.sourcePath, settings.encoding);
    std::u32string_view unit;
    while (reader.Encoding() == morvaleth::SourceEncoding::Automatic &&
           reader.Next(unit) != morvaleth::SourceReader::Token::TextEnd) {
    }
    const morvaleth::SourceEncoding encoding = reader.Encoding();
    reader.Close();
    return encoding;
}

// A value the engine reads itself (a paper, a resolution): its refusal is a
// usage mistake.
template <typename Read>
auto UsageOf(Read read)
{
    try {
        return read();
    } catch (const morvaleth::Error& error) {
        throw UsageError{error.what()};
    }
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
    // The resolution, 0 without one.
    int dotsPerInch = 0;
    std::optional<std::string> showFont;
    bool showEncoding = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

Command ParseCommandLine(int argc, char** argv)
{
    enum {
        SeedOption = 256,
        FormatOption,
        ShowFontOption,
        ShowEncodingOption,
        HelpOption,
        VersionOption,
        VerticalOption,
        MixFacesOption,
        FacesOption,
        BoldCutsOption,
        ThreadsOption,
        DpiOption,
        PaperOption,
        LandscapeOption,
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
        {"threads", required_argument, nullptr, ThreadsOption},
        {"dpi", required_argument, nullptr, DpiOption},
        {"paper", required_argument, nullptr, PaperOption},
        {"landscape", no_argument, nullptr, LandscapeOption},
        {"show-font", required_argument, nullptr, ShowFontOption},
        {"show-encoding", no_argument, nullptr, ShowEncodingOption},
        {"verbose", no_argument, nullptr, 'v'},
        {"help", no_argument, nullptr, HelpOption},
        {"version", no_argument, nullptr, VersionOption},
        {nullptr, 0, nullptr, 0},
    };

    Command command;
    morvaleth::CompositionSettings& settings = command.settings;
    bool haveOutput = false;
    bool sizeGiven = false;
    bool landscape = false;
    std::optional<morvaleth::PaperSize> paper;
    opterr = 0;
    optind = 1;
    for (;;) {
        const int choice = getopt_long(argc, argv, ":o:W:H:f:s:re:v", options, nullptr);
        if (choice == -1)
            break;
        switch (choice) {
        case 'o':
            command.outputPath = optarg;
            haveOutput = true;
            break;
        case 'W':
            settings.widthText = optarg;
            sizeGiven = true;
            break;
        case 'H':
            settings.heightText = optarg;
            sizeGiven = true;
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
        case 'v':
            command.verbose = true;
            break;
        case ThreadsOption:
            settings.render.threads = ParseNumber<int>(optarg, 1, MostThreads, "--threads");
            break;
        case DpiOption:
            command.dotsPerInch = UsageOf([] { return morvaleth::DotsPerInchFrom(optarg); });
            break;
        case PaperOption:
            paper = UsageOf([] { return morvaleth::PaperNamed(optarg); });
            break;
        case LandscapeOption:
            landscape = true;
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
    if (!haveOutput && !command.showEncoding)
        throw UsageError{"no output file (-o OUTPUT)"};
    if (settings.faces.syntheticBold && settings.faces.mix == morvaleth::FaceMix::One)
        throw UsageError{"--bold-cuts needs --mix-faces or --faces"};
    if (paper && sizeGiven)
        throw UsageError{"--paper and --width or --height exclude each other"};
    if (landscape && !paper)
        throw UsageError{"--landscape needs --paper"};
    // On paper the picture's size follows from the sheet, and the font size
    // is in points, so that a letter looks alike at any resolution.
    if (paper) {
        if (command.dotsPerInch == 0)
            command.dotsPerInch = morvaleth::PaperDotsPerInch;
        const morvaleth::PixelSize pixels = morvaleth::PaperPixels(*paper, command.dotsPerInch, landscape);
        settings.widthText = std::to_string(pixels.width);
        settings.heightText = std::to_string(pixels.height);
    }
    if (command.dotsPerInch != 0)
        settings.size = morvaleth::PixelsOfPoints(settings.size, command.dotsPerInch);
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

// The output may not be the source text itself, under its own name or any
// other (a link, /dev/stdout onto the same file): the picture would replace
// the text. Only an existing regular file can be the same.
void RefuseOverwritingSource(const std::string& source, const std::string& output)
{
    struct stat read {};
    struct stat written {};
    if (::stat(source.c_str(), &read) == 0 && ::stat(output.c_str(), &written) == 0 && S_ISREG(written.st_mode) &&
        read.st_dev == written.st_dev && read.st_ino == written.st_ino)
        throw morvaleth::Failure(morvaleth::Message::OutputIsSource, {output});
}

// The driver's checks before any work: every way the run would end by
// writing a file it must not, or none at all, refused while the earlier file
// is untouched.
void CheckBeforeComposing(const Command& command, morvaleth::PictureFormat format)
{
    if (command.settings.sourcePath.empty())
        throw morvaleth::Failure(morvaleth::Message::ChooseSourceFile);
    RefuseEmptyPicture(command.settings);
    morvaleth::CheckPictureSize(format, morvaleth::StrToInt(command.settings.widthText),
                                morvaleth::StrToInt(command.settings.heightText));
    RefuseOverwritingSource(command.settings.sourcePath, command.outputPath);
}

void ShowError(const morvaleth::Error& error)
{
    if (error.Kind() == morvaleth::ErrorKind::Cancelled)
        return;
    std::cerr << ProgramName << ": ";
    if (!error.File().empty())
        std::cerr << error.File() << ": ";
    std::cerr << error.what() << "\n";
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
            if (command.settings.sourcePath.empty())
                throw morvaleth::Failure(morvaleth::Message::ChooseSourceFile);
            std::cout << command.settings.sourcePath << ": " << ReadAs(EncodingOfText(command.settings)) << "\n";
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
        morvaleth::OutputOptions options;
        options.dotsPerInch = command.dotsPerInch;
        options.warning = control.warning;
        morvaleth::SaveFile(command.outputPath,
                            [&](morvaleth::SaveOutput& output) { run.Write(output, format, options, control); });
    } catch (const morvaleth::Error& error) {
        ShowError(error);
        return 1;
    } catch (const std::bad_alloc&) {
        ShowError(morvaleth::Failure(morvaleth::Message::OutOfResources));
        return 1;
    }
    return 0;
}
