#include "support/TestSupport.h"

#include "composer/Error.h"
#include "composer/FileErrors.h"
#include "composer/SourceReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace morvaleth {
namespace {

using testing::TempDir;
using testing::WriteFile;
using ::testing::ElementsAreArray;

constexpr const char* EOL = "<EOL>";

// The tokens of a text: each unit's bytes, and EOL for a line end.
std::vector<std::string> Tokens(const std::string& path, SourceEncoding encoding)
{
    SourceReader reader(path, encoding);
    std::vector<std::string> tokens;
    std::string_view unit;
    for (;;) {
        const SourceReader::Token token = reader.Next(unit);
        if (token == SourceReader::Token::TextEnd)
            break;
        tokens.push_back(token == SourceReader::Token::Unit ? std::string(unit) : EOL);
    }
    // Asking again after the end keeps giving the end.
    EXPECT_EQ(reader.Next(unit), SourceReader::Token::TextEnd);
    reader.Close();
    return tokens;
}

std::vector<std::string> TokensOf(const std::string& bytes, SourceEncoding encoding)
{
    TempDir folder;
    WriteFile(folder / "source.txt", bytes);
    return Tokens(folder / "source.txt", encoding);
}

struct TokenCase {
    const char* name;
    std::string bytes;
    SourceEncoding encoding;
    std::vector<std::string> tokens;

    friend void PrintTo(const TokenCase& x, std::ostream* out) { *out << x.name; }
};

class TokenTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenTest, CutsTheTextIntoUnitsAndLines)
{
    EXPECT_THAT(TokensOf(GetParam().bytes, GetParam().encoding), ElementsAreArray(GetParam().tokens));
}

const auto SJ = SourceEncoding::ShiftJis;
const auto U8 = SourceEncoding::Utf8;

INSTANTIATE_TEST_SUITE_P(
    Texts, TokenTest,
    ::testing::Values(
        TokenCase{"Empty", "", SJ, {}},
        TokenCase{"LastLineWithoutLineEnd", "ab", SJ, {"a", "b", EOL}},
        TokenCase{"CrLf", "ab\r\n", SJ, {"a", "b", EOL}},
        TokenCase{"LoneCr", "a\rb\r", SJ, {"a", EOL, "b", EOL}},
        TokenCase{"EmptyLines", "a\r\n\r\n\rb", SJ, {"a", EOL, EOL, EOL, "b", EOL}},
        TokenCase{"OnlyALineEnd", "\r\n", SJ, {EOL}},
        TokenCase{"LfStaysInTheLine", "a\nb\r\n", SJ, {"a", "\n", "b", EOL}},
        TokenCase{"LfOnlyFile", "a\nb\n", SJ, {"a", "\n", "b", "\n", EOL}},
        TokenCase{"LfCr", "a\n\rb", SJ, {"a", "\n", EOL, "b", EOL}},
        TokenCase{"CtrlZEndsTheText", "ab\x1A" "cd\r\nef", SJ, {"a", "b", EOL}},
        TokenCase{"CtrlZFirst", "\x1A" "abc", SJ, {}},
        TokenCase{"CtrlZAfterALineEnd", "a\r\n\x1A\r\n", SJ, {"a", EOL}},
        TokenCase{"CrThenCtrlZ", "a\r\x1A", SJ, {"a", EOL}},
        TokenCase{"DoubleByteUnits", "\x82\xA0\x82\xA2\x61", SJ, {"\x82\xA0", "\x82\xA2", "a", EOL}},
        TokenCase{"LoneLeadByteAtTheEnd", "a\x82", SJ, {"a", "\x82", EOL}},
        TokenCase{"LoneLeadByteAtALineEnd", "\x82\r\nb", SJ, {"\x82", EOL, "b", EOL}},
        TokenCase{"LeadByteTakesAnLf", "\x82\n", SJ, {"\x82\n", EOL}},
        TokenCase{"LeadByteBeforeCtrlZ", "\x82\x1A", SJ, {"\x82", EOL}},
        TokenCase{"HalfWidthKatakana", "\xB1\xDF", SJ, {"\xB1", "\xDF", EOL}},
        TokenCase{"HighLeadBytes", "\xE0\x40\xFC\xFC\xFD\xFF", SJ, {"\xE0\x40", "\xFC\xFC", "\xFD", "\xFF", EOL}},
        TokenCase{"Nul", std::string("a\0b", 3), SJ, {"a", std::string(1, '\0'), "b", EOL}},
        TokenCase{"Utf8CodePoints", "あa漢\xF0\x9F\x98\x80", U8, {"あ", "a", "漢", "\xF0\x9F\x98\x80", EOL}},
        TokenCase{"Utf8ByteOrderMark", "\xEF\xBB\xBF" "a\r\n", U8, {"a", EOL}},
        TokenCase{"Utf8InvalidByte", "\xFF" "a", U8, {"\xFF", "a", EOL}},
        TokenCase{"Utf8Truncated", "\xE3\x81", U8, {"\xE3", "\x81", EOL}},
        TokenCase{"Utf8CutByALineEnd", "\xE3\r\n", U8, {"\xE3", EOL}},
        TokenCase{"Utf8Overlong", "\xC0\xAF", U8, {"\xC0", "\xAF", EOL}},
        TokenCase{"ShiftJisByteOrderMark", "\xEF\xBB\xBF", SJ, {"\xEF\xBB", "\xBF", EOL}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceReader, LinesLongerThanTheBufferKeepTheirLineEnds)
{
    // A CR LF pair and a double-byte character across every buffer boundary.
    std::string text;
    std::vector<std::string> expected;
    for (int line = 0; line < 5; ++line) {
        const int length = 65535 + line * 7919;
        text += std::string(length, 'a') + "\x82\xA0" + "\r\n";
        for (int i = 0; i < length; ++i)
            expected.push_back("a");
        expected.push_back("\x82\xA0");
        expected.push_back(EOL);
    }
    EXPECT_EQ(TokensOf(text, SJ), expected);
}

struct DetectionCase {
    const char* name;
    std::string bytes;
    TextEncoding detected;

    friend void PrintTo(const DetectionCase& x, std::ostream* out) { *out << x.name; }
};

class DetectionTest : public ::testing::TestWithParam<DetectionCase> {};

TEST_P(DetectionTest, PicksUtf8OnlyForValidUtf8WithMultiByteCharacters)
{
    TempDir folder;
    WriteFile(folder / "source.txt", GetParam().bytes);
    EXPECT_EQ(SourceReader(folder / "source.txt", SourceEncoding::Automatic).Encoding(), GetParam().detected);
}

const std::string Window(64 * 1024, 'a');

INSTANTIATE_TEST_SUITE_P(
    Texts, DetectionTest,
    ::testing::Values(DetectionCase{"Ascii", "Dear friend,\r\n", TextEncoding::ShiftJis},
                      DetectionCase{"Empty", "", TextEncoding::ShiftJis},
                      DetectionCase{"Japanese", "拝啓\r\n", TextEncoding::Utf8},
                      DetectionCase{"ShiftJis", "\x94\x71\x8C\x5B\r\n", TextEncoding::ShiftJis},
                      DetectionCase{"HalfWidthKatakana", "\xB1\xB2", TextEncoding::ShiftJis},
                      DetectionCase{"ByteOrderMarkOnly", "\xEF\xBB\xBF" "abc", TextEncoding::Utf8},
                      DetectionCase{"OneInvalidByte", "拝啓\xFF", TextEncoding::ShiftJis},
                      DetectionCase{"TruncatedAtTheEnd", "拝\xE5\x95", TextEncoding::ShiftJis},
                      DetectionCase{"InvalidAfterCtrlZ", "拝啓\x1A\xFF", TextEncoding::Utf8},
                      DetectionCase{"MultiByteOnlyAfterCtrlZ", "abc\x1A拝啓", TextEncoding::ShiftJis},
                      DetectionCase{"MultiByteBeyondTheWindow", Window + "拝啓", TextEncoding::ShiftJis},
                      DetectionCase{"InvalidBeyondTheWindow", "拝" + Window + "\xFF", TextEncoding::Utf8},
                      DetectionCase{"CutByTheWindow", "拝" + std::string(64 * 1024 - 4, 'a') + "啓", TextEncoding::Utf8},
                      // The text ends just where the window does: the cut
                      // character is the text's own last, and invalid.
                      DetectionCase{"CutAtTheEndOfAWindowLongText", "拝" + std::string(64 * 1024 - 5, 'a') + "\xE5\x95", TextEncoding::ShiftJis},
                      DetectionCase{"CutJustBeforeCtrlZ", "拝" + std::string(64 * 1024 - 5, 'a') + "\xE5\x95\x1A" "abc", TextEncoding::ShiftJis}),
    [](const auto& info) { return std::string(info.param.name); });

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
    EXPECT_STREQ(SourceFileError(EIO, "x").what(), "I/O ｴﾗｰ (5)");
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
    EXPECT_EQ(Tokens(path, SJ), (std::vector<std::string>{"a", EOL}));
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
