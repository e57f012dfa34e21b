#include "support/TestSupport.h"

#include "composer/Composition.h"

#include "composer/faces/FaceTable.h"
#include "composer/faces/OpenFace.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <ostream>

#include <climits>
#include <cstring>
#include <set>

namespace morvaleth {
namespace {

using testing::InkBox;
using testing::InkOf;
using testing::WhitePicture;

// ---- Faces ----------------------------------------------------------------

struct AliasCase {
    const char* faceName;
    const char* family;

    friend void PrintTo(const AliasCase& x, std::ostream* out) { *out << x.faceName; }
};

class FaceAliasTest : public ::testing::TestWithParam<AliasCase> {};

TEST_P(FaceAliasTest, WindowsNamesResolveToTheIpaFonts)
{
    EXPECT_EQ(FindFace(GetParam().faceName).family, GetParam().family);
}

INSTANTIATE_TEST_SUITE_P(Faces, FaceAliasTest,
                         ::testing::Values(AliasCase{"ＭＳ Ｐゴシック", "IPAPGothic"}, AliasCase{"MS PGothic", "IPAPGothic"},
                                           AliasCase{"ＭＳ ゴシック", "IPAGothic"}, AliasCase{"MS Gothic", "IPAGothic"},
                                           AliasCase{"ＭＳ Ｐ明朝", "IPAPMincho"}, AliasCase{"MS PMincho", "IPAPMincho"},
                                           AliasCase{"ＭＳ 明朝", "IPAMincho"}, AliasCase{"MS Mincho", "IPAMincho"},
                                           AliasCase{"IPAMincho", "IPAMincho"}));

// Which family of a chosen face's chain draws a unit.
struct FallbackCase {
    const char* name;
    const char* faceName;
    std::u32string unit;
    const char* family; // a prefix of the family that draws it

    friend void PrintTo(const FallbackCase& x, std::ostream* out) { *out << x.name; }
};

class FaceFallbackTest : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(FaceFallbackTest, TheFirstFaceThatHasTheUnitDrawsIt)
{
    const FaceChain chain(GetParam().faceName);
    ASSERT_FALSE(chain.Faces().empty());
    const std::string family = chain.Faces()[chain.FaceFor(GetParam().unit)].family;
    EXPECT_EQ(family.rfind(GetParam().family, 0), 0u) << family;
}

INSTANTIATE_TEST_SUITE_P(
    Faces, FaceFallbackTest,
    ::testing::Values(
        // A Latin face keeps its own letters and takes kana and kanji from a
        // Japanese face; a serif face from a Mincho one.
        FallbackCase{"LatinFaceOwnLetter", "DejaVu Serif", U"a", "DejaVu Serif"},
        FallbackCase{"LatinFaceKana", "DejaVu Serif", U"あ", "IPA"},
        FallbackCase{"LatinFaceKanji", "DejaVu Serif", U"漢", "IPAMincho"},
        FallbackCase{"LatinFaceCluster", "DejaVu Serif", U"が", "IPA"},
        // A character the Japanese face lacks comes from a face that has it.
        FallbackCase{"MissingInTheDefault", "ＭＳ Ｐゴシック", U"Đ", "DejaVu"},
        FallbackCase{"CoveredByTheDefault", "ＭＳ Ｐゴシック", U"Ａ", "IPAPGothic"},
        // A joiner or a variation selector need not be in the face.
        FallbackCase{"IgnorableInACluster", "ＭＳ Ｐゴシック", U"葛󠄀", "IPAPGothic"},
        // What no face has, and bytes that did not convert, stay with the
        // chosen face and draw its missing-glyph shape.
        FallbackCase{"NoFaceHasIt", "DejaVu Serif", U"ༀ", "DejaVu Serif"},
        FallbackCase{"Replacement", "ＭＳ Ｐゴシック", U"�", "IPAPGothic"},
        // An unknown name stands for a Japanese face.
        FallbackCase{"UnknownName", "No Such Face 123", U"a", "IPA"},
        FallbackCase{"EmptyName", "", U"a", "IPA"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Faces, AnInstalledLatinFaceIsTheFaceItself)
{
    EXPECT_EQ(FindFace("DejaVu Serif").family, "DejaVu Serif");
    EXPECT_EQ(FindFace("dejavu serif").family, "DejaVu Serif");
}

// ---- Drawing text ---------------------------------------------------------

LOGFONT FontOf(int height, int escapement, const char* face = "ＭＳ Ｐゴシック")
{
    LOGFONT font;
    font.lfHeight = height;
    font.lfEscapement = escapement;
    SetFaceName(font, face);
    return font;
}

std::unique_ptr<testing::DrawnPicture> Draw(std::u32string_view text, int height, int escapement, int x, int y,
                                            int size = 200, const char* face = "ＭＳ Ｐゴシック")
{
    auto picture = WhitePicture(size, size);
    TCanvas& canvas = picture->Canvas();
    canvas.SelectFont(FontOf(height, escapement, face));
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.TextOut(x, y, text);
    return picture;
}

// The mean row of the ink in one column.
double MeanInkRow(const PixelPicture& picture, int x)
{
    double sum = 0;
    int count = 0;
    for (int y = 0; y < picture.Height(); ++y)
        if (picture.Pixel(x, y) != clWhite) {
            sum += y;
            ++count;
        }
    return count ? sum / count : -1;
}

TEST(Text, TheCellHangsFromItsTopLeftCorner)
{
    // "国" fills most of its cell: its ink lies within the cell below and to
    // the right of (x, y), and reaches well into it.
    const InkBox ink = InkOf(*Draw(U"国", 40, 0, 50, 60));
    ASSERT_FALSE(ink.Empty());
    EXPECT_GE(ink.left, 50);
    EXPECT_LT(ink.right, 50 + 40);
    EXPECT_GE(ink.top, 60);
    EXPECT_LT(ink.bottom, 60 + 40);
    EXPECT_GT(ink.bottom - ink.top, 25);
}

TEST(Text, TheCellHeightScalesTheGlyph)
{
    const InkBox small = InkOf(*Draw(U"国", 20, 0, 10, 10));
    const InkBox large = InkOf(*Draw(U"国", 80, 0, 10, 10));
    const double ratio = double(large.bottom - large.top + 1) / (small.bottom - small.top + 1);
    EXPECT_NEAR(ratio, 4.0, 0.4);
}

TEST(Text, PositiveEscapementTurnsCounterClockwise)
{
    // The long vowel mark is a horizontal stroke: turned counter-clockwise on
    // screen its right end rises above its left end.
    auto turned = Draw(U"ー", 60, 149, 40, 60);
    const InkBox ink = InkOf(*turned);
    ASSERT_FALSE(ink.Empty());
    EXPECT_LT(MeanInkRow(*turned, ink.right - 2), MeanInkRow(*turned, ink.left + 2) - 5);

    auto other = Draw(U"ー", 60, -150, 40, 60);
    const InkBox otherInk = InkOf(*other);
    EXPECT_GT(MeanInkRow(*other, otherInk.right - 2), MeanInkRow(*other, otherInk.left + 2) + 5);
}

TEST(Text, TurnsAboutTheTopLeftCorner)
{
    // A quarter turn counter-clockwise stands the cell on its left edge: it
    // now lies above (x, y) and to its right.
    const InkBox ink = InkOf(*Draw(U"国", 40, 900, 100, 100));
    ASSERT_FALSE(ink.Empty());
    EXPECT_GE(ink.left, 100);
    EXPECT_LT(ink.right, 140);
    EXPECT_LT(ink.bottom, 100);
    EXPECT_GE(ink.top, 60);
}

TEST(Text, ColourIsIndependentOfTheFont)
{
    auto colourFirst = WhitePicture(60, 60);
    colourFirst->Canvas().Font.Color = MakeColor(0xFF, 0, 0);
    colourFirst->Canvas().SelectFont(FontOf(40, 0));

    auto fontFirst = WhitePicture(60, 60);
    fontFirst->Canvas().SelectFont(FontOf(40, 0));
    fontFirst->Canvas().Font.Color = MakeColor(0xFF, 0, 0);

    for (auto* picture : {colourFirst.get(), fontFirst.get()}) {
        picture->Canvas().Brush.Style = TBrushStyle::bsClear;
        picture->Canvas().TextOut(5, 5, U"国");
    }
    ASSERT_EQ(colourFirst->Stride(), fontFirst->Stride());
    EXPECT_EQ(0, std::memcmp(colourFirst->ScanLine(0), fontFirst->ScanLine(0), colourFirst->Stride() * 60));

    std::set<TColor> colours;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            colours.insert(colourFirst->Pixel(x, y));
    EXPECT_TRUE(colours.count(MakeColor(0xFF, 0, 0)));
    for (TColor colour : colours) // blends of red over white only
        EXPECT_EQ(RedOf(colour), 0xFF) << std::hex << colour;
}

TEST(Text, GlyphsAreAntiAliased)
{
    auto picture = Draw(U"あ", 30, 45, 10, 10, 60);
    int partial = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            const TColor colour = picture->Pixel(x, y);
            partial += colour != clWhite && colour != clBlack;
            EXPECT_EQ(RedOf(colour), BlueOf(colour)); // greys only
        }
    EXPECT_GT(partial, 10);
}

TEST(Text, AClearBrushChangesOnlyTheGlyphsAndASolidOneFillsTheCell)
{
    auto clear = Draw(U" ", 40, 0, 10, 10, 60);
    EXPECT_TRUE(InkOf(*clear).Empty());

    auto solid = WhitePicture(60, 60);
    TCanvas& canvas = solid->Canvas();
    canvas.SelectFont(FontOf(40, 0));
    canvas.Brush.Color = clGray;
    canvas.TextOut(10, 10, U" ");
    const InkBox cell = InkOf(*solid);
    EXPECT_EQ(cell.top, 10);
    EXPECT_EQ(cell.left, 10);
    EXPECT_NEAR(cell.bottom, 10 + 39, 1);
    EXPECT_EQ(solid->Pixel(12, 30), clGray);
}

TEST(Text, ClipsAtEveryEdge)
{
    // Text across an edge leaves the part inside; text far outside, even at
    // the ends of the coordinate range, leaves the picture white.
    struct Case {
        TPoint at;
        bool inkInside;
    };
    for (const Case c : {Case{{-15, 10}, true}, Case{{10, -15}, true}, Case{{45, 10}, true},
                         Case{{10, 45}, true}, Case{{-1000, -1000}, false},
                         Case{{INT_MAX - 5, INT_MAX - 5}, false}, Case{{INT_MIN, 0}, false}}) {
        auto picture = WhitePicture(60, 60);
        picture->Canvas().SelectFont(FontOf(30, 120));
        picture->Canvas().Brush.Style = TBrushStyle::bsClear;
        picture->Canvas().TextOut(c.at.x, c.at.y, U"国国");
        EXPECT_EQ(!InkOf(*picture).Empty(), c.inkInside) << c.at.x << ", " << c.at.y;
    }
    const InkBox ink = InkOf(*Draw(U"国", 40, 0, -20, -20, 60));
    EXPECT_EQ(ink.left, 0);
    EXPECT_EQ(ink.top, 0);
}

TEST(Text, TheReplacementCharacterDrawsTheChosenFacesMissingGlyph)
{
    // DejaVu has a glyph of its own for U+FFFD; it still draws the face's
    // missing-glyph shape, as a character that no face has does.
    const auto replacement = Draw(U"\uFFFD", 40, 0, 10, 10, 60, "DejaVu Serif");
    const auto missing = Draw(U"\U0010FFFD", 40, 0, 10, 10, 60, "DejaVu Serif");
    EXPECT_FALSE(InkOf(*replacement).Empty());
    EXPECT_EQ(0, std::memcmp(replacement->ScanLine(0), missing->ScanLine(0), missing->Stride() * 60));
}

TEST(Text, AFallbackFaceDrawsAtTheSameCellHeight)
{
    // Kana in a Latin face come from a Japanese face, as tall as the cell
    // asks, not DejaVu's boxes.
    const auto inLatinFace = Draw(U"国", 40, 0, 50, 60, 200, "DejaVu Serif");
    const auto inMincho = Draw(U"国", 40, 0, 50, 60, 200, "IPAMincho");
    EXPECT_EQ(0, std::memcmp(inLatinFace->ScanLine(0), inMincho->ScanLine(0), inMincho->Stride() * 200));
}

TEST(LogFont, LongFaceNamesAreCutAtAWholeCharacter)
{
    LOGFONT font;
    SetFaceName(font, "ＭＳ Ｐゴシック");
    EXPECT_EQ(FaceNameOf(font), "ＭＳ Ｐゴシック");
    SetFaceName(font, std::string(300, 'x'));
    EXPECT_EQ(FaceNameOf(font), std::string(31, 'x'));
    SetFaceName(font, "あいうえおかきくけこさしすせそ"); // 45 bytes
    EXPECT_EQ(FaceNameOf(font), "あいうえおかきくけこ");
    EXPECT_EQ(font.lfFaceName[31], '\0');
}

} // namespace
} // namespace morvaleth
