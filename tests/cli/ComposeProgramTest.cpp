#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include "composer/text/Encoding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <sstream>

namespace morvaleth {
namespace {

using testing::ReadFile;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFile;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string Letter = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-utf8.txt";

testing::ProgramResult Compose(const std::vector<std::string>& arguments)
{
    return RunProgram("morvaleth-compose", arguments);
}

TEST(ComposeProgram, WritesThePictureAndSaysNothing)
{
    TempDir folder;
    const auto result = Compose({Letter, "-o", folder / "letter.bmp", "--real"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadFile(folder / "letter.bmp").size(), 921654u);
}

TEST(ComposeProgram, TheSameSeedGivesTheSameFile)
{
    TempDir folder;
    // Whatever the number of render threads.
    for (const char* threads : {"1", "3"})
        ASSERT_EQ(Compose({Letter, "-o", folder / (threads + std::string(".bmp")), "--seed", "42", "--size", "24", "-W",
                           "300", "-H", "$C8", "--threads", threads})
                      .exitCode,
                  0);
    EXPECT_EQ(ReadFile(folder / "1.bmp"), ReadFile(folder / "3.bmp"));
    for (const char* name : {"a.bmp", "b.bmp"})
        ASSERT_EQ(Compose({Letter, "-o", folder / name, "--seed", "42", "--size", "24", "-W", "300", "-H", "$C8"}).exitCode, 0);
    EXPECT_EQ(ReadFile(folder / "a.bmp"), ReadFile(folder / "1.bmp"));
    ASSERT_EQ(Compose({Letter, "-o", folder / "c.bmp", "--seed", "43", "--size", "24", "-W", "300", "-H", "$C8"}).exitCode, 0);
    EXPECT_EQ(ReadFile(folder / "a.bmp"), ReadFile(folder / "b.bmp"));
    EXPECT_NE(ReadFile(folder / "a.bmp"), ReadFile(folder / "c.bmp"));
    EXPECT_EQ(ReadFile(folder / "a.bmp").size(), 54u + 900 * 200);
}

TEST(ComposeProgram, WritesPngForAPngName)
{
    TempDir folder;
    ASSERT_EQ(Compose({Letter, "-o", folder / "letter.png"}).exitCode, 0);
    EXPECT_THAT(ReadFile(folder / "letter.png"), StartsWith("\x89PNG"));
}

TEST(ComposeProgram, StandardInputAndOutputRoundTrip)
{
    TempDir folder;
    ASSERT_EQ(Compose({Letter, "-o", folder / "file.bmp", "--seed", "5", "--real"}).exitCode, 0);
    const auto piped = RunProgram("morvaleth-compose", {"-", "-o", "-", "--seed", "5", "--real"}, Letter);
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
    EXPECT_TRUE(piped.out == ReadFile(folder / "file.bmp"));

    const auto png = RunProgram("morvaleth-compose", {"-", "-o", "-", "--format", "png"}, Letter);
    EXPECT_EQ(png.exitCode, 0);
    EXPECT_THAT(png.out, StartsWith("\x89PNG"));
}

struct RecipeCase {
    const char* name;
    std::vector<std::string> options;
    const char* format = "png";

    friend void PrintTo(const RecipeCase& x, std::ostream* out) { *out << x.name; }
};

class RecipeTest : public ::testing::TestWithParam<RecipeCase> {};

// The command --recipe prints makes the same file again, byte for byte: from
// the text kept in the picture, or with the text file put in for TEXT.txt.
TEST_P(RecipeTest, ItsCommandMakesTheSameFileAgain)
{
    TempDir folder;
    const std::string sjis = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-sjis.txt";
    const std::string letter = std::string("letter.") + GetParam().format;
    std::vector<std::string> arguments = {sjis, "-o", folder / letter};
    arguments.insert(arguments.end(), GetParam().options.begin(), GetParam().options.end());
    ASSERT_EQ(Compose(arguments).exitCode, 0);

    const auto recipe = Compose({"--recipe", folder / letter});
    ASSERT_EQ(recipe.exitCode, 0) << recipe.err;
    std::string command = recipe.out;
    const std::size_t placeholder = command.find("morvaleth-compose TEXT.txt ");
    if (placeholder != std::string::npos)
        command.replace(placeholder + 18, 8, sjis);
    // The printed program is the one on the PATH; here, the one built.
    WriteFile(folder / "again.sh", "PATH='" + std::string(MORVALETH_BINARY_DIR) + "':$PATH\n" + command);
    ASSERT_EQ(std::system(("bash '" + folder / "again.sh" + "'").c_str()), 0) << command;
    const std::string again = std::string("letter-again.") + GetParam().format;
    EXPECT_TRUE(ReadFile(folder / again) == ReadFile(folder / letter)) << command;
}

INSTANTIATE_TEST_SUITE_P(
    OptionSets, RecipeTest,
    ::testing::Values(RecipeCase{"Defaults", {"--seed", "1"}},
                      RecipeCase{"RealColumns", {"--seed", "2", "--real", "--vertical", "-W", "300", "-H", "$1F4"}},
                      RecipeCase{"ListedBoldKept", {"--seed", "3", "--faces", "IPAMincho, DejaVu Serif", "--bold-cuts",
                                                    "--embed-text", "-f", "ＭＳ 明朝", "-s", "23"}},
                      RecipeCase{"MixedKeptSmallest", {"--seed", "4", "--mix-faces", "--embed-text", "--png-level", "9"}},
                      RecipeCase{"EveryLook", {"--seed", "5", "--real", "--palette", "pastel", "--background",
                                               "transparent", "--torn", "--shadow"}},
                      RecipeCase{"PlainOnColour", {"--seed", "6", "--palette", "newsprint", "--background", "#2F4f4F"}},
                      RecipeCase{"PdfOnPaper", {"--seed", "5", "--paper", "postcard", "--dpi", "72", "-s", "11"}, "pdf"},
                      RecipeCase{"SvgKept", {"--seed", "6", "--real", "--embed-text"}, "svg"},
                      RecipeCase{"SvgzColumns", {"--seed", "7", "--vertical", "--bold-cuts", "--faces", "IPAGothic"}, "svgz"},
                      RecipeCase{"PdfInLooks", {"--seed", "8", "--real", "--palette", "magazine", "--torn", "--shadow",
                                                "--background", "transparent"}, "pdf"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ComposeProgram, AFailureWritesNothingToStandardOutput)
{
    const auto result = RunProgram("morvaleth-compose", {"-", "-o", "-", "--width", "x"}, Letter);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "morvaleth-compose: 'x' は整数ではありません\n");
}

TEST(ComposeProgram, ShowsTheFontAFaceResolvesTo)
{
    const auto result = Compose({"--show-font", "MS PGothic"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_THAT(result.out, StartsWith("MS PGothic: IPAPGothic ("));
    EXPECT_THAT(result.out, HasSubstr("\naliases: /"));
}

TEST(ComposeProgram, ShowsTheFaceAndItsFallback)
{
    const auto result = Compose({"--show-font", "DejaVu Serif"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_THAT(result.out, StartsWith("DejaVu Serif: DejaVu Serif ("));
    EXPECT_THAT(result.out, HasSubstr("\nfallback: IPA"));
}

struct EncodingRow {
    const char* name;
    std::string bytes;
    std::vector<std::string> options;
    std::string shown;

    friend void PrintTo(const EncodingRow& x, std::ostream* out) { *out << x.name; }
};

class ShowEncodingTest : public ::testing::TestWithParam<EncodingRow> {};

TEST_P(ShowEncodingTest, TellsWhatTheTextIsReadAs)
{
    TempDir folder;
    WriteFile(folder / "text.txt", GetParam().bytes);
    std::vector<std::string> arguments{"--show-encoding", folder / "text.txt"};
    arguments.insert(arguments.end(), GetParam().options.begin(), GetParam().options.end());
    const auto shown = Compose(arguments);
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(shown.out, (folder / "text.txt") + ": " + GetParam().shown + "\n");

    // The same text composed with --verbose says so on stderr.
    arguments[0] = "--verbose";
    arguments.insert(arguments.end(), {"-o", folder / "out.bmp"});
    const auto composed = Compose(arguments);
    EXPECT_EQ(composed.exitCode, 0);
    EXPECT_EQ(composed.err, "morvaleth-compose: read as " + GetParam().shown + "\n");
}

// --show-encoding reads no further than a run of the same options would: an
// endless source ends, and Japanese that a run never reaches does not count.
TEST(ComposeProgram, ShowsTheEncodingOfWhatARunReads)
{
    const auto endless = Compose({"--show-encoding", "/dev/zero"});
    EXPECT_EQ(endless.exitCode, 0) << endless.err;
    EXPECT_EQ(endless.out, "/dev/zero: ascii (reads the same in every encoding)\n");

    TempDir folder;
    std::string text;
    for (int line = 0; line < 30; ++line)
        text += "Dear friend,\r\n";
    WriteFile(folder / "late.txt", text + "拝啓\r\n");
    const std::string late = folder / "late.txt";
    EXPECT_EQ(Compose({"--show-encoding", late}).out, late + ": ascii (reads the same in every encoding)\n");
    EXPECT_EQ(Compose({"--show-encoding", late, "-H", "1000"}).out, late + ": utf-8\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ShowEncodingTest,
    ::testing::Values(EncodingRow{"Utf8", "拝啓\n", {}, "utf-8"},
                      EncodingRow{"ShiftJis", "\x94\x71\x8C\x5B", {}, "shift_jis"},
                      EncodingRow{"EucJp", "\xB4\xC1\xBB\xFA", {}, "euc-jp"},
                      EncodingRow{"Utf16", std::string("\xFF\xFE" "a\0", 4), {}, "utf-16le"},
                      EncodingRow{"Iso2022Jp", "\x1B$B$\"\x1B(B", {}, "iso-2022-jp"},
                      EncodingRow{"Ascii", "Dear friend,\n", {}, "ascii (reads the same in every encoding)"},
                      EncodingRow{"Forced", "拝啓", {"-e", "SJIS"}, "shift_jis"},
                      EncodingRow{"ForcedUtf16WithoutAMark", "a\0", {"--encoding", "utf-16"}, "utf-16le"},
                      // UTF-16 without a mark is no ASCII text, and EUC-JP with
                      // NEC's ① no Shift-JIS.
                      EncodingRow{"Utf16LeWithoutAMark", std::string("a\0b\0\n\0", 6), {}, "utf-16le"},
                      EncodingRow{"Utf16BeWithoutAMark", std::string("\0a\0b\0\n", 6), {}, "utf-16be"},
                      EncodingRow{"EucJpWithNecSpecial", "\xA4\xA2\xAD\xA1\xA4\xA4", {}, "euc-jp"},
                      EncodingRow{"EvenHalfWidthKana", "\xB6\xB0\xC4\xDE\n", {}, "shift_jis"},
                      // Aliases, whatever their case and punctuation.
                      EncodingRow{"ForcedByAnAlias", "abc", {"-e", "Windows-31J"}, "shift_jis"},
                      EncodingRow{"ForcedByAnotherAlias", "abc", {"--encoding", "UJIS"}, "euc-jp"},
                      EncodingRow{"ForcedByASpelling", "abc", {"-e", "utf16be"}, "utf-16be"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ComposeProgram, AnUnknownEncodingListsTheNames)
{
    const auto result = Compose({Letter, "-o", "-", "--encoding", "latin1"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.err, HasSubstr("invalid encoding: 'latin1' (auto, shift_jis, utf-8, utf-16, utf-16le, "
                                      "utf-16be, euc-jp, iso-2022-jp; --help lists their other names)"));
}

struct FailureRow {
    const char* name;
    std::vector<std::string> arguments; // "{dir}" stands for a fresh folder
    int exitCode;
    std::string errorText; // what stderr must hold

    friend void PrintTo(const FailureRow& x, std::ostream* out) { *out << x.name; }
};

class ComposeProgramFailureTest : public ::testing::TestWithParam<FailureRow> {};

TEST_P(ComposeProgramFailureTest, ExitsWithTheMessageAndLeavesTheEarlierFile)
{
    TempDir folder;
    WriteFile(folder / "out.bmp", "earlier");
    std::vector<std::string> arguments;
    for (std::string argument : GetParam().arguments) {
        if (const auto at = argument.find("{dir}"); at != std::string::npos)
            argument.replace(at, 5, folder.Path().string());
        arguments.push_back(argument);
    }
    const auto result = Compose(arguments);
    EXPECT_EQ(result.exitCode, GetParam().exitCode);
    EXPECT_THAT(result.err, HasSubstr(GetParam().errorText));
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(ReadFile(folder / "out.bmp"), "earlier");
    EXPECT_EQ(folder.Entries().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ComposeProgramFailureTest,
    ::testing::Values(
        FailureRow{"MissingFile", {"{dir}/missing.txt", "-o", "{dir}/out.bmp"}, 1, "/missing.txt: ﾌｧｲﾙが見つかりません\n"},
        FailureRow{"MissingFolder", {"{dir}/gone/a.txt", "-o", "{dir}/out.bmp"}, 1, "/gone/a.txt: 不正なﾌｧｲﾙ名です\n"},
        FailureRow{"Folder", {"{dir}", "-o", "{dir}/out.bmp"}, 1, "ﾌｧｲﾙではなくﾌｫﾙﾀﾞです"},
        FailureRow{"EmptyPath", {"", "-o", "{dir}/out.bmp"}, 1, "元になるテキストファイルを選択して下さい。"},
        FailureRow{"BadWidth", {Letter, "-o", "{dir}/out.bmp", "--width", "640 "}, 1, "'640 ' は整数ではありません"},
        FailureRow{"HugePicture", {Letter, "-o", "{dir}/out.bmp", "-W", "99999", "-H", "99999"}, 1, "(BMP は 2 GiB まで)"},
        FailureRow{"UnwritableOutput", {Letter, "-o", "{dir}/gone/out.bmp"}, 1, "を作成できません"},
        FailureRow{"NoArguments", {}, 2, "Usage:"},
        FailureRow{"NoOutput", {Letter}, 2, "no output file"},
        FailureRow{"TwoInputs", {Letter, Letter, "-o", "{dir}/out.bmp"}, 2, "more than one input"},
        FailureRow{"TextAndInput", {"--text", "拝啓", Letter, "-o", "{dir}/out.bmp"}, 2,
                   "--text and an input file exclude each other"},
        FailureRow{"NeitherTextNorInput", {"-o", "{dir}/out.bmp"}, 2, "no input file (INPUT or --text TEXT)"},
        FailureRow{"TextWithoutOutput", {"--text", "拝啓"}, 2, "no output file"},
        // Options refused are named as written: a letter of a cluster by
        // itself, a long option whole.
        FailureRow{"UnknownOption", {Letter, "-o", "{dir}/out.bmp", "--colour"}, 2, "compose: unknown option: --colour\n"},
        FailureRow{"UnknownLettersInACluster", {"-qq", Letter, "-o", "{dir}/out.bmp"}, 2, "compose: unknown option: -q\n"},
        FailureRow{"ANameLikeAnOption", {"-dash.txt", "-o", "{dir}/out.bmp"}, 2, "compose: unknown option: -d\n"},
        FailureRow{"ALongOptionGivenAValue", {Letter, "-o", "{dir}/out.bmp", "--real=yes"}, 2,
                   "compose: unknown option: --real=yes\n"},
        FailureRow{"MissingValue", {Letter, "-o"}, 2, "compose: option requires a value: -o\n"},
        FailureRow{"MissingValueInACluster", {Letter, "-ro"}, 2, "compose: option requires a value: -o\n"},
        FailureRow{"MissingLongValue", {Letter, "--output"}, 2, "compose: option requires a value: --output\n"},
        FailureRow{"BadSize", {Letter, "-o", "{dir}/out.bmp", "--size", "0"}, 2, "--size"},
        FailureRow{"BadSeed", {Letter, "-o", "{dir}/out.bmp", "--seed", "-1"}, 2, "--seed"},
        FailureRow{"BadEncoding", {Letter, "-o", "{dir}/out.bmp", "--encoding", "latin1"}, 2, "invalid encoding"},
        FailureRow{"BadFormat", {Letter, "-o", "{dir}/out.bmp", "--format", "gif"}, 2, "invalid format"},
        FailureRow{"ListedFaceNotInstalled", {Letter, "-o", "{dir}/out.bmp", "--faces", "IPAGothic,Nowhere Sans"}, 1,
                   "morvaleth-compose: ﾌｫﾝﾄ 'Nowhere Sans' はｲﾝｽﾄｰﾙされていません\n"},
        FailureRow{"NoFaceListed", {Letter, "-o", "{dir}/out.bmp", "--faces", " , "}, 2, "no face name in --faces"},
        FailureRow{"MixAndList", {Letter, "-o", "{dir}/out.bmp", "--mix-faces", "--faces", "IPAGothic"}, 2,
                   "exclude each other"},
        FailureRow{"BoldWithoutMix", {Letter, "-o", "{dir}/out.bmp", "--bold-cuts"}, 2, "--bold-cuts needs"},
        FailureRow{"NoThreads", {Letter, "-o", "{dir}/out.bmp", "--threads", "0"}, 2, "--threads"},
        FailureRow{"UnknownPaper", {Letter, "-o", "{dir}/out.bmp", "--paper", "A6"}, 2,
                   "morvaleth-compose: 用紙 'A6' はありません (A4, A5, A3, B4, B5, postcard, letter, legal)\n"},
        FailureRow{"NoResolution", {Letter, "-o", "{dir}/out.bmp", "--dpi", "0"}, 2,
                   "morvaleth-compose: 解像度 '0' は使えません (10 から 9600 dpi まで)\n"},
        FailureRow{"NegativeResolution", {Letter, "-o", "{dir}/out.bmp", "--dpi", "-300"}, 2, "解像度 '-300' は使えません"},
        FailureRow{"AbsurdResolution", {Letter, "-o", "{dir}/out.bmp", "--paper", "A4", "--dpi", "100000"}, 2,
                   "解像度 '100000' は使えません"},
        FailureRow{"PaperAndWidth", {Letter, "-o", "{dir}/out.bmp", "--paper", "A4", "-W", "100"}, 2,
                   "--paper and --width or --height exclude each other"},
        FailureRow{"LandscapeWithoutPaper", {Letter, "-o", "{dir}/out.bmp", "--landscape"}, 2,
                   "--landscape needs --paper"},
        FailureRow{"UnwritablePdf", {Letter, "-o", "{dir}/gone/out.pdf"}, 1, "を作成できません"}),
    [](const auto& info) { return std::string(info.param.name); });

// A 64-bit FNV-1a digest of a file's bytes, with its size.
std::string Digest(const std::string& bytes)
{
    std::uint64_t hash = 14695981039346656037u;
    for (char byte : bytes)
        hash = (hash ^ std::uint8_t(byte)) * 1099511628211u;
    return std::to_string(bytes.size()) + ":" + std::to_string(hash);
}

struct EarlierRun {
    std::vector<std::string> arguments;
    std::uint64_t size;
    std::uint64_t digest;
};

TEST(ComposeProgram, DefaultRunsGiveTheirEarlierPicturesByteForByte)
{
    const std::string examples = std::string(MORVALETH_SOURCE_DIR) + "/examples/";
    // Recorded from the program before columns and mixed faces came in.
    const EarlierRun runs[] = {
        {{examples + "letter-sjis.txt", "--seed", "1"}, 921654, 0x30a3ab58209db0b1},
        {{examples + "letter-utf8.txt", "--real", "--seed", "42", "-s", "24", "-W", "300", "-H", "200"}, 180054,
         0x9a9b4c04bccf94be},
        {{examples + "letter-ascii.txt", "--real", "--seed", "7", "-s", "9", "-W", "97"}, 140214, 0xc993e5dbb2730014},
    };
    for (const EarlierRun& run : runs) {
        TempDir folder;
        std::vector<std::string> arguments = run.arguments;
        arguments.insert(arguments.end(), {"-o", folder / "out.bmp"});
        ASSERT_EQ(Compose(arguments).exitCode, 0);
        EXPECT_EQ(Digest(ReadFile(folder / "out.bmp")), std::to_string(run.size) + ":" + std::to_string(run.digest))
            << run.arguments[0];
    }
}

TEST(ComposeProgram, ColumnsAndMixedFacesAreFixedByTheSeedAndChangeThePicture)
{
    TempDir folder;
    const auto compose = [&](const std::string& name, std::vector<std::string> options) {
        std::vector<std::string> arguments{Letter, "-o", folder / name, "--seed", "9", "--real"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const auto result = Compose(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        return ReadFile(folder / name);
    };
    const std::string plain = compose("plain.bmp", {});
    const std::string columns = compose("columns.bmp", {"--vertical"});
    const std::string mixed = compose("mixed.bmp", {"--mix-faces", "--bold-cuts"});
    const std::string listed = compose("listed.bmp", {"--faces", "IPAMincho,IPAPGothic", "--vertical"});
    EXPECT_EQ(compose("again.bmp", {"--faces", "IPAMincho,IPAPGothic", "--vertical"}), listed);
    for (const std::string* other : {&columns, &mixed, &listed}) {
        EXPECT_EQ(other->size(), plain.size());
        EXPECT_NE(*other, plain);
    }
    EXPECT_NE(listed, columns);
}

// A text on the command line is composed as a file holding its bytes: as
// UTF-8 unless --encoding says otherwise, its lines ending where the shell put
// line ends.
TEST(ComposeProgram, ATextGivenIsComposedAsAFileOfItsBytes)
{
    TempDir folder;
    const std::string letter = "拝啓\n秋も深まり、\r\n\nＡＢＣ abc 123\n敬具";
    // "拝啓" in Shift-JIS, which auto-detection would take for Shift-JIS too.
    const std::string shiftJis = "\x94\x71\x8C\x5B";
    struct {
        std::string text;
        std::vector<std::string> options;
    } const rows[] = {{"", {}}, {letter, {"--real"}}, {shiftJis, {"--encoding", "shift_jis"}}};
    for (const auto& row : rows) {
        WriteFile(folder / "letter.txt", row.text);
        std::vector<std::string> common{"--seed", "11", "-W", "300", "-H", "200"};
        common.insert(common.end(), row.options.begin(), row.options.end());
        std::vector<std::string> fromFile{folder / "letter.txt", "-o", folder / "file.bmp"};
        std::vector<std::string> fromText{"--text", row.text, "-o", folder / "text.bmp"};
        fromFile.insert(fromFile.end(), common.begin(), common.end());
        fromText.insert(fromText.end(), common.begin(), common.end());
        ASSERT_EQ(Compose(fromFile).exitCode, 0);
        const auto result = Compose(fromText);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(ReadFile(folder / "text.bmp") == ReadFile(folder / "file.bmp")) << row.text;
    }
    // Without --encoding the text is UTF-8: the Shift-JIS bytes are not read
    // as they are from the file.
    ASSERT_EQ(Compose({"--text", shiftJis, "-o", folder / "text.bmp", "--seed", "11", "-W", "300", "-H", "200"})
                  .exitCode,
              0);
    EXPECT_FALSE(ReadFile(folder / "text.bmp") == ReadFile(folder / "file.bmp"));
    EXPECT_EQ(Compose({"--show-encoding", "--text", "abc"}).out, "--text: utf-8\n");
}

// One table names the encodings and their other names for the driver, its
// help and its manual page.
TEST(ComposeProgram, EveryEncodingNameIsListedAndTaken)
{
    const std::string help = Compose({"--help"}).out;
    const std::string page = ReadFile(MORVALETH_BINARY_DIR "/../cli/morvaleth-compose.1");
    ASSERT_FALSE(page.empty());
    TempDir folder;
    WriteFile(folder / "text.txt", "Dear friend,\n");
    for (const morvaleth::EncodingEntry& entry : morvaleth::Encodings()) {
        EXPECT_NE(page.find(".B " + std::string(entry.name) + "\n"), std::string::npos) << entry.name;
        std::vector<std::string_view> names{entry.name};
        names.insert(names.end(), entry.aliases.begin(), entry.aliases.end());
        for (const std::string_view name : names) {
            EXPECT_THAT(help, HasSubstr(std::string(name))) << "in --help";
            if (name != entry.name) {
                EXPECT_THAT(page, HasSubstr("\\fB" + std::string(name) + "\\fR")) << "in the manual";
            }
            const auto shown = Compose({"--show-encoding", folder / "text.txt", "-e", std::string(name)});
            const std::string expected = entry.encoding == morvaleth::SourceEncoding::Automatic ? "ascii (reads the same in every encoding)"
                                         : entry.encoding == morvaleth::SourceEncoding::Utf16 ? "utf-16le"
                                                                                              : std::string(entry.name);
            EXPECT_EQ(shown.out, (folder / "text.txt") + ": " + expected + "\n") << name;
        }
    }
}

// The vector formats by their names' endings or by --format, to a file or
// down a pipe: whole files, each the same for the same seed.
TEST(ComposeProgram, WritesPdfAndSvgForTheirNames)
{
    TempDir folder;
    const auto compose = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"--seed", "3", "--real"});
        const auto result = Compose(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        return result;
    };
    compose({Letter, "-o", folder / "letter.pdf"});
    compose({Letter, "-o", folder / "letter.svg"});
    compose({Letter, "-o", folder / "letter.SVGZ"});
    compose({Letter, "-o", folder / "named.bmp", "--format", "pdf"});
    const std::string pdf = ReadFile(folder / "letter.pdf");
    EXPECT_THAT(pdf, StartsWith("%PDF-1.7\n"));
    EXPECT_THAT(pdf, ::testing::EndsWith("%%EOF\n"));
    EXPECT_EQ(ReadFile(folder / "named.bmp"), pdf);
    EXPECT_THAT(ReadFile(folder / "letter.svg"), StartsWith("<?xml"));
    EXPECT_THAT(ReadFile(folder / "letter.SVGZ"), StartsWith("\x1f\x8b"));
    // A PDF is only ever appended to: a pipe takes it as a file does.
    const auto piped = RunProgram("morvaleth-compose", {"-", "-o", "-", "--format", "pdf", "--seed", "3", "--real"},
                                  Letter, {.output = testing::StreamKind::Pipe});
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_TRUE(piped.out == pdf);
}

// With a resolution the size is in points: 20 points at 300 dpi draw the
// picture that size 83 draws, which the file says is at 300 dpi. On paper
// the picture takes the sheet's pixels.
TEST(ComposeProgram, ReadsTheSizeInPointsOnPaper)
{
    TempDir folder;
    ASSERT_EQ(Compose({Letter, "-o", folder / "points.bmp", "--seed", "5", "--dpi", "300"}).exitCode, 0);
    ASSERT_EQ(Compose({Letter, "-o", folder / "pixels.bmp", "--seed", "5", "-s", "83"}).exitCode, 0);
    std::string points = ReadFile(folder / "points.bmp");
    const std::string pixels = ReadFile(folder / "pixels.bmp");
    ASSERT_EQ(points.size(), pixels.size());
    EXPECT_EQ(points.substr(38, 8), std::string("\x23\x2e\0\0\x23\x2e\0\0", 8)); // 11811 pixels per metre
    points.replace(38, 8, pixels.substr(38, 8));
    EXPECT_TRUE(points == pixels);

    ASSERT_EQ(Compose({Letter, "-o", folder / "a5.png", "--seed", "5", "--paper", "a5", "--landscape", "--dpi", "150"})
                  .exitCode,
              0);
    const std::string png = ReadFile(folder / "a5.png");
    // IHDR's width and height, then the pHYs chunk: 5906 pixels per metre.
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x04\xd8\0\0\x03\x6a", 8)); // 1240 × 874
    EXPECT_THAT(png, HasSubstr(std::string("pHYs\0\0\x17\x12\0\0\x17\x12\x01", 13)));
}

TEST(ComposeProgram, HelpAndVersion)
{
    const auto help = Compose({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, StartsWith("Usage: morvaleth-compose"));
    for (const char* option : {"--vertical", "--mix-faces", "--faces", "--bold-cuts", "--text TEXT", "--paper", "--landscape", "--dpi",
                               "bmp, png, pdf, svg or svgz", "postcard, letter, legal"})
        EXPECT_THAT(help.out, HasSubstr(option));
    // Every line fits a terminal of 80 columns (counted in characters).
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; }), 79) << line;
    EXPECT_EQ(Compose({"-h"}).out, help.out);
    const auto version = Compose({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_THAT(version.out, StartsWith("morvaleth-compose 1."));
    // -v is the version, as for the window program; --verbose has no letter.
    const auto shortVersion = Compose({"-v", Letter, "-o", "/dev/null"});
    EXPECT_EQ(shortVersion.exitCode, 0);
    EXPECT_EQ(shortVersion.out, version.out);
    EXPECT_THAT(help.out, HasSubstr("  -v, --version"));
    EXPECT_THAT(help.out, HasSubstr("      --verbose"));
}

} // namespace
} // namespace morvaleth
