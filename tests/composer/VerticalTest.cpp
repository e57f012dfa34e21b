#include "support/TestSupport.h"
#include "reference/ComposeText.h"

#include "reference/BitmapCanvas.h"
#include "composer/encode/Bmp.h"
#include "composer/encode/PictureFile.h"
#include "composer/Composition.h"
#include "composer/Error.h"
#include "composer/faces/FaceTable.h"
#include "composer/faces/OpenFace.h"
#include "composer/Owned.h"
#include "composer/faces/Shaping.h"
#include "composer/plan/StampPlan.h"
#include "composer/text/TextDecoder.h"
#include "composer/plan/GridLayout.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <set>
#include <type_traits>
#include <vector>

namespace morvaleth {

void PrintTo(const CellPlace& place, std::ostream* out)
{
    *out << "(" << place.x << ", " << place.y << ")";
}

namespace {

// What a text laid out in columns gives: a place for every unit, '\n' ending
// a line. Reading stops where the layout says so.
std::vector<CellPlace> Columns(std::string_view text, int width, int height, int size = 20, int reach = 58)
{
    VerticalLayout layout(size, width, height, reach);
    std::vector<CellPlace> places;
    if (!layout.HasRoom())
        return places;
    for (char c : text) {
        if (c == '\n') {
            if (!layout.AfterLineEnd())
                break;
            continue;
        }
        places.push_back(layout.Place());
        if (!layout.AfterUnit())
            break;
    }
    return places;
}

std::vector<CellPlace> Column(std::int64_t x, int count, int first = 20, int pitch = 22)
{
    std::vector<CellPlace> column;
    for (int i = 0; i < count; ++i)
        column.push_back({x, first + i * pitch});
    return column;
}

std::vector<CellPlace> Join(std::initializer_list<std::vector<CellPlace>> parts)
{
    std::vector<CellPlace> joined;
    for (const auto& part : parts)
        joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

struct ColumnCase {
    const char* name;
    std::string text;
    int width;
    int height;
    int size;
    std::vector<CellPlace> expected;
};

class VerticalLayoutTest : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(VerticalLayoutTest, PlacesUnitsInColumnsFromTheRight)
{
    const ColumnCase& c = GetParam();
    EXPECT_EQ(Columns(c.text, c.width, c.height, c.size), c.expected);
}

std::string Lines(int count, int unitsPerLine)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::string(std::size_t(unitsPerLine), 'a') + "\n";
    return text;
}

std::vector<CellPlace> ColumnHeads(int count, std::int64_t first = 600)
{
    std::vector<CellPlace> heads;
    for (int i = 0; i < count; ++i)
        heads.push_back({first - 22 * i, 20});
    return heads;
}

// 640 × 480 at size 20: gap 2, pitch 22. The first column stands at
// 640 − 20 − 20 = 600; a column holds y = 20 … 438 (after 438 the next y, 460,
// would end below 480); the 28th column stands at x = 6, and a 29th at x = −16
// would pass the left edge. A column needs the margin, its cell and the gap:
// 42 pixels at size 20.
INSTANTIATE_TEST_SUITE_P(
    Cases, VerticalLayoutTest,
    ::testing::Values(
        ColumnCase{"OneLine", "aaa", 640, 480, 20, Column(600, 3)},
        ColumnCase{"LineEndsStartNewColumns", "aa\na\n\nb", 640, 480, 20,
                   Join({Column(600, 2), Column(578, 1), Column(534, 1)})},
        ColumnCase{"WrapsAtTheBottomEdge", std::string(21, 'a'), 640, 480, 20,
                   Join({Column(600, 20), Column(578, 1)})},
        ColumnCase{"AWrapOnTheLastUnitLeavesAnEmptyColumn", std::string(20, 'a') + "\nb", 640, 480, 20,
                   Join({Column(600, 20), Column(556, 1)})},
        ColumnCase{"StopsAtTheFirstLineEndPastTheLeftEdge", Lines(40, 1), 640, 480, 20, ColumnHeads(28)},
        ColumnCase{"SmallSizesHaveNoGap", "aa\na", 100, 100, 9, {{82, 9}, {82, 18}, {73, 9}}},
        ColumnCase{"AShortPictureWrapsAfterEveryUnit", "aaa", 640, 63, 20, {{600, 20}, {578, 20}, {556, 20}}},
        ColumnCase{"OnlyLineEndsStampNothing", "\n\n\n", 640, 480, 20, {}},
        ColumnCase{"TooNarrowForOneColumn", "aaa", 41, 480, 20, {}},
        ColumnCase{"SizeLargerThanThePicture", "aaa", 640, 480, 700, {}},
        ColumnCase{"JustWideEnoughForOneColumn", "a\na", 42, 480, 20, {{2, 20}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VerticalLayout, AnEndlessLineStopsOnceItsColumnsCannotReachThePicture)
{
    // Columns of 20 units; the stamps reach 58 pixels. The column whose right
    // side (x + 20) lies 58 or more pixels left of the picture is the first
    // that stops: x + 20 + 58 ≤ 0, so x ≤ −78, the column at 600 − 22 × 31 = −82.
    const std::string endless(100 * 20, 'a');
    const auto places = Columns(endless, 640, 480);
    ASSERT_EQ(places.size(), 31u * 20u);
    EXPECT_EQ(places.back(), (CellPlace{-60, 438}));
}

// The faces the glyph tests use: a proportional gothic and a fixed-pitch mincho.
std::vector<FaceLocation> TestFaces()
{
    return {FindFace("IPAPGothic"), FindFace("IPAMincho")};
}

// A face opened with FreeType and a shaper on it; the IPA fonts' cell is
// 1802 units above the baseline and 246 below.
struct ShapingFace {
    explicit ShapingFace(const FaceLocation& location)
    {
        FT_Library opened = nullptr;
        EXPECT_EQ(FT_Init_FreeType(&opened), 0);
        library.reset(opened);
        FT_Face loaded = nullptr;
        EXPECT_EQ(FT_New_Face(library.get(), location.file.c_str(), location.index, &loaded), 0);
        face.reset(loaded);
        shaper = std::make_unique<Shaper>(face.get(), CellExtent{1802, 246});
    }
    Owned<std::remove_pointer_t<FT_Library>, FT_Done_FreeType> library;
    Owned<std::remove_pointer_t<FT_Face>, FT_Done_Face> face;
    std::unique_ptr<Shaper> shaper;
};

class VerticalGlyphsTest : public ::testing::TestWithParam<char32_t> {};

TEST_P(VerticalGlyphsTest, StandUprightInTheFacesVerticalForm)
{
    for (const FaceLocation& face : TestFaces()) {
        SCOPED_TRACE(face.family);
        ASSERT_FALSE(face.file.empty());
        const ShapingFace opened(face);
        const Shaper& shaper = *opened.shaper;
        const std::u32string unit(1, GetParam());
        EXPECT_EQ(OrientationInColumn(unit), UnitOrientation::Upright);
        const ShapedUnit across = shaper.Shape(unit, UnitOrientation::Horizontal);
        const ShapedUnit down = shaper.Shape(unit, UnitOrientation::Upright);
        ASSERT_EQ(across.glyphs.size(), 1u);
        ASSERT_EQ(down.glyphs.size(), 1u);
        EXPECT_NE(across.glyphs[0].id, 0u);
        EXPECT_NE(down.glyphs[0].id, across.glyphs[0].id);
        EXPECT_FALSE(down.sideways);
        // Set in the em square: full-width glyphs keep their horizontal place.
        EXPECT_EQ(down.glyphs[0], (ShapedGlyph{down.glyphs[0].id, 0, 1802}));
    }
}

INSTANTIATE_TEST_SUITE_P(Punctuation, VerticalGlyphsTest, ::testing::Values(U'、', U'。', U'「', U'」', U'ー'));
INSTANTIATE_TEST_SUITE_P(SmallKana, VerticalGlyphsTest,
                         ::testing::Values(U'ぁ', U'っ', U'ゃ', U'ょ', U'ァ', U'ッ', U'ュ', U'ヵ'));

TEST(Shaping, OrdinaryCharactersKeepTheCharacterMapsGlyph)
{
    for (const FaceLocation& face : TestFaces()) {
        SCOPED_TRACE(face.family);
        const ShapingFace opened(face);
        const Shaper& shaper = *opened.shaper;
        for (char32_t c : std::u32string(U"あ漢字Ａ１")) {
            const std::u32string unit(1, c);
            EXPECT_EQ(OrientationInColumn(unit), UnitOrientation::Upright);
            const std::uint32_t nominal = shaper.NominalGlyph(c);
            EXPECT_NE(nominal, 0u);
            EXPECT_EQ(shaper.Shape(unit, UnitOrientation::Horizontal).glyphs,
                      (std::vector<ShapedGlyph>{{nominal, 0, 1802}}));
            // A proportional face may give its narrow kana an em-wide form in
            // a column; a fixed-pitch one has no other form for them.
            if (face.family == "IPAMincho") {
                EXPECT_EQ(shaper.Shape(unit, UnitOrientation::Upright).glyphs.at(0).id, nominal);
            }
        }
        EXPECT_EQ(shaper.Shape(std::u32string(1, ReplacementCharacter), UnitOrientation::Horizontal).glyphs,
                  (std::vector<ShapedGlyph>{{0, 0, 1802}}));
    }
}

TEST(Shaping, HalfWidthLatinLiesOnItsSide)
{
    const FaceLocation face = FindFace("IPAMincho");
    const ShapingFace opened(face);
    const Shaper& shaper = *opened.shaper;
    for (char32_t c : std::u32string(U"Ag1(")) {
        const std::u32string unit(1, c);
        ASSERT_EQ(OrientationInColumn(unit), UnitOrientation::Sideways);
        const ShapedUnit shaped = shaper.Shape(unit, UnitOrientation::Sideways);
        ASSERT_EQ(shaped.glyphs.size(), 1u);
        EXPECT_TRUE(shaped.sideways);
        EXPECT_EQ(shaped.glyphs[0].id, shaper.NominalGlyph(c));
        // The baseline runs down from the cell's top, the band from descent to
        // ascent centred on the em square's middle: 1024 − (1802 − 246) / 2.
        EXPECT_EQ(shaped.glyphs[0].x, 246);
        EXPECT_EQ(shaped.glyphs[0].y, 0);
    }
    // A space turns as Latin text does (it shows nothing either way); a
    // half-width katakana stands as its full-width form does.
    EXPECT_EQ(OrientationInColumn(U" "), UnitOrientation::Sideways);
    EXPECT_EQ(OrientationInColumn(U"ｱ"), UnitOrientation::Upright);
}

TEST(Shaping, AClusterIsShapedAsOne)
{
    const FaceLocation face = FindFace("IPAMincho");
    const ShapingFace opened(face);
    const Shaper& shaper = *opened.shaper;
    // か with a combining voiced mark composes to が in the face.
    const std::u32string cluster = U"\u304B\u3099";
    for (UnitOrientation orientation : {UnitOrientation::Horizontal, UnitOrientation::Upright}) {
        const ShapedUnit shaped = shaper.Shape(cluster, orientation);
        ASSERT_FALSE(shaped.glyphs.empty());
        EXPECT_EQ(shaped.glyphs[0].id, shaper.NominalGlyph(U'が'));
    }
    // The second glyph of a pair follows the first across, and below it down.
    const ShapedUnit across = shaper.Shape(U"AB", UnitOrientation::Horizontal);
    ASSERT_EQ(across.glyphs.size(), 2u);
    EXPECT_GT(across.glyphs[1].x, across.glyphs[0].x);
    const ShapedUnit down = shaper.Shape(U"AB", UnitOrientation::Sideways);
    ASSERT_EQ(down.glyphs.size(), 2u);
    EXPECT_EQ(down.glyphs[1].x, down.glyphs[0].x);
    EXPECT_EQ(down.glyphs[1].y - down.glyphs[0].y, across.glyphs[1].x - across.glyphs[0].x);
}

// The stamps of a run as the canvas was asked to draw them.
std::vector<testing::DrawCall> Plan(const CompositionSettings& settings, std::uint32_t seed)
{
    testing::TempDir folder;
    testing::WriteFile(folder / "letter.txt",
                       "拝啓\r\n秋も深まり、朝晩はすっかり冷え込むようになりました。\r\n"
                       "「ＡＢＣ」と abc 123 をお返しします。\r\n\r\n敬具");
    testing::RecordingPicture picture(500, 400);
    SourceReader source(folder / "letter.txt", SourceEncoding::Utf8);
    RandomSource random(seed);
    ComposeText(picture, source, settings, random);
    return picture.canvas.calls;
}

struct RunCase {
    std::uint32_t seed;
    bool realMode;
    bool vertical;
};

void PrintTo(const RunCase& run, std::ostream* out)
{
    *out << "seed " << run.seed << (run.realMode ? ", real" : "") << (run.vertical ? ", vertical" : "");
}

class MixedRunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(MixedRunTest, FacesChangeNothingButTheFaces)
{
    CompositionSettings plain;
    plain.realMode = GetParam().realMode;
    plain.writing = GetParam().vertical ? Writing::Columns : Writing::Rows;
    CompositionSettings mixed = plain;
    mixed.faces = {FaceMix::Japanese, {}, true};

    const auto expected = Plan(plain, GetParam().seed);
    const auto actual = Plan(mixed, GetParam().seed);
    ASSERT_EQ(actual.size(), expected.size());
    std::set<std::string> families;
    int bold = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        const testing::DrawCall& want = expected[i];
        const testing::DrawCall& got = actual[i];
        ASSERT_EQ(got.kind, want.kind);
        EXPECT_EQ(got.points, want.points) << i;
        EXPECT_EQ(got.at, want.at) << i;
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.pen.Color, want.pen.Color);
        EXPECT_EQ(got.brush.Color, want.brush.Color);
        EXPECT_EQ(got.font.Color, want.font.Color);
        EXPECT_EQ(got.font.Handle.lfHeight, want.font.Handle.lfHeight);
        EXPECT_EQ(got.font.Handle.lfEscapement, want.font.Handle.lfEscapement);
        if (got.kind == testing::DrawCall::Kind::Text) {
            EXPECT_EQ(got.font.Setting, GetParam().vertical ? Flow::Column : Flow::Line);
            EXPECT_EQ(want.face, "");
            ASSERT_NE(got.face, "");
            families.insert(got.face);
            bold += got.font.Handle.lfWeight == FW_BOLD;
        }
    }
    EXPECT_GE(families.size(), 3u);
    EXPECT_GT(bold, 0);
}

TEST_P(MixedRunTest, ColumnsChangeOnlyThePlaces)
{
    CompositionSettings rows;
    rows.realMode = GetParam().realMode;
    CompositionSettings columns = rows;
    columns.writing = Writing::Columns;

    const auto across = Plan(rows, GetParam().seed);
    const auto down = Plan(columns, GetParam().seed);
    ASSERT_EQ(down.size(), across.size());
    for (std::size_t i = 0; i < down.size(); ++i) {
        ASSERT_EQ(down[i].kind, across[i].kind);
        EXPECT_EQ(down[i].font.Handle.lfHeight, across[i].font.Handle.lfHeight);
        EXPECT_EQ(down[i].font.Handle.lfEscapement, across[i].font.Handle.lfEscapement);
        EXPECT_EQ(down[i].font.Color, across[i].font.Color);
        EXPECT_EQ(down[i].brush.Color, across[i].brush.Color);
        // The scrap keeps its shape, its corner on the cell's top-left.
        if (down[i].kind == testing::DrawCall::Kind::Polygon) {
            const TPoint corner = down[i].points[0];
            const TPoint other = across[i].points[0];
            ASSERT_EQ(down[i].points.size(), across[i].points.size());
            for (std::size_t k = 0; k < down[i].points.size(); ++k) {
                EXPECT_EQ(down[i].points[k].x - corner.x, across[i].points[k].x - other.x);
                EXPECT_EQ(down[i].points[k].y - corner.y, across[i].points[k].y - other.y);
            }
            EXPECT_EQ(corner, down[i + 1].at);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, MixedRunTest,
                         ::testing::Values(RunCase{1, false, false}, RunCase{1, true, false}, RunCase{2024, true, true},
                                           RunCase{86399999, false, true}));

TEST(MixedRun, TheSeedFixesEveryFace)
{
    CompositionSettings mixed;
    mixed.faces = {FaceMix::Listed, {"IPAMincho", "IPAGothic"}, false};
    const auto first = Plan(mixed, 5);
    const auto again = Plan(mixed, 5);
    const auto other = Plan(mixed, 6);
    std::vector<std::string> faces[3];
    for (auto [plan, into] : {std::pair{&first, &faces[0]}, {&again, &faces[1]}, {&other, &faces[2]}})
        for (const testing::DrawCall& call : *plan)
            into->push_back(call.face);
    EXPECT_EQ(faces[0], faces[1]);
    EXPECT_NE(faces[0], faces[2]);
}

TEST(MixedRun, ASetFaceCutsWhatItLacksFromItsOwnFallbacks)
{
    testing::TempDir folder;
    testing::WriteFile(folder / "letter.txt", "Wa漢あg");
    SourceReader source(folder / "letter.txt", SourceEncoding::Utf8);
    RandomSource random(3);
    FaceTable faces;
    StampPlan plan({20, true, "IPAGothic", Writing::Rows, {FaceMix::Listed, {"DejaVu Serif"}, false}}, source, random, faces,
                   640, 480);
    StampList list;
    while (!plan.Done())
        plan.PlanSome(1000, list, {});
    ASSERT_EQ(list.stamps.size(), 5u);
    const auto familyOf = [&](std::size_t i) { return faces.Location(list.stamps[i].face).family; };
    for (const std::size_t latin : {0u, 1u, 4u})
        EXPECT_EQ(familyOf(latin), "DejaVu Serif") << latin;
    // DejaVu Serif has no kana or kanji: a Japanese face of its chain cuts them.
    std::set<std::string> japanese;
    for (const FaceLocation& face : InstalledJapaneseFaces())
        japanese.insert(face.family);
    for (const std::size_t kana : {2u, 3u})
        EXPECT_TRUE(japanese.contains(familyOf(kana))) << kana << ": " << familyOf(kana);
}

// The same runs through the engine: the plan's stamps against the canvas run's
// drawing calls, and the banded pictures against the canvas run's pixels.
struct EngineCase {
    const char* name;
    bool realMode;
    bool vertical;
    FaceChoice faces;
};

void PrintTo(const EngineCase& run, std::ostream* out)
{
    *out << run.name;
}

class EngineRunTest : public ::testing::TestWithParam<EngineCase> {
protected:
    void SetUp() override
    {
        testing::WriteFile(folder_ / "letter.txt",
                           "拝啓\r\n秋も深まり、朝晩はすっかり冷え込むようになりました。\r\n"
                           "「ＡＢＣ」と abc 123 をお返しします。\r\n\r\n敬具");
        settings_.sourcePath = folder_ / "letter.txt";
        settings_.encoding = SourceEncoding::Utf8;
        settings_.widthText = "300";
        settings_.heightText = "260";
        settings_.size = 24;
        settings_.seed = 77;
        settings_.realMode = GetParam().realMode;
        settings_.writing = GetParam().vertical ? Writing::Columns : Writing::Rows;
        settings_.faces = GetParam().faces;
    }

    testing::TempDir folder_;
    CompositionSettings settings_;
};

TEST_P(EngineRunTest, EverySplitPaintsWhatTheCanvasRunPaints)
{
    TBitmap canvas;
    canvas.SetHeight(260);
    canvas.SetWidth(300);
    {
        SourceReader source(settings_.sourcePath, SourceEncoding::Utf8);
        RandomSource random(77);
        ComposeText(canvas, source, settings_, random);
    }
    const std::vector<std::uint8_t> expected = EncodePicture(canvas.Pixels(), PictureFormat::Bmp);
    ASSERT_FALSE(testing::InkOf(canvas.Pixels()).Empty());
    for (const RenderOptions split : {RenderOptions{1, 0}, RenderOptions{2, 7}, RenderOptions{3, 1},
                                      RenderOptions{8, 0}}) {
        settings_.render = split;
        const auto picture = ComposePicture(settings_);
        ASSERT_NE(picture, nullptr);
        EXPECT_TRUE(EncodePicture(*picture, PictureFormat::Bmp) == expected) << split.threads << " threads, " << split.bandRows << " rows";
    }
}

// What a planned stamp takes at the least: itself and one code point.
constexpr std::size_t StampBytes = sizeof(Stamp) + sizeof(char32_t);

TEST(ColumnRun, APictureThatCouldTakeMoreStampsThanAllowedIsRefusedBeforeThePlan)
{
    // 200 × 4000 at size 4 holds about 51 columns of 1001 units; the text is
    // longer than that, so the picture's cells decide. Columns hold all their
    // stamps until the plan ends, rows only those of a stretch.
    testing::TempDir folder;
    testing::WriteFile(folder / "line.txt", std::string(60000, 'a'));
    CompositionSettings settings;
    settings.sourcePath = folder / "line.txt";
    settings.widthText = "200";
    settings.heightText = "4000";
    settings.size = 4;
    settings.seed = 1;
    settings.render = {1, 16, std::size_t(1) << 20};
    EXPECT_NE(ComposePicture(settings), nullptr);
    settings.writing = Writing::Columns;
    const std::uint64_t cells = VerticalLayout(4, 200, 4000, LowestStampReach(4)).MostCells();
    ASSERT_LT(cells, 60000u);
    ASSERT_GT(cells, 50000u);

    // Refused when the run is opened, before the output would be touched,
    // naming what to change; allowed exactly from the estimate's memory on.
    settings.render.mostStampBytes = cells * StampBytes - 1;
    CompositionRun refused(settings);
    try {
        refused.OpenSource();
        ADD_FAILURE() << "opened";
    } catch (const Error& error) {
        EXPECT_EQ(error.Kind(), ErrorKind::Resources);
        EXPECT_STREQ(error.what(),
                     "200 × 4000 の縦書きにｻｲｽﾞ 4 の文字を並べるにはﾒﾓﾘが足りません (ｻｲｽﾞを大きくするか、横書きにして下さい)");
    }
    settings.render.mostStampBytes = cells * StampBytes + (std::size_t(8) << 20);
    EXPECT_NE(ComposePicture(settings), nullptr);

    // A text shorter than the picture's cells is judged by its length.
    testing::WriteFile(folder / "line.txt", std::string(1000, 'a'));
    settings.render.mostStampBytes = 1000 * StampBytes + (std::size_t(1) << 20);
    EXPECT_NE(ComposePicture(settings), nullptr);
}

TEST(ColumnRun, TheMemoryTheStampsHoldIsCountedAsTheyArePlanned)
{
    // A source of unknown length (a device) may pass the estimate; the
    // stamps' memory is then counted as it grows, and refused before it
    // passes what is allowed.
    CompositionSettings settings;
    settings.sourcePath = "/dev/zero";
    settings.realMode = true;
    settings.writing = Writing::Columns;
    settings.widthText = "640";
    settings.heightText = "480";
    settings.size = 4;
    settings.seed = 1;
    const std::uint64_t cells = VerticalLayout(4, 640, 480, LowestStampReach(4)).MostCells();
    settings.render = {1, 16, cells * StampBytes};
    try {
        ComposePicture(settings);
        ADD_FAILURE() << "composed";
    } catch (const Error& error) {
        EXPECT_EQ(error.Kind(), ErrorKind::Resources);
        EXPECT_THAT(error.what(), ::testing::StartsWith("640 × 480 の縦書きにｻｲｽﾞ 4 の文字を"));
    }
    settings.render.mostStampBytes = 4 * cells * (StampBytes + sizeof(char32_t) * MaxStampCodePoints);
    EXPECT_NE(ComposePicture(settings), nullptr);
}

// The most cells a layout gives is at least what an endless line places, and
// not far beyond it: the estimate that refuses a run must not refuse one that
// fits by much.
struct CellsCase {
    const char* name;
    Writing writing;
    int size;
    int width;
    int height;
};

class MostCellsTest : public ::testing::TestWithParam<CellsCase> {};

TEST_P(MostCellsTest, BoundWhatAnEndlessLinePlaces)
{
    const CellsCase& c = GetParam();
    const std::unique_ptr<Layout> layout = MakeLayout(c.writing, c.size, c.width, c.height, LowestStampReach(c.size));
    const std::int64_t most = layout->MostCells();
    std::int64_t placed = 0;
    if (layout->HasRoom()) {
        do
            ++placed;
        while (layout->AfterUnit());
        EXPECT_DOUBLE_EQ(layout->Passed(), 1.0);
    }
    EXPECT_GE(most, placed);
    EXPECT_LE(most, placed + placed / 5 + 64);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, MostCellsTest,
    ::testing::Values(CellsCase{"Rows", Writing::Rows, 20, 640, 480}, CellsCase{"Columns", Writing::Columns, 20, 640, 480},
                      CellsCase{"TinyColumns", Writing::Columns, 1, 300, 200},
                      CellsCase{"TallColumns", Writing::Columns, 4, 200, 4000},
                      CellsCase{"TooNarrowForAColumn", Writing::Columns, 20, 41, 480}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Runs, EngineRunTest,
    ::testing::Values(EngineCase{"columns", false, true, {}}, EngineCase{"real_columns", true, true, {}},
                      EngineCase{"mixed_bold_rows", true, false, {FaceMix::Japanese, {}, true}},
                      EngineCase{"listed_columns", true, true, {FaceMix::Listed, {"IPAMincho", "IPAGothic"}, true}},
                      EngineCase{"latin_face_and_its_fallbacks", true, false,
                                 {FaceMix::Listed, {"DejaVu Serif", "IPAMincho"}, true}},
                      EngineCase{"latin_face_in_columns", false, true, {FaceMix::Listed, {"DejaVu Sans"}, false}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace morvaleth
