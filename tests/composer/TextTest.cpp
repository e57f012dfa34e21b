#include "support/TestSupport.h"

#include "composer/FontEngine.h"
#include "composer/TextDecoder.h"

#include <gtest/gtest.h>

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

TEST(Faces, AnUnknownOrLatinFaceFallsBackToAJapaneseOne)
{
    for (const char* name : {"No Such Face 123", "DejaVu Sans", "", "Arial"}) {
        const std::string family = FindFace(name).family;
        EXPECT_EQ(family.rfind("IPA", 0), 0u) << name << " gave " << family;
    }
}

// ---- Decoding -------------------------------------------------------------

struct DecodeCase {
    const char* name;
    std::string bytes;
    TextEncoding encoding;
    std::u32string codePoints;

    friend void PrintTo(const DecodeCase& x, std::ostream* out) { *out << x.name; }
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, GivesTheCodePoints)
{
    TextDecoder decoder;
    std::u32string decoded = U"left over";
    decoder.Decode(GetParam().bytes, GetParam().encoding, decoded);
    EXPECT_EQ(decoded, GetParam().codePoints);
}

constexpr char32_t Bad = TextDecoder::Unconvertible;
const auto ShiftJis = TextEncoding::ShiftJis;
const auto Utf8 = TextEncoding::Utf8;

INSTANTIATE_TEST_SUITE_P(
    Texts, DecodeTest,
    ::testing::Values(DecodeCase{"Hiragana", "\x82\xA0\x82\xA2", ShiftJis, U"あい"},
                      DecodeCase{"HalfWidthKatakana", "\xB1", ShiftJis, U"\uFF71"},
                      DecodeCase{"Ascii", "a\t", ShiftJis, U"a\t"},
                      DecodeCase{"Cp932Extension", "\x87\x40", ShiftJis, U"①"},
                      DecodeCase{"WaveDash", "\x81\x60", ShiftJis, U"\uFF5E"},
                      DecodeCase{"LoneLeadByte", "\x82", ShiftJis, std::u32string(1, Bad)},
                      DecodeCase{"LeadByteAndLf", "\x82\n", ShiftJis, std::u32string{Bad, U'\n'}},
                      DecodeCase{"Undefined", "\xFF", ShiftJis, std::u32string(1, Bad)},
                      DecodeCase{"Nul", std::string(1, '\0'), ShiftJis, std::u32string(1, U'\0')},
                      DecodeCase{"Utf8Kanji", "漢", Utf8, U"漢"},
                      DecodeCase{"Utf8Emoji", "\xF0\x9F\x98\x80", Utf8, U"\U0001F600"},
                      DecodeCase{"Utf8Truncated", "\xE6\xBC", Utf8, std::u32string{Bad, Bad}},
                      DecodeCase{"Utf8Surrogate", "\xED\xA0\x80", Utf8, std::u32string{Bad, Bad, Bad}},
                      DecodeCase{"Empty", "", Utf8, U""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Drawing text ---------------------------------------------------------

LOGFONT FontOf(int height, int escapement, const char* face = "ＭＳ Ｐゴシック")
{
    LOGFONT font;
    font.lfHeight = height;
    font.lfEscapement = escapement;
    SetFaceName(font, face);
    return font;
}

std::unique_ptr<testing::DrawnPicture> Draw(const char* text, int height, int escapement, int x, int y, int size = 200)
{
    auto picture = WhitePicture(size, size);
    TCanvas& canvas = picture->Canvas();
    canvas.SelectFont(FontOf(height, escapement));
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.TextOut(x, y, text, TextEncoding::Utf8);
    return picture;
}

// The mean row of the ink in one column.
double MeanInkRow(const TBitmap& picture, int x)
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
    const InkBox ink = InkOf(*Draw("国", 40, 0, 50, 60));
    ASSERT_FALSE(ink.Empty());
    EXPECT_GE(ink.left, 50);
    EXPECT_LT(ink.right, 50 + 40);
    EXPECT_GE(ink.top, 60);
    EXPECT_LT(ink.bottom, 60 + 40);
    EXPECT_GT(ink.bottom - ink.top, 25);
}

TEST(Text, TheCellHeightScalesTheGlyph)
{
    const InkBox small = InkOf(*Draw("国", 20, 0, 10, 10));
    const InkBox large = InkOf(*Draw("国", 80, 0, 10, 10));
    const double ratio = double(large.bottom - large.top + 1) / (small.bottom - small.top + 1);
    EXPECT_NEAR(ratio, 4.0, 0.4);
}

TEST(Text, PositiveEscapementTurnsCounterClockwise)
{
    // The long vowel mark is a horizontal stroke: turned counter-clockwise on
    // screen its right end rises above its left end.
    auto turned = Draw("ー", 60, 149, 40, 60);
    const InkBox ink = InkOf(*turned);
    ASSERT_FALSE(ink.Empty());
    EXPECT_LT(MeanInkRow(*turned, ink.right - 2), MeanInkRow(*turned, ink.left + 2) - 5);

    auto other = Draw("ー", 60, -150, 40, 60);
    const InkBox otherInk = InkOf(*other);
    EXPECT_GT(MeanInkRow(*other, otherInk.right - 2), MeanInkRow(*other, otherInk.left + 2) + 5);
}

TEST(Text, TurnsAboutTheTopLeftCorner)
{
    // A quarter turn counter-clockwise stands the cell on its left edge: it
    // now lies above (x, y) and to its right.
    const InkBox ink = InkOf(*Draw("国", 40, 900, 100, 100));
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
        picture->Canvas().TextOut(5, 5, "国", TextEncoding::Utf8);
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
    auto picture = Draw("あ", 30, 45, 10, 10, 60);
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
    auto clear = Draw(" ", 40, 0, 10, 10, 60);
    EXPECT_TRUE(InkOf(*clear).Empty());

    auto solid = WhitePicture(60, 60);
    TCanvas& canvas = solid->Canvas();
    canvas.SelectFont(FontOf(40, 0));
    canvas.Brush.Color = clGray;
    canvas.TextOut(10, 10, " ", TextEncoding::Utf8);
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
        picture->Canvas().TextOut(c.at.x, c.at.y, "国国", TextEncoding::Utf8);
        EXPECT_EQ(!InkOf(*picture).Empty(), c.inkInside) << c.at.x << ", " << c.at.y;
    }
    const InkBox ink = InkOf(*Draw("国", 40, 0, -20, -20, 60));
    EXPECT_EQ(ink.left, 0);
    EXPECT_EQ(ink.top, 0);
}

TEST(Text, BytesThatDoNotConvertNeverFail)
{
    for (const char* bytes : {"\x82", "\xFF\xFE", "\x81", "\xEF\xBB", "\x80", "\x1A", "\t", "\n"}) {
        auto picture = WhitePicture(60, 60);
        picture->Canvas().SelectFont(FontOf(30, 0));
        EXPECT_NO_THROW(picture->Canvas().TextOut(5, 5, bytes, TextEncoding::ShiftJis));
        EXPECT_NO_THROW(picture->Canvas().TextOut(5, 5, bytes, TextEncoding::Utf8));
    }
}

TEST(Text, ShiftJisAndUtf8DrawTheSameCharacter)
{
    auto fromShiftJis = WhitePicture(60, 60);
    auto fromUtf8 = WhitePicture(60, 60);
    for (auto* picture : {fromShiftJis.get(), fromUtf8.get()}) {
        picture->Canvas().SelectFont(FontOf(40, 30));
        picture->Canvas().Brush.Style = TBrushStyle::bsClear;
    }
    fromShiftJis->Canvas().TextOut(5, 5, "\x8A\xBF", TextEncoding::ShiftJis);
    fromUtf8->Canvas().TextOut(5, 5, "漢", TextEncoding::Utf8);
    EXPECT_EQ(0, std::memcmp(fromShiftJis->ScanLine(0), fromUtf8->ScanLine(0), fromUtf8->Stride() * 60));
    EXPECT_FALSE(InkOf(*fromUtf8).Empty());
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
