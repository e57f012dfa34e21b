// Looks beyond grey: what each one may change and what it must leave alone.

#include "support/TestSupport.h"

#include "composer/Composition.h"
#include "composer/plan/StampPlan.h"
#include "composer/render/StampPainter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace morvaleth {
namespace {

const std::string Letter = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-utf8.txt";

Look AllOn()
{
    return {PaletteId::Magazine, {false, MakeColor(0xF5, 0xF5, 0xDC)}, true, true};
}

struct LookCase {
    const char* name;
    Look look;
    friend void PrintTo(const LookCase& c, std::ostream* out) { *out << c.name; }
};

const LookCase Looks[] = {
    {"Magazine", {PaletteId::Magazine, {}, false, false}},
    {"Newsprint", {PaletteId::Newsprint, {}, false, false}},
    {"Background", {PaletteId::Grey, {false, MakeColor(0x20, 0x40, 0x80)}, false, false}},
    {"Transparent", {PaletteId::Grey, {true, clWhite}, false, false}},
    {"Torn", {PaletteId::Grey, {}, true, false}},
    {"Shadow", {PaletteId::Grey, {}, false, true}},
    {"Everything", AllOn()},
};

struct PlanRun {
    Writing writing;
    bool realMode;
    std::uint32_t seed;
};

const PlanRun PlanRuns[] = {
    {Writing::Rows, true, 20261207},
    {Writing::Rows, false, 77},
    {Writing::Columns, true, 5},
};

// Everything of a stamp but its look and the rows it reserves.
using Placed = std::tuple<int, int, int, int, int, int, int, FaceId, bool, std::u32string>;

std::vector<Stamp> PlanAll(const Look& look, const PlanRun& run, int size = 24, int width = 300, int height = 260,
                           StampList* kept = nullptr)
{
    SourceReader source(Letter, SourceEncoding::Utf8);
    RandomSource random(run.seed);
    FaceTable faces;
    PlanStyle style{size, run.realMode, "IPAPMincho", run.writing, {FaceMix::Listed, {"IPAMincho", "IPAPGothic"}, true}};
    style.look = look;
    StampPlan plan(style, source, random, faces, width, height);
    StampList list;
    while (!plan.Done())
        plan.PlanSome(1000, list, {});
    if (kept != nullptr)
        *kept = list;
    return list.stamps;
}

std::vector<Placed> PlacesOf(const std::vector<Stamp>& stamps)
{
    std::vector<Placed> placed;
    for (const Stamp& s : stamps)
        placed.emplace_back(s.x, s.y, s.cellHeight, s.tilt, s.scheme, s.dx, s.dy, s.face, s.bold, s.scrap
                                ? std::u32string(U"scrap") : std::u32string());
    return placed;
}

class LookTest : public ::testing::TestWithParam<LookCase> {};

TEST_P(LookTest, KeepsEveryStampsPlaceHeightTiltScrapAndFace)
{
    const Look& look = GetParam().look;
    for (const PlanRun& run : PlanRuns) {
        const std::vector<Stamp> plain = PlanAll({}, run);
        const std::vector<Stamp> looked = PlanAll(look, run);
        ASSERT_GT(plain.size(), 20u);
        EXPECT_EQ(PlacesOf(looked), PlacesOf(plain)) << "seed " << run.seed;
        // And the look reaches every stamp: its palette, its shadow, a tear
        // for every one when torn.
        for (const Stamp& s : looked) {
            EXPECT_EQ(s.palette, look.palette);
            EXPECT_EQ(s.shadow, look.shadow);
            EXPECT_EQ(s.tear != 0, look.torn);
        }
    }
}

// FNV-1a over the pixel rows.
std::uint64_t Checksum(const PixelPicture& picture)
{
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (int y = 0; y < picture.Height(); ++y)
        for (std::size_t i = 0; i < picture.Stride(); ++i)
            hash = (hash ^ picture.ScanLine(y)[i]) * 0x100000001b3u;
    return hash;
}

TEST_P(LookTest, EverySplitOfTheWorkGivesTheSamePicture)
{
    for (const PlanRun& run : PlanRuns) {
        CompositionSettings settings;
        settings.sourcePath = Letter;
        settings.encoding = SourceEncoding::Utf8;
        settings.size = 37;
        settings.widthText = "420";
        settings.heightText = "300";
        settings.realMode = run.realMode;
        settings.writing = run.writing;
        settings.seed = run.seed;
        settings.look = GetParam().look;
        std::uint64_t first = 0;
        for (const auto& [threads, bandRows] : {std::pair{1, 0}, {1, 1}, {2, 7}, {3, 16}, {8, 3}}) {
            settings.render = {threads, bandRows};
            const std::uint64_t sum = Checksum(*ComposePicture(settings));
            if (first == 0)
                first = sum;
            EXPECT_EQ(sum, first) << threads << " threads, " << bandRows << " rows a band";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Looks, LookTest, ::testing::ValuesIn(Looks),
                         [](const auto& info) { return std::string(info.param.name); });

// Each stamp painted alone on a white page changes no row outside those the
// plan reserves for it: a band that leaves the stamp out misses none of it.
TEST(LookRows, TornScrapsAndShadowsStayInTheirReservedRows)
{
    for (const bool realMode : {true, false}) {
        StampList list;
        PlanAll(AllOn(), {Writing::Rows, realMode, 9}, 90, 700, 500, &list);
        FaceTable faces;
        {
            // The plan opened the faces in its own table: plan again into
            // this one so that the face ids agree.
            SourceReader source(Letter, SourceEncoding::Utf8);
            RandomSource random(9);
            PlanStyle style{90, realMode, "IPAPMincho", Writing::Rows, {FaceMix::Listed, {"IPAMincho", "IPAPGothic"}, true}};
            style.look = AllOn();
            StampPlan plan(style, source, random, faces, 700, 500);
            list = {};
            while (!plan.Done())
                plan.PlanSome(1000, list, {});
        }
        StampPainter painter(faces);
        ASSERT_GT(list.stamps.size(), 10u);
        for (const Stamp& stamp : list.stamps) {
            PixelPicture page;
            page.SetWidth(700);
            page.SetHeight(500);
            painter.Paint(stamp, list.CodePointsOf(stamp), page.Surface());
            int first = -1;
            int last = -1;
            for (int y = 0; y < page.Height(); ++y)
                for (int x = 0; x < page.Width(); ++x)
                    if (page.Pixel(x, y) != clWhite) {
                        first = first < 0 ? y : first;
                        last = y;
                        break;
                    }
            if (first < 0)
                continue;
            EXPECT_GE(first, stamp.top) << "stamp at " << stamp.x << ", " << stamp.y;
            EXPECT_LT(last, stamp.bottom) << "stamp at " << stamp.x << ", " << stamp.y;
        }
    }
}

TEST(LookRows, ATornSideStraysNoFartherThanItsDepthAndKeepsItsCorners)
{
    const std::array<TPoint, 4> corners = ScrapCorners(100, 50, 64, -3, 2);
    const TPoint startOf[] = {corners[0], corners[1], corners[2], corners[3]};
    std::set<int> strays;
    for (std::uint32_t tear = 1; tear < 200; tear += 2) {
        const auto torn = TornCorners(corners, 64, tear);
        EXPECT_EQ(torn, TornCorners(corners, 64, tear));
        for (std::size_t side = 0; side < 4; ++side) {
            EXPECT_EQ(torn[side * 4], startOf[side]);
            for (std::size_t k = 1; k <= 3; ++k) {
                const TPoint point = torn[side * 4 + k];
                const TPoint to = startOf[(side + 1) % 4];
                // The straight cut's point: upright sides stray across,
                // level ones up or down.
                const int x = startOf[side].x + (to.x - startOf[side].x) * int(k) / 4;
                const int y = startOf[side].y + (to.y - startOf[side].y) * int(k) / 4;
                const int stray = side % 2 == 0 ? point.x - x : point.y - y;
                EXPECT_EQ(side % 2 == 0 ? point.y : point.x, side % 2 == 0 ? y : x);
                EXPECT_LE(std::abs(stray), TearDepth(64));
                strays.insert(stray);
            }
        }
    }
    // Every depth from one way to the other turns up.
    EXPECT_EQ(strays.size(), std::size_t(2 * TearDepth(64) + 1));
}

TEST(Palette, EveryStampsColoursComeFromItsTable)
{
    for (const PaletteId palette : {PaletteId::Magazine, PaletteId::Newsprint, PaletteId::Pastel}) {
        const std::span<const ScrapColors> table = PaletteColors(palette);
        ASSERT_GE(table.size(), 4u);
        std::set<int> pairs;
        for (const bool realMode : {true, false}) {
            for (const Stamp& s : PlanAll({palette, {}, false, false}, {Writing::Rows, realMode, 3})) {
                const ScrapColors colors = s.Colors();
                const ScrapColors pair = table[s.pair];
                pairs.insert(s.pair);
                if (realMode) {
                    EXPECT_EQ(std::tie(colors.outline, colors.fill, colors.character),
                              std::tie(pair.outline, pair.fill, pair.character));
                } else {
                    // The ink alone, the darker of the pair on the page.
                    const auto light = [](TColor c) { return 299 * RedOf(c) + 587 * GreenOf(c) + 114 * BlueOf(c); };
                    const TColor darker = light(pair.fill) < light(pair.character) ? pair.fill : pair.character;
                    EXPECT_EQ(colors.character, darker);
                }
            }
        }
        EXPECT_EQ(pairs.size(), table.size()) << PaletteName(palette);
    }
}

TEST(Palette, TheScrapsOfAPicturePaintTheirPapers)
{
    CompositionSettings settings;
    settings.sourcePath = Letter;
    settings.encoding = SourceEncoding::Utf8;
    settings.size = 30;
    settings.realMode = true;
    settings.seed = 44;
    settings.look.palette = PaletteId::Pastel;
    const auto picture = ComposePicture(settings);
    std::map<TColor, int> count;
    for (int y = 0; y < picture->Height(); ++y)
        for (int x = 0; x < picture->Width(); ++x)
            ++count[picture->Pixel(x, y)];
    for (const ScrapColors& pair : PaletteColors(PaletteId::Pastel))
        EXPECT_GT(count[pair.fill], 100) << std::hex << pair.fill;
    // Nothing of the grey schemes' papers.
    EXPECT_EQ(count[clGray], 0);
    EXPECT_EQ(count[clSilver], 0);
}

TEST(Background, ThePagesColourIsTheBackgroundsAndItsNamesReadBack)
{
    for (const char* text : {"#1a2b3c", "ivory", "Black", "transparent"}) {
        const auto background = BackgroundNamed(text);
        ASSERT_TRUE(background) << text;
        EXPECT_EQ(BackgroundNamed(BackgroundText(*background)), background);
    }
    EXPECT_EQ(BackgroundNamed("#1a2b3c")->color, MakeColor(0x1A, 0x2B, 0x3C));
    EXPECT_EQ(BackgroundNamed("white"), Background{});
    for (const char* text : {"", "#12345", "#12345g", "#1234567", "chartreuse-ish", "transparentx"})
        EXPECT_FALSE(BackgroundNamed(text)) << text;

    CompositionSettings settings;
    settings.sourcePath = Letter;
    settings.encoding = SourceEncoding::Utf8;
    settings.seed = 8;
    settings.look.background = *BackgroundNamed("#1a2b3c");
    const auto picture = ComposePicture(settings);
    EXPECT_EQ(picture->Pixel(0, 0), MakeColor(0x1A, 0x2B, 0x3C));
    EXPECT_EQ(picture->Pixel(picture->Width() - 1, picture->Height() - 1), MakeColor(0x1A, 0x2B, 0x3C));
}

TEST(Look, TheDefaultNamesGiveTheGreyPictureByteForByte)
{
    CompositionSettings settings;
    settings.sourcePath = Letter;
    settings.encoding = SourceEncoding::Utf8;
    settings.realMode = true;
    settings.seed = 12;
    const std::uint64_t grey = Checksum(*ComposePicture(settings));
    settings.look = {*PaletteNamed("GREY"), *BackgroundNamed("#ffffff"), false, false};
    EXPECT_EQ(Checksum(*ComposePicture(settings)), grey);
    EXPECT_FALSE(settings.look.Coloured());
    settings.look.palette = PaletteId::Newsprint;
    EXPECT_NE(Checksum(*ComposePicture(settings)), grey);
    EXPECT_TRUE(settings.look.Coloured());
}

} // namespace
} // namespace morvaleth
