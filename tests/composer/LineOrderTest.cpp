// The order units take their places in: reading order for left-to-right text,
// visual order within each row for right-to-left text, invisible units left
// out, Arabic letters with the joiners that give their forms in the word.

#include "support/TestSupport.h"

#include "composer/plan/GridLayout.h"
#include "composer/plan/LineOrder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

namespace morvaleth {
namespace {

using ::testing::ElementsAreArray;

const std::u32string EOL = U"<EOL>";
constexpr char32_t ZWJ = 0x200D;

// The tokens of a UTF-8 text as they are handed on, on a grid of rows
// `cells` units wide.
std::vector<std::u32string> Placed(const std::string& text, int cells)
{
    testing::TempDir folder;
    testing::WriteFile(folder / "line.txt", text);
    SourceReader source(folder / "line.txt", SourceEncoding::Utf8);
    // Size 10: a pitch of 11 from x = 10; `cells` units, and the wrap test
    // wants room for one more.
    GridLayout layout(10, 10 + 11 * (cells + 1) - 1, 100000, 100);
    LineOrder order(source, layout);
    std::vector<std::u32string> placed;
    std::u32string_view unit;
    for (;;) {
        const SourceReader::Token token = order.Next(unit);
        if (token == SourceReader::Token::TextEnd)
            break;
        if (token == SourceReader::Token::Unit) {
            placed.emplace_back(unit);
            layout.AfterUnit();
        } else {
            placed.push_back(EOL);
            layout.AfterLineEnd();
        }
    }
    return placed;
}

struct OrderCase {
    const char* name;
    std::string text;
    int cells;
    std::vector<std::u32string> placed;

    friend void PrintTo(const OrderCase& x, std::ostream* out) { *out << x.name; }
};

class LineOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(LineOrderTest, PlacesUnitsAsTheirReaderReadsThem)
{
    EXPECT_THAT(Placed(GetParam().text, GetParam().cells), ElementsAreArray(GetParam().placed));
}

// Joined forms: a joiner before a letter joined to the one before it in the
// word, after one joined to the next.
std::u32string Joined(char32_t letter, bool before, bool after)
{
    return (before ? std::u32string(1, ZWJ) : U"") + std::u32string(1, letter) + (after ? std::u32string(1, ZWJ) : U"");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineOrderTest,
    ::testing::Values(
        OrderCase{"LeftToRightAsRead", "ab 12\nc", 20, {U"a", U"b", U" ", U"1", U"2", EOL, U"c", EOL}},
        OrderCase{"HebrewTurnedRound", "אבג", 20, {U"ג", U"ב", U"א", EOL}},
        OrderCase{"HebrewInALatinLine", "ab אבג cd", 20,
                  {U"a", U"b", U" ", U"ג", U"ב", U"א", U" ", U"c", U"d", EOL}},
        // A line that starts in Hebrew runs right to left: its Latin word and
        // its number keep their own order inside it.
        OrderCase{"LatinInAHebrewLine", "אב cd 12", 20, {U"c", U"d", U" ", U"1", U"2", U" ", U"ב", U"א", EOL}},
        OrderCase{"DigitsBeforeTheFirstLetterWaitForIt", "12 אב", 20, {U"ב", U"א", U" ", U"1", U"2", EOL}},
        OrderCase{"ArabicDigitsInALatinLine", "ab \u0661\u0662", 20, {U"a", U"b", U" ", U"\u0661", U"\u0662", EOL}},
        // Brackets at a right-to-left level take their mirror images.
        OrderCase{"BracketsMirrored", "א(ב)", 20, {U"(", U"ב", U")", U"א", EOL}},
        // Each row is put in order on its own: the first two letters read
        // first, in the upper row.
        OrderCase{"RowByRow", "אבגדה", 2, {U"ב", U"א", U"ד", U"ג", U"ה", EOL}},
        OrderCase{"EachLineItsOwnDirection", "אב\nab", 20, {U"ב", U"א", EOL, U"a", U"b", EOL}},
        OrderCase{"InvisibleUnitsTakeNoPlace", "a\u200Bb\uFEFFc\u2060d\u00AD", 20, {U"a", U"b", U"c", U"d", EOL}},
        // A right-to-left mark makes its line run right to left, and is left
        // out.
        OrderCase{"MarksOrderAndVanish", "1\u200F2", 20, {U"2", U"1", EOL}},
        // An override turns even Latin letters round, and vanishes.
        OrderCase{"OverriddenRightToLeft", "a\u202Ebc\u202Cd", 20, {U"a", U"c", U"b", U"d", EOL}},
        // بيت: initial, medial and final forms, right to left.
        OrderCase{"ArabicLettersJoined", "\u0628\u064A\u062A", 20,
                  {Joined(0x062A, true, false), Joined(0x064A, true, true), Joined(0x0628, false, true), EOL}},
        // دار: none of its letters joins the one after it.
        OrderCase{"RightJoiningLettersStandAlone", "\u062F\u0627\u0631", 20, {U"\u0631", U"\u0627", U"\u062F", EOL}},
        // A non-joiner in the cluster keeps it apart from the next letter.
        OrderCase{"NonJoinerBreaksTheJoin", "\u0628\u200C\u0628", 20,
                  {U"\u0628", U"\u0628\u200C", EOL}},
        // A word cut by the end of its row is joined within each row only.
        OrderCase{"JoinsEndAtTheRowsEnd", "\u0628\u0628\u0628", 2,
                  {Joined(0x0628, true, false), Joined(0x0628, false, true), U"\u0628", EOL}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineOrder, ALeftToRightLineIsHandedOnAsItIsRead)
{
    // Reading stops at the first line end below the picture: a Latin line is
    // not read ahead of its units, so that nothing after the stop is read.
    testing::TempDir folder;
    testing::WriteFile(folder / "line.txt", "abc\r\n\xFF");
    SourceReader source(folder / "line.txt", SourceEncoding::Automatic);
    GridLayout layout(10, 1000, 1000, 100);
    LineOrder order(source, layout);
    std::u32string_view unit;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(order.Next(unit), SourceReader::Token::Unit);
        layout.AfterUnit();
    }
    EXPECT_EQ(unit, U"c");
    EXPECT_EQ(source.Encoding(), SourceEncoding::Automatic);
}

TEST(LineOrder, ARowLongerThanItHoldsIsOrderedInPieces)
{
    // A row of 10,000 cells holds right-to-left text 4096 units at a time.
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += i < 4096 ? "א" : "ב";
    const auto placed = Placed(text, 10000);
    ASSERT_EQ(placed.size(), 5001u);
    EXPECT_EQ(placed[0], U"א");
    EXPECT_EQ(placed[4095], U"א");
    EXPECT_EQ(placed[4096], U"ב");
}

} // namespace
} // namespace morvaleth
