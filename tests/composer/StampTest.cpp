#include "support/TestSupport.h"

#include "composer/plan/Stamp.h"
#include "reference/SubTextOut.h"

#include <gtest/gtest.h>

#include <ostream>

#include <climits>

namespace morvaleth {
namespace {

using testing::DrawCall;
using testing::InkOf;
using testing::RecordingCanvas;
using testing::WhitePicture;

// The values a stamp draws from a source in that state.
struct StampDraws {
    int r, h, tilt, dx, dy;
};

StampDraws ExpectedDraws(std::uint32_t seed, int size, bool realMode)
{
    RandomSource random(seed);
    StampDraws draws{};
    draws.r = random.Draw(10);
    draws.h = StampCellHeight(size, random.Draw(size / 2));
    draws.tilt = random.Draw(300) - 150;
    if (realMode) {
        draws.dx = random.Draw(7) - 3;
        draws.dy = random.Draw(7) - 3;
    }
    return draws;
}

// The first seed from which a stamp picks colour scheme r.
std::uint32_t SeedForScheme(int r)
{
    for (std::uint32_t seed = 0;; ++seed)
        if (RandomSource(seed).Draw(10) == r)
            return seed;
}

class StampModeTest : public ::testing::TestWithParam<bool> {};

TEST_P(StampModeTest, FillsTheFontDescriptionFromTheDraws)
{
    const bool realMode = GetParam();
    for (std::uint32_t seed : {0u, 1u, 77u, 4000000000u}) {
        RecordingCanvas canvas;
        RandomSource random(seed);
        SubTextOut(100, 50, U"あ", 20, canvas, {"ＭＳ Ｐ明朝", realMode}, random);

        const StampDraws draws = ExpectedDraws(seed, 20, realMode);
        const auto texts = canvas.Texts();
        ASSERT_EQ(texts.size(), 1u);
        const LOGFONT& font = texts[0].font.Handle;
        EXPECT_EQ(font.lfHeight, draws.h);
        EXPECT_EQ(font.lfWidth, 0);
        EXPECT_EQ(font.lfEscapement, draws.tilt);
        EXPECT_EQ(font.lfOrientation, 0);
        EXPECT_EQ(font.lfWeight, 400);
        EXPECT_EQ(font.lfItalic + font.lfUnderline + font.lfStrikeOut, 0);
        EXPECT_EQ(font.lfCharSet, 1);
        EXPECT_EQ(font.lfOutPrecision + font.lfClipPrecision + font.lfQuality + font.lfPitchAndFamily, 0);
        EXPECT_EQ(FaceNameOf(font), "ＭＳ Ｐ明朝");
        EXPECT_EQ(texts[0].at, (TPoint{100, 50}));
        EXPECT_EQ(texts[0].text, U"あ");
        EXPECT_EQ(texts[0].brush.Style, TBrushStyle::bsClear);
        EXPECT_EQ(canvas.fontSelections, 1);
    }
}

TEST_P(StampModeTest, DrawsThreeTimesInPlainModeAndFiveInRealMode)
{
    const bool realMode = GetParam();
    RecordingCanvas canvas;
    RandomSource random(4242);
    RandomSource counter(4242);
    SubTextOut(0, 0, U"a", 1, canvas, {"x", realMode}, random);
    for (int i = 0; i < (realMode ? 5 : 3); ++i)
        counter.Draw(1);
    EXPECT_EQ(random.Seed(), counter.Seed());
}

INSTANTIATE_TEST_SUITE_P(Modes, StampModeTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Real" : "Plain"; });

TEST(Stamp, PlainModeDrawsABlackCharacterAndLeavesPenAndBrush)
{
    RecordingCanvas canvas;
    canvas.Pen.Color = clGray;
    canvas.Brush.Color = clSilver;
    canvas.Font.Color = clWhite;
    RandomSource random(SeedForScheme(9));
    SubTextOut(10, 10, U"a", 20, canvas, {"x", false}, random);
    ASSERT_EQ(canvas.calls.size(), 1u);
    const DrawCall& text = canvas.calls[0];
    EXPECT_EQ(text.font.Color, clBlack);
    EXPECT_EQ(text.pen.Color, clGray);
    EXPECT_EQ(text.brush.Color, clSilver);
}

struct SchemeCase {
    int r;
    TColor outline;
    TColor fill;
    TColor character;

    friend void PrintTo(const SchemeCase& x, std::ostream* out) { *out << "r = " << x.r; }
};

class SchemeTest : public ::testing::TestWithParam<SchemeCase> {};

TEST_P(SchemeTest, RealModeScrapSitsUnderTheCharacter)
{
    const SchemeCase& scheme = GetParam();
    const std::uint32_t seed = SeedForScheme(scheme.r);
    RecordingCanvas canvas;
    RandomSource random(seed);
    SubTextOut(100, 50, U"a", 20, canvas, {"x", true}, random);

    const StampDraws d = ExpectedDraws(seed, 20, true);
    ASSERT_EQ(canvas.calls.size(), 2u);
    const DrawCall& scrap = canvas.calls[0];
    ASSERT_EQ(scrap.kind, DrawCall::Kind::Polygon);
    EXPECT_EQ(scrap.points, (std::vector<TPoint>{{100, 50},
                                                 {100 + d.dx, 50 + d.h},
                                                 {100 + d.h + d.dx, 50 + d.h + d.dy},
                                                 {100 + d.h + d.dx, 50 + d.dy}}));
    EXPECT_EQ(scrap.pen.Color, scheme.outline);
    EXPECT_EQ(scrap.brush.Color, scheme.fill);
    EXPECT_EQ(scrap.brush.Style, TBrushStyle::bsSolid);
    const DrawCall& text = canvas.calls[1];
    EXPECT_EQ(text.font.Color, scheme.character);
    EXPECT_EQ(text.brush.Style, TBrushStyle::bsClear);
}

TEST_P(SchemeTest, TheScrapsColoursShowOnThePicture)
{
    const SchemeCase& scheme = GetParam();
    const std::uint32_t seed = SeedForScheme(scheme.r);
    auto picture = WhitePicture(80, 80);
    RandomSource random(seed);
    // A blank character still gets its scrap; only the glyph is empty.
    SubTextOut(20, 20, U" ", 20, picture->Canvas(), {"ＭＳ Ｐゴシック", true}, random);
    EXPECT_EQ(picture->Pixel(20, 20), scheme.outline);
    EXPECT_EQ(picture->Pixel(28, 28), scheme.fill);
    EXPECT_EQ(picture->Pixel(10, 10), clWhite);

    // A real character is drawn in the scheme's character colour.
    auto withCharacter = WhitePicture(80, 80);
    RandomSource again(seed);
    SubTextOut(20, 20, U"■", 20, withCharacter->Canvas(), {"ＭＳ Ｐゴシック", true}, again);
    int characterPixels = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x)
            characterPixels += withCharacter->Pixel(x, y) == scheme.character && picture->Pixel(x, y) != scheme.character;
    EXPECT_GT(characterPixels, 10) << "■ should show in the character colour";
}

INSTANTIATE_TEST_SUITE_P(Schemes, SchemeTest,
                         ::testing::Values(SchemeCase{0, clSilver, clGray, clBlack}, SchemeCase{4, clSilver, clGray, clBlack},
                                           SchemeCase{5, clGray, clSilver, clBlack}, SchemeCase{7, clGray, clSilver, clBlack},
                                           SchemeCase{8, clSilver, clBlack, clSilver}, SchemeCase{9, clSilver, clBlack, clSilver}));

TEST(Stamp, SizeOneDrawsZeroAndStillSteps)
{
    RecordingCanvas canvas;
    RandomSource random(5);
    SubTextOut(0, 0, U"a", 1, canvas, {"x", false}, random);
    EXPECT_EQ(canvas.Texts()[0].font.Handle.lfHeight, 1);
    RandomSource counter(5);
    for (int i = 0; i < 3; ++i)
        counter.Draw(1);
    EXPECT_EQ(random.Seed(), counter.Seed());
}

TEST(Stamp, APositionFarOffThePictureDoesNotOverflow)
{
    RecordingCanvas canvas;
    RandomSource random(SeedForScheme(0));
    SubTextOut(INT_MAX - 1, INT_MAX - 1, U"a", 20, canvas, {"x", true}, random);
    for (TPoint corner : canvas.calls[0].points) {
        EXPECT_GE(corner.x, INT_MAX - 4);
        EXPECT_GE(corner.y, INT_MAX - 4);
    }
}

} // namespace
} // namespace morvaleth
