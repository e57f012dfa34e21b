#include "support/TestSupport.h"

#include "composer/Messages.h"
#include "composer/text/SourceReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include <fcntl.h>

namespace morvaleth {
namespace {

using testing::TempDir;
using testing::WriteFile;
using ::testing::ElementsAreArray;

const std::u32string EOL = U"<EOL>";

// The tokens a reader gives: each unit's code points, and EOL for a line end.
std::vector<std::u32string> Tokens(SourceReader& reader, SourceEncoding* decided = nullptr)
{
    std::vector<std::u32string> tokens;
    std::u32string_view unit;
    for (;;) {
        const SourceReader::Token token = reader.Next(unit);
        if (token == SourceReader::Token::TextEnd)
            break;
        tokens.push_back(token == SourceReader::Token::Unit ? std::u32string(unit) : EOL);
    }
    // Asking again after the end keeps giving the end.
    EXPECT_EQ(reader.Next(unit), SourceReader::Token::TextEnd);
    if (decided)
        *decided = reader.Encoding();
    reader.Close();
    return tokens;
}

// The tokens of a file holding the bytes; the same bytes held in memory must
// give the same tokens and the same encoding.
std::vector<std::u32string> TokensOf(const std::string& bytes, SourceEncoding encoding,
                                     SourceEncoding* decided = nullptr)
{
    TempDir folder;
    WriteFile(folder / "source.txt", bytes);
    SourceReader fromFile(folder / "source.txt", encoding);
    SourceEncoding fileDecided{};
    const std::vector<std::u32string> tokens = Tokens(fromFile, &fileDecided);
    SourceReader fromMemory(TextInMemory{bytes}, encoding);
    SourceEncoding memoryDecided{};
    EXPECT_EQ(Tokens(fromMemory, &memoryDecided), tokens) << "the bytes held in memory";
    EXPECT_EQ(EncodingName(memoryDecided), EncodingName(fileDecided)) << "the bytes held in memory";
    if (decided)
        *decided = fileDecided;
    return tokens;
}

std::string Repeated(std::string_view piece, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

struct TokenCase {
    const char* name;
    std::string bytes;
    SourceEncoding encoding;
    std::vector<std::u32string> tokens;

    friend void PrintTo(const TokenCase& x, std::ostream* out) { *out << x.name; }
};

class TokenTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenTest, CutsTheTextIntoUnitsAndLines)
{
    EXPECT_THAT(TokensOf(GetParam().bytes, GetParam().encoding), ElementsAreArray(GetParam().tokens));
}

const auto Auto = SourceEncoding::Automatic;
const auto SJ = SourceEncoding::ShiftJis;
const auto U8 = SourceEncoding::Utf8;
const auto U16 = SourceEncoding::Utf16;
const auto U16LE = SourceEncoding::Utf16Le;
const auto U16BE = SourceEncoding::Utf16Be;
const auto EUC = SourceEncoding::EucJp;
const auto JIS = SourceEncoding::Iso2022Jp;
const std::u32string Bad = U"\uFFFD";

INSTANTIATE_TEST_SUITE_P(
    LinesAndUnits, TokenTest,
    ::testing::Values(
        TokenCase{"Empty", "", SJ, {}},
        TokenCase{"LastLineWithoutLineEnd", "ab", SJ, {U"a", U"b", EOL}},
        TokenCase{"CrLf", "ab\r\n", SJ, {U"a", U"b", EOL}},
        TokenCase{"LoneCr", "a\rb\r", SJ, {U"a", EOL, U"b", EOL}},
        TokenCase{"EmptyLines", "a\r\n\r\n\rb", SJ, {U"a", EOL, EOL, EOL, U"b", EOL}},
        TokenCase{"OnlyALineEnd", "\r\n", SJ, {EOL}},
        TokenCase{"LoneLf", "a\nb\r\n", SJ, {U"a", EOL, U"b", EOL}},
        TokenCase{"LfOnlyFile", "a\nb\n", SJ, {U"a", EOL, U"b", EOL}},
        TokenCase{"LfCrIsTwoLineEnds", "a\n\rb", SJ, {U"a", EOL, EOL, U"b", EOL}},
        TokenCase{"LfLfIsAnEmptyLine", "a\n\nb", U8, {U"a", EOL, EOL, U"b", EOL}},
        TokenCase{"CtrlZEndsTheText", "ab\x1A" "cd\r\nef", SJ, {U"a", U"b", EOL}},
        TokenCase{"CtrlZFirst", "\x1A" "abc", SJ, {}},
        TokenCase{"CtrlZAfterALineEnd", "a\r\n\x1A\r\n", SJ, {U"a", EOL}},
        TokenCase{"CrThenCtrlZ", "a\r\x1A", SJ, {U"a", EOL}},
        // Control characters are units of their own (drawn as blanks).
        TokenCase{"Controls", std::string("\t\0\x7F\x1B", 4), SJ, {U"\t", std::u32string(1, U'\0'), U"\x7F", U"\x1B", EOL}},
        // Shift-JIS: a lead byte keeps its trail, converting or not.
        TokenCase{"DoubleByteUnits", "\x82\xA0\x82\xA2\x61", SJ, {U"あ", U"い", U"a", EOL}},
        TokenCase{"Cp932Extension", "\x87\x40\x81\x60", SJ, {U"①", U"\uFF5E", EOL}},
        TokenCase{"UnassignedPairIsOneUnit", "\x85\x40" "a", SJ, {Bad, U"a", EOL}},
        TokenCase{"LeadByteAndSpace", "\x82 a", SJ, {Bad, U"a", EOL}},
        TokenCase{"LoneLeadByteAtTheEnd", "a\x82", SJ, {U"a", Bad, EOL}},
        TokenCase{"LoneLeadByteAtALineEnd", "\x82\r\nb", SJ, {Bad, EOL, U"b", EOL}},
        TokenCase{"LeadByteBeforeAnLf", "\x82\nb", SJ, {Bad, EOL, U"b", EOL}},
        TokenCase{"LeadByteBeforeCtrlZ", "\x82\x1A", SJ, {Bad, EOL}},
        TokenCase{"HalfWidthKatakana", "\xB1\xDF", SJ, {U"\uFF71", U"\uFF9F", EOL}},
        TokenCase{"UndefinedSingleBytes", "\x80\xA0\xFD\xFF", SJ, {Bad, Bad, Bad, Bad, EOL}},
        TokenCase{"ShiftJisByteOrderMark", "\xEF\xBB\xBF", SJ, {Bad, U"\uFF7F", EOL}},
        // UTF-8: clusters in NFC, a damaged byte one replacement each.
        TokenCase{"Utf8CodePoints", "あa漢\xF0\x9F\x98\x80", U8, {U"あ", U"a", U"漢", U"\U0001F600", EOL}},
        TokenCase{"Utf8ByteOrderMark", "\xEF\xBB\xBF" "a\r\n", U8, {U"a", EOL}},
        TokenCase{"Utf8InvalidByte", "\xFF" "a", U8, {Bad, U"a", EOL}},
        TokenCase{"Utf8Truncated", "\xE3\x81", U8, {Bad, Bad, EOL}},
        TokenCase{"Utf8CutByALineEnd", "\xE3\r\n", U8, {Bad, EOL}},
        TokenCase{"Utf8Overlong", "\xC0\xAF", U8, {Bad, Bad, EOL}},
        TokenCase{"DecomposedKanaComposes", "\xE3\x81\x8B\xE3\x82\x99", U8, {U"が", EOL}},
        TokenCase{"DecomposedLatinComposes", "e\xCC\x81!", U8, {U"é", U"!", EOL}},
        TokenCase{"MarksWithoutAComposite", "q\xCC\x83\xCC\x81", U8, {U"q\u0303\u0301", EOL}},
        TokenCase{"MarksAreReordered", "a\xCC\x81\xCC\xA3", U8, {U"\u1EA1\u0301", EOL}},
        TokenCase{"SingletonDecomposition", "\xE2\x84\xA6", U8, {U"\u03A9", EOL}},
        TokenCase{"EmojiWithModifierAndJoiner", "\xF0\x9F\x91\xA9\xF0\x9F\x8F\xBD\xE2\x80\x8D\xF0\x9F\x92\xBB" "a", U8,
                  {U"\U0001F469\U0001F3FD\u200D\U0001F4BB", U"a", EOL}},
        TokenCase{"FlagPairs", "\xF0\x9F\x87\xAF\xF0\x9F\x87\xB5\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", U8,
                  {U"\U0001F1EF\U0001F1F5", U"\U0001F1EB\U0001F1F7", EOL}},
        TokenCase{"AMarkAfterALineEndStandsAlone", "a\n\xCC\x81", U8, {U"a", EOL, U"\u0301", EOL}},
        TokenCase{"AMarkAfterATab", "\t\xCC\x81", U8, {U"\t", U"\u0301", EOL}},
        TokenCase{"CrLfIsNoCluster", "a\r\n\r\n", U8, {U"a", EOL, EOL}},
        // A cluster keeps its first 32 code points (31 after NFC) and drops
        // the rest, however many: one cell, not one for every 32 marks.
        TokenCase{"EndlessMarksAreCut", "a" + Repeated("\xCC\x81", 40) + "b", U8,
                  {U"á" + std::u32string(30, U'\u0301'), U"b", EOL}},
        TokenCase{"TensOfThousandsOfMarksAreOneUnit", "a" + Repeated("\xCC\x81", 30000) + "\r\nb", U8,
                  {U"á" + std::u32string(30, U'\u0301'), EOL, U"b", EOL}},
        // UTF-16: the byte order from the mark, line ends and 0x1A as characters.
        TokenCase{"Utf16LittleEndian", std::string("\xFF\xFE" "B0\r\0\n\0a\0", 10), Auto, {U"あ", EOL, U"a", EOL}},
        TokenCase{"Utf16BigEndian", std::string("\xFE\xFF" "0B\0\n\0\x1A\0a", 10), Auto, {U"あ", EOL}},
        TokenCase{"Utf16WithoutAMark", std::string("B0a\0", 4), U16, {U"あ", U"a", EOL}},
        TokenCase{"Utf16NamedOrder", std::string("0B", 2), U16BE, {U"あ", EOL}},
        TokenCase{"Utf16OddLength", std::string("\xFF\xFE" "a\0b", 5), Auto, {U"a", Bad, EOL}},
        TokenCase{"Utf16LoneSurrogate", std::string("\x00\xD8" "a\0", 4), U16LE, {Bad, U"a", EOL}},
        TokenCase{"Utf16Decomposed", std::string("\xFF\xFE" "K0\x99\x30", 6), Auto, {U"が", EOL}},
        // UTF-16 without a mark, told by its zero bytes.
        TokenCase{"Utf16LeByItsZeros", std::string("a\0\r\0\n\0B0", 8), Auto, {U"a", EOL, U"あ", EOL}},
        TokenCase{"Utf16BeByItsZeros", std::string("\0a\0\r\0\n0B", 8), Auto, {U"a", EOL, U"あ", EOL}},
        // Compatibility ideographs keep their form; the rest of the cluster
        // is in NFC.
        TokenCase{"CompatibilityIdeographs", "\xEF\xA8\x90\xEF\xA8\x99\xF0\xAF\xA0\x80", U8,
                  {U"\uFA10", U"\uFA19", U"\U0002F800", EOL}},
        TokenCase{"CompatibilityIdeographWithMarks", "\xEF\xA8\x90\xCC\xA3\xCC\x81" "e\xCC\x81", U8,
                  {U"\uFA10\u0323\u0301", U"é", EOL}},
        // EUC-JP and ISO-2022-JP.
        TokenCase{"EucJp", "\xB4\xC1\xA4\xA2\x8E\xB1" "a\n", EUC, {U"漢", U"あ", U"\uFF71", U"a", EOL}},
        TokenCase{"EucJpUndefinedPair", "\xA9\xA1" "a", EUC, {Bad, U"a", EOL}},
        // What plain EUC-JP lacks: NEC's row 13 and the IBM kanji in rows 89
        // to 92 as CP51932 has them, the IBM kanji behind 0x8F and the
        // user-defined rows as eucJP-ms has them; what it has stays as it
        // reads it (～ is U+301C, not CP932's U+FF5E).
        TokenCase{"EucJpNecRow13", "\xAD\xA1\xAD\xEA\xAD\xE2", EUC, {U"①", U"㈱", U"№", EOL}},
        TokenCase{"EucJpIbmKanjiOfWindows", "\xF9\xA1\xFC\xEE", EUC, {U"纊", U"黑", EOL}},
        TokenCase{"EucJpIbmKanjiBehind8F", "\x8F\xF3\xF3\x8F\xF4\xA1", EUC, {U"ⅰ", U"Ⅲ", EOL}},
        TokenCase{"EucJpUserDefinedRows", "\xF5\xA1\x8F\xF5\xA1", EUC, {U"\uE000", U"\uE3AC", EOL}},
        TokenCase{"EucJpKeepsItsOwnReadings", "\xA1\xC1\xA1\xDD", EUC, {U"\u301C", U"\u2212", EOL}},
        TokenCase{"Iso2022Jp", "a\x1B$B4A$\"\x1B(B\r\nb", JIS, {U"a", U"漢", U"あ", EOL, U"b", EOL}},
        TokenCase{"Iso2022JpDetected", "Dear\x1B$B$\"\x1B(B\n", Auto, {U"D", U"e", U"a", U"r", U"あ", EOL}},
        TokenCase{"LoneEscapeIsAControl", "a\x1B" "b", Auto, {U"a", U"\x1B", U"b", EOL}},
        TokenCase{"EscapeDollarNulIsNoDesignation", std::string("\x1B$\0", 3), Auto,
                  {U"\x1B", U"$", std::u32string(1, U'\0'), EOL}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceReader, LinesLongerThanTheBufferKeepTheirLineEnds)
{
    // A CR LF pair and a double-byte character across every buffer boundary.
    std::string text;
    std::vector<std::u32string> expected;
    for (int line = 0; line < 5; ++line) {
        const int length = 65535 + line * 7919;
        text += std::string(length, 'a') + "\x82\xA0" + "\r\n";
        for (int i = 0; i < length; ++i)
            expected.push_back(U"a");
        expected.push_back(U"あ");
        expected.push_back(EOL);
    }
    EXPECT_EQ(TokensOf(text, SJ), expected);
}

struct DetectionCase {
    const char* name;
    std::string bytes;
    SourceEncoding detected;

    friend void PrintTo(const DetectionCase& x, std::ostream* out) { *out << x.name; }
};

class DetectionTest : public ::testing::TestWithParam<DetectionCase> {};

TEST_P(DetectionTest, DecidesOnTheEvidence)
{
    SourceEncoding decided{};
    TokensOf(GetParam().bytes, Auto, &decided);
    EXPECT_EQ(EncodingName(decided), EncodingName(GetParam().detected));
}

const std::string Window(64 * 1024, 'a');
// Japanese prose, long enough to carry a stray byte.
const std::string Prose = "拝啓、お元気ですか。先日は大変お世話になりました。";

// `sequences` three-byte UTF-8 characters, then `invalid` bytes no UTF-8 has.
std::string Utf8Evidence(int sequences, int invalid)
{
    std::string bytes;
    for (int i = 0; i < sequences; ++i)
        bytes += "拝";
    return bytes + std::string(std::size_t(invalid), '\xFF');
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DetectionTest,
    ::testing::Values(DetectionCase{"Ascii", "Dear friend,\r\n", Auto},
                      DetectionCase{"Empty", "", Auto},
                      DetectionCase{"Japanese", "拝啓\r\n", U8},
                      DetectionCase{"ShiftJis", "\x94\x71\x8C\x5B\r\n", SJ},
                      DetectionCase{"ShiftJisKana", "\x82\xA0\x82\xA2", SJ},
                      DetectionCase{"HalfWidthKatakana", "\xB1\xB2\xB3", SJ},
                      DetectionCase{"EucJpKana", "\xA4\xA2\xA4\xA4\xA4\xA6", EUC},
                      DetectionCase{"EucJpKanji", "\xB4\xC1\xBB\xFA\r\n", EUC},
                      DetectionCase{"Utf8ByteOrderMark", "\xEF\xBB\xBF" "abc", U8},
                      DetectionCase{"Utf16Marks", std::string("\xFF\xFE" "a\0", 4), U16LE},
                      DetectionCase{"Iso2022Jp", "Dear\x1B$B$\"\x1B(B", JIS},
                      DetectionCase{"EscapeAfterAHighByte", "\x82\xA0\x1B$B", SJ},
                      DetectionCase{"OneStrayByteInProse", Prose + "\xFF" + Prose, U8},
                      DetectionCase{"Windows1252QuoteInProse", "It\x92s " + Prose, U8},
                      DetectionCase{"TooDamagedForUtf8", "拝啓\xFF\xFE", SJ},
                      DetectionCase{"TruncatedAtTheEnd", "拝\xE5\x95", SJ},
                      DetectionCase{"InvalidAfterCtrlZ", "拝啓\x1A\xFF\xFF\xFF", U8},
                      DetectionCase{"MultiByteOnlyAfterCtrlZ", "abc\x1A拝啓", Auto},
                      DetectionCase{"LateJapanese", Window + Window + "拝啓", U8},
                      DetectionCase{"LateShiftJis", Window + "\x94\x71\x8C\x5B", SJ},
                      DetectionCase{"InvalidBeyondTheWindow", "拝" + Window + "\xFF\xFF\xFF", U8},
                      DetectionCase{"CutByTheWindow", "拝" + std::string(64 * 1024 - 4, 'a') + "啓", U8},
                      // UTF-8 takes four multi-byte sequences to each invalid byte.
                      DetectionCase{"Utf8AtExactlyFourToOne", Utf8Evidence(4, 1), U8},
                      DetectionCase{"Utf8AtEightToTwo", Utf8Evidence(8, 2), U8},
                      DetectionCase{"Utf8AtFiveToOne", Utf8Evidence(5, 1), U8},
                      DetectionCase{"Utf8AtThreeToOne", Utf8Evidence(3, 1), SJ},
                      DetectionCase{"Utf8AtSevenToTwo", Utf8Evidence(7, 2), SJ},
                      // EUC-JP against Shift-JIS: fewer sequences that do not
                      // convert (E0 FD: one kanji against a pair that does
                      // not convert), then the reading that looks more like
                      // Japanese (81 40: a full-width space against two
                      // controls), then Shift-JIS. HalfWidthKatakana and
                      // EucJpKana above are the first two rules deciding the
                      // other way.
                      DetectionCase{"FewerUnconvertedFirst", "\xE0\xFD", EUC},
                      DetectionCase{"MoreLikeJapaneseOnAnEqualCount", "\x81\x40", SJ},
                      DetectionCase{"ShiftJisWhenBothTie", "\xE0\xA1\xE0\xA1", SJ},
                      // A letter in EUC-JP with NEC's special characters.
                      DetectionCase{"EucJpWithNecSpecials",
                                    "\xC7\xD2\xB7\xBC\xA1\xA1\xAD\xA1\xA4\xAA\xB8\xB5\xB5\xA4\xA4\xC7\xA4\xB9"
                                    "\xA4\xAB\xA1\xA3\xAD\xEA\xBB\xB3\xC5\xC4\r\n",
                                    EUC},
                      DetectionCase{"EucJpNecSpecialAlone", "\xAD\xA1\xA4\xA2", EUC},
                      // Half-width katakana lines of an even length: ｶｰﾄﾞ,
                      // ﾃﾞｰﾀ ﾒﾓ. The same bytes in EUC-JP would be kanji.
                      DetectionCase{"ShiftJisEvenKanaLine", "\xB6\xB0\xC4\xDE\r\n", SJ},
                      DetectionCase{"ShiftJisEvenKanaWords", "\xC3\xDE\xB0\xC0 \xD2\xD3\r\n", SJ},
                      // Kanji alone in EUC-JP stay EUC-JP: 山田.
                      DetectionCase{"EucJpShortName", "\xBB\xB3\xC5\xC4\r\n", EUC},
                      // UTF-16 without a mark: ASCII, Japanese with its line
                      // ends and ideographic spaces, either byte order.
                      DetectionCase{"Utf16LeAscii", std::string("D\0e\0a\0r\0", 8), U16LE},
                      DetectionCase{"Utf16BeAscii", std::string("\0D\0e\0a\0r", 8), U16BE},
                      DetectionCase{"Utf16LeJapanese",
                                    std::string("\x00\x30\x53\x30\x93\x30\r\0\n\0\x00\x30\x00\x4E\r\0\n\0", 18),
                                    U16LE},
                      DetectionCase{"Utf16BeJapanese",
                                    std::string("\x30\x00\x30\x53\x30\x93\0\r\0\n\x30\x00\x4E\x00\0\r\0\n", 18),
                                    U16BE},
                      DetectionCase{"OddLengthIsNoUtf16", std::string("a\0b", 3), Auto},
                      DetectionCase{"AStrayZeroIsNoUtf16", "拝啓" + std::string(600, 'a') + std::string(1, '\0') + "b", U8}),
    [](const auto& info) { return std::string(info.param.name); });

// A 0x1A ends the text even when the detection window reaches far past it:
// what follows is neither read as text nor taken as evidence, and a sequence
// cut off by it counts against UTF-8 as one at the end of the file would.
TEST(SourceReader, CtrlZEarlyInALongTextEndsTheTextAndTheEvidence)
{
    std::string utf8After;
    while (utf8After.size() < 80 * 1024)
        utf8After += "拝啓";
    for (const auto& [before, decided] : {std::pair{std::string("拝\xE5\x95"), SJ}, {std::string("abc"), Auto}}) {
        SCOPED_TRACE(before);
        SourceEncoding detected{};
        const auto tokens = TokensOf(before + "\x1A" + utf8After, Auto, &detected);
        EXPECT_EQ(EncodingName(detected), EncodingName(decided));
        EXPECT_EQ(tokens, TokensOf(before, decided));
    }
}

TEST(SourceReader, EncodingNames)
{
    for (SourceEncoding encoding : {Auto, SJ, U8, U16, U16LE, U16BE, EUC, JIS})
        EXPECT_EQ(EncodingNamed(EncodingName(encoding)), encoding);
    EXPECT_EQ(EncodingNames(), "auto, shift_jis, utf-8, utf-16, utf-16le, utf-16be, euc-jp, iso-2022-jp");
    // No name, however spelt, stands for two encodings.
    for (const EncodingEntry& entry : Encodings()) {
        EXPECT_EQ(EncodingNamed(entry.name), entry.encoding);
        for (const std::string_view alias : entry.aliases)
            EXPECT_EQ(EncodingNamed(alias), entry.encoding) << alias;
    }
}

struct AliasCase {
    const char* name;
    std::optional<SourceEncoding> encoding;
};

class AliasTest : public ::testing::TestWithParam<AliasCase> {};

TEST_P(AliasTest, NamesItsEncodingWhateverItsCaseAndPunctuation)
{
    EXPECT_EQ(EncodingNamed(GetParam().name), GetParam().encoding);
}

INSTANTIATE_TEST_SUITE_P(
    Names, AliasTest,
    ::testing::Values(AliasCase{"shift-jis", SJ}, AliasCase{"SHIFTJIS", SJ}, AliasCase{"Windows-31J", SJ},
                      AliasCase{"MS932", SJ}, AliasCase{"EUC_JP", EUC}, AliasCase{"ujis", EUC},
                      AliasCase{"CP51932", EUC}, AliasCase{"UTF 8", U8}, AliasCase{"utf16", U16},
                      AliasCase{"UCS-2", U16}, AliasCase{"utf16le", U16LE}, AliasCase{"unicodeFFFE", U16BE},
                      AliasCase{"ISO2022JP", JIS}, AliasCase{"Auto", Auto},
                      // Names of other encodings, and what is no name at all.
                      AliasCase{"latin1", std::nullopt}, AliasCase{"utf-32", std::nullopt},
                      AliasCase{"shift", std::nullopt}, AliasCase{"utf-16lee", std::nullopt},
                      AliasCase{"--", std::nullopt}, AliasCase{"ｓｊｉｓ", std::nullopt}),
    [](const auto& info) { return "Row" + std::to_string(info.index); });

// ---- Open errors ----------------------------------------------------------

std::string OpenError(const std::string& path)
{
    try {
        SourceReader reader(path, SourceEncoding::Automatic);
    } catch (const Error& error) {
        return error.what();
    }
    return "(opened)";
}

TEST(SourceReader, OpenErrorsNameTheCondition)
{
    TempDir folder;
    WriteFile(folder / "file.txt", "x");
    EXPECT_EQ(OpenError(folder / "missing.txt"), "ﾌｧｲﾙが見つかりません");
    EXPECT_EQ(OpenError(folder / "no/such/folder.txt"), "不正なﾌｧｲﾙ名です");
    EXPECT_EQ(OpenError(folder / "file.txt/x"), "不正なﾌｧｲﾙ名です");
    EXPECT_EQ(OpenError(folder / std::string(300, 'n')), "不正なﾌｧｲﾙ名です");
    EXPECT_EQ(OpenError(std::string("a\0b", 3)), "不正なﾌｧｲﾙ名です");
    EXPECT_EQ(OpenError(folder.Path().string()), "ﾌｧｲﾙではなくﾌｫﾙﾀﾞです");
    EXPECT_EQ(OpenError("missing-in-the-current-folder.txt"), "ﾌｧｲﾙが見つかりません");
    EXPECT_EQ(OpenError(folder / "file.txt"), "(opened)");
    EXPECT_STREQ(SystemFailure(EIO, "x").what(), "I/O ｴﾗｰ (5)");
}

TEST(SourceReader, PathsLongerThan259BytesOpenTheFileNamed)
{
    TempDir folder;
    std::string path = folder.Path().string();
    while (path.size() < 300) {
        path += "/" + std::string(50, 'd');
        ::mkdir(path.c_str(), 0755);
    }
    path += "/letter.txt";
    WriteFile(path, "a");
    SourceReader reader(path, SJ);
    EXPECT_EQ(Tokens(reader), (std::vector<std::u32string>{U"a", EOL}));
}

TEST(SourceReader, UnreadableFileIsAccessDenied)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root; the program-level table runs this unprivileged";
    TempDir folder;
    WriteFile(folder / "secret.txt", "x");
    ::chmod((folder / "secret.txt").c_str(), 0);
    EXPECT_EQ(OpenError(folder / "secret.txt"), "ﾌｧｲﾙへのｱｸｾｽが拒否されました");
}

// A FIFO is read as a blocking read would read it, the text that comes when
// a writer comes, whenever that is; opening it never waits, and while it has
// nothing the reader hears a cancel.
TEST(SourceReader, AFifoWaitsForItsWriterAndHearsTheCancelMeanwhile)
{
    TempDir folder;
    const std::string fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        std::atomic<bool> cancel{false};
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const int descriptor = ::open(fifo.c_str(), O_WRONLY);
            ASSERT_EQ(::write(descriptor, "ab\r\nc", 5), 5);
            ::close(descriptor);
        });
        SourceReader reader(fifo, SourceEncoding::Automatic, &cancel);
        EXPECT_EQ(Tokens(reader), (std::vector<std::u32string>{U"a", U"b", EOL, U"c", EOL}));
        writer.join();
    }
    for (const bool beforeOpening : {true, false}) {
        std::atomic<bool> cancel{beforeOpening};
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            cancel = true;
        });
        const auto start = std::chrono::steady_clock::now();
        try {
            SourceReader reader(fifo, SourceEncoding::Automatic, &cancel);
            ADD_FAILURE() << "read a FIFO nobody writes";
        } catch (const Error& error) {
            EXPECT_EQ(error.Kind(), ErrorKind::Cancelled);
        }
        canceller.join();
        // Heard within a few of the reader's waits, a busy machine allowing.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
    // A reader stopped while it opened keeps no descriptor of the FIFO: one
    // left open would take a later writer's end from the next reader.
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code unreadable;
        EXPECT_NE(std::filesystem::read_symlink(entry.path(), unreadable), std::filesystem::path(fifo));
    }
}

TEST(SourceReader, KnowsTheLengthOfAFileAndOfATextInMemoryButNotOfADevice)
{
    TempDir folder;
    WriteFile(folder / "text.txt", "0123456789");
    EXPECT_EQ(SourceReader(folder / "text.txt", SourceEncoding::Automatic).KnownLength(), 10u);
    EXPECT_EQ(SourceReader(TextInMemory{"abc"}, SourceEncoding::Automatic).KnownLength(), 3u);
    EXPECT_EQ(SourceReader("/dev/zero", SourceEncoding::Automatic).KnownLength(), std::nullopt);
}

TEST(SourceReader, TooManyOpenFiles)
{
    TempDir folder;
    WriteFile(folder / "file.txt", "x");
    const std::string path = folder / "file.txt";
    // In a child, so that the lowered limit binds nobody else.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int firstFree = ::dup(0);
        ::close(firstFree);
        const rlimit limit{rlim_t(firstFree), rlim_t(firstFree)};
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::_exit(OpenError(path) == "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます" ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
} // namespace morvaleth
