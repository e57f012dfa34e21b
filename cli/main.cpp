// morvaleth-compose: composes a text file, or a text given on the command
// line, into a cut-out letter picture and writes it as a picture file (BMP,
// PNG, PDF, SVG), without the window.

#include "cli/DriverOptions.h"
#include "composer/Composition.h"
#include "composer/Messages.h"
#include "composer/PhysicalSize.h"
#include "composer/Recipe.h"
#include "composer/encode/Formats.h"
#include "composer/faces/FaceChain.h"
#include "composer/faces/FaceSet.h"
#include "composer/save/FileSave.h"
#include "composer/text/SizeText.h"

#include <getopt.h>
#include <iconv.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* ProgramName = "morvaleth-compose";

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
    throw UsageError{"invalid encoding: '" + std::string(text) + "' (" + morvaleth::EncodingNames() +
                     "; --help lists their other names)"};
}

// What --show-encoding and --verbose call the encoding a text is read in.
std::string ReadAs(morvaleth::SourceEncoding encoding)
{
    if (encoding == morvaleth::SourceEncoding::Automatic)
        return "ascii (reads the same in every encoding)";
    return std::string(morvaleth::EncodingName(encoding));
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
    throw UsageError{"invalid format: '" + std::string(text) + "' (" + morvaleth::cli::FormatNames(", ", " or ") + ")"};
}

constexpr std::string_view StandardStream = "-";
constexpr int MostThreads = 256;

struct Command {
    morvaleth::CompositionSettings settings;
    std::string outputPath;
    std::optional<morvaleth::PictureFormat> format;
    std::optional<std::string> showFont;
    std::optional<std::string> recipe;
    morvaleth::OutputOptions encode;
    bool showEncoding = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// The option getopt_long has just refused, as the user wrote it. A letter of
// a cluster ("-qq", "-dash.txt") is named by itself: getopt may still be
// inside that argument, and the one before it is someone else's. A long
// option ends its argument, which is then the one before `optind`.
std::string OptionNamed(char** argv, int letter)
{
    static const std::string known = morvaleth::cli::ShortOptions();
    const bool aLetter = letter > 0 && letter < 256 && letter != ':';
    // A letter that is no option, or one whose value is missing after it in
    // a cluster of letters; else the long option as written.
    const bool unknownLetter = aLetter && known.find(char(letter)) == std::string::npos;
    const bool clustered = aLetter && argv[optind - 1][1] != '-';
    if (unknownLetter || clustered)
        return std::string("-") + char(letter);
    return argv[optind - 1];
}

Command ParseCommandLine(int argc, char** argv)
{
    using namespace morvaleth::cli;
    static const std::vector<option> options = LongOptions();
    static const std::string letters = ShortOptions();

    Command command;
    morvaleth::CompositionSettings& settings = command.settings;
    bool haveOutput = false;
    bool haveEncoding = false;
    bool sizeGiven = false;
    bool landscape = false;
    std::optional<morvaleth::PaperSize> paper;
    opterr = 0;
    optind = 1;
    for (;;) {
        const int choice = getopt_long(argc, argv, letters.c_str(), options.data(), nullptr);
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
            command.encode.threads = settings.render.threads;
            break;
        case PngLevelOption:
            command.encode.pngLevel = ParseNumber<int>(optarg, 0, 9, "--png-level");
            break;
        case EmbedTextOption:
            settings.embedText = true;
            break;
        case RecipeOption:
            command.recipe = optarg;
            return command;
        case DpiOption:
            settings.dotsPerInch = UsageOf([] { return morvaleth::DotsPerInchFrom(optarg); });
            break;
        case PaperOption:
            paper = UsageOf([] { return morvaleth::PaperNamed(optarg); });
            break;
        case LandscapeOption:
            landscape = true;
            break;
        case PaletteOption:
            if (const auto palette = morvaleth::PaletteNamed(optarg))
                settings.look.palette = *palette;
            else
                throw UsageError{std::string("invalid palette: '") + optarg + "' (" +
                                 PaletteNameList() + ")"};
            break;
        case BackgroundOption:
            if (const auto background = morvaleth::BackgroundNamed(optarg))
                settings.look.background = *background;
            else
                throw UsageError{std::string("invalid background: '") + optarg +
                                 "' (#rrggbb, transparent or a colour name; --help lists them)"};
            break;
        case TornOption:
            settings.look.torn = true;
            break;
        case ShadowOption:
            settings.look.shadow = true;
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
    if (paper && sizeGiven)
        throw UsageError{"--paper and --width or --height exclude each other"};
    if (landscape && !paper)
        throw UsageError{"--landscape needs --paper"};
    if (settings.look.torn && !settings.realMode)
        throw UsageError{"--torn needs --real"};
    // On paper the picture's size follows from the sheet, and the font size
    // is in points, so that a letter looks alike at any resolution.
    if (paper) {
        if (settings.dotsPerInch == 0)
            settings.dotsPerInch = morvaleth::PaperDotsPerInch;
        const morvaleth::PixelSize pixels = morvaleth::PaperPixels(*paper, settings.dotsPerInch, landscape);
        settings.widthText = std::to_string(pixels.width);
        settings.heightText = std::to_string(pixels.height);
    }
    if (settings.dotsPerInch != 0) {
        settings.points = settings.size;
        settings.size = morvaleth::PixelsOfPoints(settings.size, settings.dotsPerInch);
    }
    command.encode.dotsPerInch = settings.dotsPerInch;
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

// The text as one word for bash: $'...' with control characters written as
// escapes, and with `utf8` false every byte above 0x7F too; every other byte
// as it is.
std::string ShellWord(std::string_view text, bool utf8 = true)
{
    std::string word = "$'";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\'' || c == '\\') {
            word += '\\';
            word += c;
        } else if (c == '\n') {
            word += "\\n";
        } else if (byte < 0x20 || byte == 0x7F || (!utf8 && byte > 0x7F)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            word += escape;
        } else {
            word += c;
        }
    }
    return word + "'";
}

// The text in the encoding it was first read in, so that it is cut into the
// same units again; none when one of its characters has no place there (the
// replacement character of bytes that did not convert).
std::optional<std::string> Reencoded(const std::string& utf8, morvaleth::SourceEncoding encoding)
{
    const char* name = encoding == morvaleth::SourceEncoding::ShiftJis ? "CP932"
                       : encoding == morvaleth::SourceEncoding::EucJp  ? "EUC-JP"
                                                                       : "ISO-2022-JP";
    const iconv_t converter = iconv_open(name, "UTF-8");
    if (converter == iconv_t(-1))
        return std::nullopt;
    std::string out(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    const bool converted = iconv(converter, &in, &inLeft, &to, &outLeft) != std::size_t(-1) &&
                           iconv(converter, nullptr, nullptr, &to, &outLeft) != std::size_t(-1);
    iconv_close(converter);
    if (!converted)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

// Prints the command that makes the picture again from its recipe.
int PrintRecipe(const std::string& picture)
{
    const std::optional<morvaleth::MadeWith> made = morvaleth::ReadRecipe(morvaleth::ReadPictureNotes(picture));
    if (!made)
        throw morvaleth::Failure(morvaleth::Message::NoRecipe, {picture});
    const morvaleth::CompositionSettings& settings = made->settings;
    std::string command = "morvaleth-compose";
    morvaleth::SourceEncoding encoding = made->read;
    if (settings.sourceText) {
        std::string text = *settings.sourceText;
        encoding = morvaleth::SourceEncoding::Utf8;
        if (made->read == morvaleth::SourceEncoding::ShiftJis || made->read == morvaleth::SourceEncoding::EucJp ||
            made->read == morvaleth::SourceEncoding::Iso2022Jp)
            if (const std::optional<std::string> bytes = Reencoded(text, made->read)) {
                text = *bytes;
                encoding = made->read;
            }
        command += " --text " + ShellWord(text, encoding == morvaleth::SourceEncoding::Utf8) + " --embed-text";
    } else {
        std::cout << "# TEXT.txt stands for the text the picture was made from: the picture keeps how it was made,\n"
                     "# not the text (morvaleth-compose --embed-text keeps it too).\n";
        command += " TEXT.txt";
    }
    const std::filesystem::path again = std::filesystem::path(picture).replace_filename(
        std::filesystem::path(picture).stem().string() + "-again" + std::filesystem::path(picture).extension().string());
    command += " -o " + ShellWord(again.string());
    command += " --seed " + std::to_string(made->seed) + " -W " + settings.widthText + " -H " + settings.heightText;
    command += " -f " + ShellWord(settings.faceName);
    // With a resolution the size is given in points, as it was asked for.
    if (settings.dotsPerInch > 0)
        command += " --dpi " + std::to_string(settings.dotsPerInch) + " -s " + std::to_string(settings.points);
    else
        command += " -s " + std::to_string(settings.size);
    if (settings.realMode)
        command += " --real";
    if (settings.writing == morvaleth::Writing::Columns)
        command += " --vertical";
    if (settings.faces.mix == morvaleth::FaceMix::Japanese)
        command += " --mix-faces";
    if (settings.faces.mix == morvaleth::FaceMix::Listed) {
        std::string list;
        for (const std::string& name : settings.faces.listed)
            list += (list.empty() ? "" : ",") + name;
        command += " --faces " + ShellWord(list);
    }
    if (settings.faces.syntheticBold)
        command += " --bold-cuts";
    if (settings.look.palette != morvaleth::PaletteId::Grey)
        command += " --palette " + std::string(morvaleth::PaletteName(settings.look.palette));
    if (settings.look.background != morvaleth::Background{})
        command += " --background " + ShellWord(morvaleth::BackgroundText(settings.look.background));
    if (settings.look.torn)
        command += " --torn";
    if (settings.look.shadow)
        command += " --shadow";
    if (encoding != morvaleth::SourceEncoding::Automatic)
        command += " -e " + std::string(morvaleth::EncodingName(encoding));
    if (made->pngLevel)
        command += " --png-level " + std::to_string(*made->pngLevel);
    if (made->version != MORVALETH_VERSION)
        std::cout << "# made by Morvaleth " << made->version << "\n";
    std::cout << command << "\n";
    return 0;
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
        std::cerr << ProgramName << ": " << error.message << "\n\n" << morvaleth::cli::UsageText();
        return 2;
    }
    if (command.help) {
        std::cout << morvaleth::cli::UsageText();
        return 0;
    }
    if (command.version) {
        std::cout << ProgramName << " " << MORVALETH_VERSION << "\n";
        return 0;
    }

    if (command.recipe) {
        try {
            return PrintRecipe(*command.recipe);
        } catch (const morvaleth::Error& error) {
            ShowError(error);
            return 1;
        }
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
        if (command.settings.look.background.transparent && !morvaleth::FormatEntry(format).transparency)
            control.warning(std::string(morvaleth::FormatEntry(format).name) +
                            " has no transparency: the background stays white");
        morvaleth::CompositionRun run(command.settings);
        run.OpenSource(control);
        command.encode.warning = control.warning;
        morvaleth::SaveFile(command.outputPath,
                            [&](morvaleth::SaveOutput& output) { run.Write(output, format, command.encode, control); });
    } catch (const morvaleth::Error& error) {
        ShowError(error);
        return 1;
    } catch (const std::bad_alloc&) {
        ShowError(morvaleth::Failure(morvaleth::Message::OutOfResources));
        return 1;
    }
    return 0;
}
