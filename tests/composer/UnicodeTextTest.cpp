// Every character as its reader sees it, drawn with the tests' own face
// (tests/fonts/MorvalethTest.ttf, a glyph of its own for every form asked
// about), the IPA faces and DejaVu. Run twice: without an emoji face
// (text-fonts.conf) and with Debian's colour emoji face, a face of bitmaps
// only (emoji-fonts.conf).

#include "support/TestSupport.h"

#include "composer/Composition.h"
#include "composer/encode/PictureFile.h"
#include "composer/faces/FaceTable.h"
#include "composer/faces/OpenFace.h"
#include "composer/faces/Shaping.h"
#include "composer/text/SourceReader.h"

#include FT_ADVANCES_H

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <ostream>
#include <set>

namespace morvaleth {
namespace {

bool HasEmojiFace()
{
    static const bool installed = FindFace("Noto Color Emoji").family == "Noto Color Emoji";
    return installed;
}

std::string GlyphName(OpenFace& face, std::uint32_t glyph)
{
    char name[64] = {};
    FT_Get_Glyph_Name(face.Face(), glyph, name, sizeof name);
    return name;
}

// The faces a run would use for the test face, opened as a render thread
// opens them.
class TestFaceRun {
public:
    TestFaceRun() : chain_(faces_.ChainFor("Morvaleth Test")) {}

    FaceId FaceFor(std::u32string_view unit) { return faces_.FaceFor(chain_, unit); }
    OpenFace& Open(FaceId face) { return handles_.Open(faces_, face); }
    OpenFace& TestFace() { return Open(FaceFor({})); }
    const std::string& Family(FaceId face) const { return faces_.Location(face).family; }

private:
    FaceTable faces_;
    FaceChainId chain_;
    FaceHandles handles_;
};

std::vector<std::string> GlyphNames(OpenFace& face, std::u32string_view unit, UnitOrientation orientation)
{
    std::vector<std::string> names;
    for (const ShapedGlyph& glyph : face.Shaped(unit, orientation).glyphs)
        names.push_back(GlyphName(face, glyph.id));
    return names;
}

TEST(TestFace, IsTheFirstOfItsChain)
{
    TestFaceRun run;
    EXPECT_EQ(run.Family(run.FaceFor({})), "Morvaleth Test");
}

// ---- Sequences a face has as one glyph, variation sequences -------------

struct SequenceCase {
    const char* name;
    std::u32string unit;
    std::vector<std::string> glyphs;

    friend void PrintTo(const SequenceCase& x, std::ostream* out) { *out << x.name; }
};

class SequenceTest : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(SequenceTest, ShapesToTheFacesGlyphsInRowsAndColumns)
{
    TestFaceRun run;
    OpenFace& face = run.TestFace();
    for (const UnitOrientation orientation : {UnitOrientation::Horizontal, UnitOrientation::Upright}) {
        EXPECT_EQ(GlyphNames(face, GetParam().unit, orientation), GetParam().glyphs) << int(orientation);
        EXPECT_EQ(face.Shaped(GetParam().unit, orientation).scale, 1.0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Units, SequenceTest,
    ::testing::Values(
        SequenceCase{"ZwjSequence", U"\U0001F468\u200D\U0001F469\u200D\U0001F467", {"family"}},
        SequenceCase{"Flag", U"\U0001F1EF\U0001F1F5", {"flag_jp"}},
        SequenceCase{"Keycap", U"1\uFE0F\u20E3", {"keycap_one"}},
        SequenceCase{"SkinTone", U"\U0001F44B\U0001F3FD", {"wave_tone3"}},
        // The face's variation sequences (cmap format 14): a variant, a
        // sequence naming the default form, and one the face lacks, which
        // keeps the base glyph.
        SequenceCase{"VariantSelected", U"葛\U000E0100", {"kuzu.ivs"}},
        SequenceCase{"OtherVariantSelected", U"辻\U000E0100", {"tsuji.ivs"}},
        SequenceCase{"DefaultFormNamed", U"葛\U000E0101", {"kuzu"}},
        SequenceCase{"UnknownSequenceKeepsTheBase", U"辻\U000E0101", {"tsuji"}},
        SequenceCase{"StandardizedSelectorKeepsTheBase", U"葛\uFE00", {"kuzu"}},
        // Invisible code points in a cluster give no glyph of their own.
        SequenceCase{"JoinerLeavesNoGlyph", U"A\u200D", {"A"}},
        SequenceCase{"TagsLeaveNoGlyph", U"\U0001F44B\U000E0067\U000E007F", {"wave"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Variation, AFaceWithoutVariantsDrawsTheBase)
{
    // The IPA faces have no variation sequences: 葛󠄀 is their 葛.
    FaceTable faces;
    FaceHandles handles;
    OpenFace& face = handles.Open(faces, faces.FaceFor(faces.ChainFor("IPAMincho"), {}));
    const ShapedUnit& shaped = face.Shaped(U"葛\U000E0100", UnitOrientation::Horizontal);
    ASSERT_EQ(shaped.glyphs.size(), 1u);
    EXPECT_EQ(shaped.glyphs[0].id, face.GlyphOf(U'葛'));
}

// ---- Clusters in a run's chain ------------------------------------------

struct ClusterCase {
    const char* name;
    std::u32string unit;
    // Without an emoji face, and with one: the face that draws the unit and
    // how many glyphs it gives.
    const char* face;
    std::size_t glyphs;
    const char* emojiFace;
    std::size_t emojiGlyphs;

    friend void PrintTo(const ClusterCase& x, std::ostream* out) { *out << x.name; }
};

class ClusterTest : public ::testing::TestWithParam<ClusterCase> {};

TEST_P(ClusterTest, IsDrawnByOneFaceInsideItsCell)
{
    const ClusterCase& c = GetParam();
    TestFaceRun run;
    const FaceId id = run.FaceFor(c.unit);
    EXPECT_EQ(run.Family(id), HasEmojiFace() ? c.emojiFace : c.face);
    OpenFace& face = run.Open(id);
    EXPECT_EQ(face.DrawsImages(), run.Family(id) == "Noto Color Emoji");
    const ShapedUnit& shaped = face.Shaped(c.unit, UnitOrientation::Horizontal);
    ASSERT_EQ(shaped.glyphs.size(), HasEmojiFace() ? c.emojiGlyphs : c.glyphs);
    // Side by side, the glyphs end where the cell ends at the latest.
    const double cell = face.Measures().ascent + face.Measures().descent;
    const ShapedGlyph& last = shaped.glyphs.back();
    FT_Fixed advance = 0;
    ASSERT_EQ(FT_Get_Advance(face.Face(), last.id, FT_LOAD_NO_SCALE, &advance), 0);
    const double end = shaped.glyphs.size() == 1 ? advance * shaped.scale : last.x + advance * shaped.scale;
    EXPECT_LE(end, cell + 1);
    EXPECT_GE(shaped.glyphs.front().x, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Units, ClusterTest,
    ::testing::Values(
        // A sequence the test face has wins over the emoji face behind it.
        ClusterCase{"SequenceTheFirstFaceHas", U"\U0001F468\u200D\U0001F469\u200D\U0001F467", "Morvaleth Test", 1,
                    "Morvaleth Test", 1},
        // Man, woman and a box for the boy, a third of the size each.
        ClusterCase{"SequenceOnlyAnEmojiFaceHas", U"\U0001F468\u200D\U0001F469\u200D\U0001F466", "Morvaleth Test", 3,
                    "Noto Color Emoji", 1},
        ClusterCase{"Flag", U"\U0001F1EB\U0001F1F7", "Morvaleth Test", 2, "Noto Color Emoji", 1},
        ClusterCase{"SkinTone", U"\U0001F44D\U0001F3FD", "Morvaleth Test", 2, "Noto Color Emoji", 1},
        ClusterCase{"Keycap", U"#\uFE0F\u20E3", "Morvaleth Test", 2, "Noto Color Emoji", 1},
        // Marks stand over their letter, not beside it.
        ClusterCase{"CombiningMarks", U"q\u0303\u0301", "IPAGothic", 3, "IPAGothic", 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Clusters, PartsSideBySideAreShrunkIntoTheCell)
{
    TestFaceRun run;
    OpenFace& face = run.TestFace();
    // Three glyphs of 1000 units in a cell of 1000: a third each, from the
    // cell's start, about its middle (500) across.
    const ShapedUnit& shaped = face.Shaped(U"\U0001F468\u200D\U0001F469\u200D\U0001F466", UnitOrientation::Horizontal);
    EXPECT_DOUBLE_EQ(shaped.scale, 1.0 / 3);
    ASSERT_EQ(shaped.glyphs.size(), 3u);
    EXPECT_EQ(shaped.glyphs[1], (ShapedGlyph{shaped.glyphs[1].id, 333, 627}));
    // Down a column the same, along the column.
    const ShapedUnit& down = face.Shaped(U"\U0001F1EB\U0001F1F7", UnitOrientation::Upright);
    EXPECT_DOUBLE_EQ(down.scale, 0.5);
    ASSERT_EQ(down.glyphs.size(), 2u);
    EXPECT_EQ(down.glyphs[1].y - down.glyphs[0].y, 500);
    EXPECT_EQ(down.glyphs[0].x, down.glyphs[1].x);
}

// ---- Compatibility ideographs --------------------------------------------

struct CompatibilityCase {
    const char* name;
    std::string bytes;
    SourceEncoding encoding;

    friend void PrintTo(const CompatibilityCase& x, std::ostream* out) { *out << x.name; }
};

class CompatibilityTest : public ::testing::TestWithParam<CompatibilityCase> {};

TEST_P(CompatibilityTest, KeepsItsGlyphFromEveryEncoding)
{
    testing::TempDir folder;
    testing::WriteFile(folder / "name.txt", GetParam().bytes);
    SourceReader reader(folder / "name.txt", GetParam().encoding);
    std::u32string_view unit;
    ASSERT_EQ(reader.Next(unit), SourceReader::Token::Unit);
    EXPECT_EQ(unit, U"\uFA10");
    TestFaceRun run;
    OpenFace& face = run.TestFace();
    EXPECT_EQ(GlyphName(face, face.GlyphOf(unit.front())), "tsuka.compat");
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, CompatibilityTest,
    ::testing::Values(CompatibilityCase{"Utf8", "\xEF\xA8\x90", SourceEncoding::Utf8},
                      CompatibilityCase{"Utf8Detected", "\xEF\xA8\x90\xE5\xA1\x9A", SourceEncoding::Automatic},
                      CompatibilityCase{"Utf16Le", "\xFF\xFE\x10\xFA", SourceEncoding::Automatic},
                      CompatibilityCase{"Utf16Be", "\xFE\xFF\xFA\x10", SourceEncoding::Automatic},
                      CompatibilityCase{"ShiftJisIbmRow", "\xFA\x9C", SourceEncoding::ShiftJis},
                      CompatibilityCase{"ShiftJisNecSelectedRow", "\xED\x80", SourceEncoding::ShiftJis},
                      CompatibilityCase{"EucJpWindows", "\xF9\xE0", SourceEncoding::EucJp},
                      CompatibilityCase{"EucJpMs", "\x8F\xF4\xB8", SourceEncoding::EucJp}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Columns ------------------------------------------------------------

struct OrientationCase {
    char32_t character;
    UnitOrientation asked; // what the unit's character asks for
    bool sideways;         // how the test face sets it
    const char* glyph;
};

void PrintTo(const OrientationCase& x, std::ostream* out)
{
    *out << "U+" << std::hex << unsigned(x.character);
}

class OrientationTest : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(OrientationTest, FollowsUnicodeAndTheFacesVerticalForms)
{
    const OrientationCase& c = GetParam();
    const std::u32string unit(1, c.character);
    ASSERT_EQ(OrientationInColumn(unit), c.asked);
    TestFaceRun run;
    OpenFace& face = run.TestFace();
    const ShapedUnit& shaped = face.Shaped(unit, c.asked);
    EXPECT_EQ(shaped.sideways, c.sideways);
    ASSERT_EQ(shaped.glyphs.size(), 1u);
    EXPECT_EQ(GlyphName(face, shaped.glyphs[0].id), c.glyph);
}

constexpr auto Upright = UnitOrientation::Upright;
constexpr auto Sideways = UnitOrientation::Sideways;

INSTANTIATE_TEST_SUITE_P(
    Characters, OrientationTest,
    ::testing::Values(
        // Upright (U, Tu): standing, in a vertical form where there is one.
        OrientationCase{U'葛', Upright, false, "kuzu"}, OrientationCase{U'ア', Upright, false, "a.kata"},
        // Transformed or rotated (Tr): the vertical form, else on its side.
        OrientationCase{U'ー', Upright, false, "choon.vert"}, OrientationCase{U'～', Upright, true, "wavedash"},
        // The half-width long-vowel mark goes as ー does.
        OrientationCase{U'ｰ', Upright, true, "choon.half"},
        // Rotated (R): on its side.
        OrientationCase{U'−', Sideways, true, "minus"}, OrientationCase{U'→', Sideways, true, "arrow"},
        OrientationCase{U'A', Sideways, true, "A"}));

TEST(Orientation, TheLongVowelMarkRunsDownTheColumnInJapaneseFaces)
{
    // ｰ, ー, ～ and − run down the column: in the face's vertical form, or
    // turned a quarter.
    for (const char* name : {"IPAGothic", "IPAMincho"}) {
        FaceTable faces;
        FaceHandles handles;
        OpenFace& face = handles.Open(faces, faces.FaceFor(faces.ChainFor(name), {}));
        for (const char32_t c : std::u32string(U"ｰー～−")) {
            const std::u32string unit(1, c);
            const ShapedUnit& shaped = face.Shaped(unit, OrientationInColumn(unit));
            ASSERT_EQ(shaped.glyphs.size(), 1u);
            EXPECT_TRUE(shaped.sideways || shaped.glyphs[0].id != face.GlyphOf(c)) << name << " U+" << std::hex << unsigned(c);
        }
    }
}

TEST(Orientation, HalfWidthFormsGoAsTheirFullWidthForms)
{
    EXPECT_EQ(ColumnOrientation(U'ｱ'), VerticalOrientation::Upright);
    EXPECT_EQ(ColumnOrientation(U'ｰ'), VerticalOrientation::TransformedRotated);
    EXPECT_EQ(ColumnOrientation(U'｡'), VerticalOrientation::TransformedUpright);
    EXPECT_EQ(ColumnOrientation(U'｢'), VerticalOrientation::TransformedRotated);
    EXPECT_EQ(ColumnOrientation(U'ﾞ'), VerticalOrientation::Upright);
    EXPECT_EQ(ColumnOrientation(U'￩'), VerticalOrientation::Rotated);
    EXPECT_EQ(ColumnOrientation(U'￭'), VerticalOrientation::Upright);
    // Unicode itself turns them all.
    for (const char32_t c : std::u32string(U"ｱｰ｡｢ﾞ￩￭"))
        EXPECT_EQ(UnicodeVerticalOrientation(c), VerticalOrientation::Rotated);
}

TEST(Orientation, TheTableIsUnicodes)
{
    // The table written from the Unicode Character Database (unicode-data)
    // against the file itself, every code point; what it does not list is R.
    std::ifstream data("/usr/share/unicode/VerticalOrientation.txt");
    ASSERT_TRUE(data) << "install unicode-data (scripts/install-deps)";
    std::vector<VerticalOrientation> expected(0x110000, VerticalOrientation::Rotated);
    const std::map<std::string, VerticalOrientation> values{{"U", VerticalOrientation::Upright},
                                                            {"R", VerticalOrientation::Rotated},
                                                            {"Tu", VerticalOrientation::TransformedUpright},
                                                            {"Tr", VerticalOrientation::TransformedRotated}};
    std::size_t lines = 0;
    for (std::string text; std::getline(data, text);) {
        // "3000..303F ; U  # ..." or "3000 ; U  # ...".
        unsigned first = 0;
        unsigned last = 0;
        char value[3] = {};
        if (std::sscanf(text.c_str(), "%x..%x ; %2[RTUru]", &first, &last, value) != 3) {
            if (std::sscanf(text.c_str(), "%x ; %2[RTUru]", &first, value) != 2)
                continue;
            last = first;
        }
        ASSERT_LT(last, expected.size()) << text;
        for (unsigned c = first; c <= last; ++c)
            expected[c] = values.at(value);
        ++lines;
    }
    ASSERT_GT(lines, 1000u);
    std::size_t differing = 0;
    for (char32_t c = 0; c < 0x110000; ++c)
        differing += UnicodeVerticalOrientation(c) != expected[c];
    EXPECT_EQ(differing, 0u);
}

// ---- Arabic forms ---------------------------------------------------------

TEST(Arabic, JoinersGiveTheLetterItsFormInTheWord)
{
    FaceTable faces;
    FaceHandles handles;
    OpenFace& face = handles.Open(faces, faces.FaceFor(faces.ChainFor("DejaVu Sans"), {}));
    std::set<std::uint32_t> forms;
    for (const std::u32string unit : {U"\u0628", U"\u0628\u200D", U"\u200D\u0628\u200D", U"\u200D\u0628"}) {
        const ShapedUnit& shaped = face.Shaped(unit, UnitOrientation::Horizontal);
        ASSERT_EQ(shaped.glyphs.size(), 1u);
        EXPECT_NE(shaped.glyphs[0].id, 0u);
        forms.insert(shaped.glyphs[0].id);
    }
    // Isolated, initial, medial and final: four glyphs.
    EXPECT_EQ(forms.size(), 4u);
}

// ---- Pictures -------------------------------------------------------------

std::unique_ptr<PixelPicture> Composed(const std::string& text, int size, bool realMode = false,
                                       Writing writing = Writing::Rows, RenderOptions render = {1, 0})
{
    testing::TempDir folder;
    testing::WriteFile(folder / "letter.txt", text);
    CompositionSettings settings;
    settings.sourcePath = folder / "letter.txt";
    settings.faceName = "Morvaleth Test";
    settings.size = size;
    settings.widthText = "400";
    settings.heightText = "300";
    settings.seed = 11;
    settings.realMode = realMode;
    settings.writing = writing;
    settings.render = render;
    return ComposePicture(settings);
}

class CellTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CellTest, IsNeverEmptyAndKeepsToItsCell)
{
    // Size 40: the cell's corner at (40, 40), the next cell at x = 84; the
    // tallest cell (49) tilted by 15 degrees reaches no farther right than
    // x = 40 + 49 cos 15° + 49 sin 15° < 100.
    const auto picture = Composed(GetParam(), 40);
    const testing::InkBox ink = testing::InkOf(*picture);
    ASSERT_FALSE(ink.Empty());
    EXPECT_LT(ink.right, 100);
    EXPECT_GT(ink.left, 20);
    // A colour picture is drawn in grey, as a grey picture has it: the
    // yellow faces and the flag's blue and red as greys.
    for (int y = ink.top; y <= ink.bottom; ++y)
        for (int x = ink.left; x <= ink.right; ++x) {
            const TColor pixel = picture->Pixel(x, y);
            ASSERT_EQ(RedOf(pixel), GreenOf(pixel)) << x << ", " << y;
            ASSERT_EQ(GreenOf(pixel), BlueOf(pixel)) << x << ", " << y;
        }
}

std::string ClusterName(const ::testing::TestParamInfo<const char*>& info)
{
    static const char* const Names[] = {"Family", "Flag", "SkinTone", "Keycap", "Face"};
    return Names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Clusters, CellTest, ::testing::Values("👨‍👩‍👦", "🇫🇷", "👍🏽", "#️⃣", "😀"), ClusterName);

TEST(Pictures, EverySplitPaintsAColumnOfEmojiTheSame)
{
    // Pictures scaled and turned stay inside the rows their stamps claim.
    const std::string text = "👨‍👩‍👦😀🇫🇷葛󠄀塚\n👍🏽ーｰ→";
    for (const Writing writing : {Writing::Rows, Writing::Columns}) {
        const auto whole = Composed(text, 37, true, writing);
        const auto expected = EncodePicture(*whole, PictureFormat::Bmp);
        for (const RenderOptions split : {RenderOptions{3, 1}, RenderOptions{2, 7}})
            EXPECT_TRUE(EncodePicture(*Composed(text, 37, true, writing, split), PictureFormat::Bmp) == expected)
                << split.threads << " threads, " << split.bandRows << " rows a band";
    }
}

} // namespace
} // namespace morvaleth
