// A run traced to a vector device: the device is handed the stamps the raster
// run paints, in its order, with every glyph where the raster picture puts it.

#include "support/TestSupport.h"

#include "composer/Composition.h"
#include "composer/Error.h"
#include "composer/faces/FaceTable.h"
#include "composer/plan/StampPlan.h"
#include "composer/vector/Device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <ostream>
#include <vector>

namespace morvaleth {
namespace {

// A box in picture pixels, continuous: a pixel (x, y) covers [x, x + 1).
struct Box {
    double left = 1e18, top = 1e18, right = -1e18, bottom = -1e18;
    void Add(double x, double y)
    {
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
    }
    bool Empty() const { return right < left; }
};

struct TracedStamp {
    DeviceStamp stamp;
    std::u32string codePoints;
    std::vector<DeviceGlyph> glyphs;
    // Every point of the glyphs' outlines, placed on the picture.
    Box outline;
};

// Keeps a record of everything it is handed.
class RecordingDevice final : public StampDevice {
public:
    int begun = 0, finished = 0;
    int width = -1, height = -1;
    std::map<std::uint16_t, DeviceFace> faces;
    std::vector<TracedStamp> stamps;
    std::vector<std::string> faultsInOrder;

    void Begin(int w, int h) override
    {
        ++begun;
        width = w;
        height = h;
    }
    void Face(const DeviceFace& face) override
    {
        if (faces.count(face.id) != 0)
            faultsInOrder.push_back("face " + std::to_string(face.id) + " handed twice");
        faces[face.id] = face;
    }
    void Stamp(const DeviceStamp& stamp, GlyphOutlines& outlines) override
    {
        if (begun != 1 || finished != 0)
            faultsInOrder.push_back("a stamp outside Begin and Finish");
        if (faces.count(stamp.face) == 0)
            faultsInOrder.push_back("a stamp before its face");
        TracedStamp traced{stamp, std::u32string(stamp.codePoints), {stamp.glyphs.begin(), stamp.glyphs.end()}, {}};
        for (const DeviceGlyph& glyph : stamp.glyphs)
            for (const GlyphPath::Point& p : outlines.Outline(stamp.face, glyph.glyph, stamp.bold).points)
                traced.outline.Add(glyph.x + glyph.xx * p.x + glyph.xy * p.y, glyph.y + glyph.yx * p.x + glyph.yy * p.y);
        // The views last only while the call does.
        traced.stamp.codePoints = {};
        traced.stamp.glyphs = {};
        stamps.push_back(std::move(traced));
    }
    void Finish() override { ++finished; }
};

Box InkOf(const PixelPicture& picture)
{
    Box box;
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (picture.Pixel(x, y) != clWhite) {
                box.Add(x, y);
                box.Add(x + 1, y + 1);
            }
    return box;
}

struct GlyphCase {
    const char* name;
    const char* text;
    Writing writing;
    const char* faces; // listed faces, cut in bold now and then; null for one face
    std::uint32_t seed;

    friend void PrintTo(const GlyphCase& x, std::ostream* out) { *out << x.name; }
};

class DeviceGlyphTest : public ::testing::TestWithParam<GlyphCase> {};

// One character, traced and painted: its outline, placed by the glyph's
// origin and matrix, lies where the painted ink lies. Outline points include
// the control points of curves, which may stand a little outside the ink.
TEST_P(DeviceGlyphTest, OutlinesLieWhereThePictureHasInk)
{
    const GlyphCase& run = GetParam();
    testing::TempDir folder;
    testing::WriteFile(folder / "unit.txt", run.text);
    CompositionSettings settings;
    settings.sourcePath = folder / "unit.txt";
    settings.encoding = SourceEncoding::Utf8;
    settings.size = 48;
    settings.widthText = "200";
    settings.heightText = "200";
    settings.writing = run.writing;
    settings.seed = run.seed;
    if (run.faces != nullptr)
        settings.faces = {FaceMix::Listed, {run.faces}, true};

    RecordingDevice device;
    CompositionRun(settings).Trace(device);
    ASSERT_FALSE(device.stamps.empty());
    Box outline;
    bool bold = false;
    for (const TracedStamp& traced : device.stamps) {
        ASSERT_FALSE(traced.glyphs.empty());
        outline.Add(traced.outline.left, traced.outline.top);
        outline.Add(traced.outline.right, traced.outline.bottom);
        bold = bold || traced.stamp.bold;
    }
    EXPECT_EQ(bold, run.faces != nullptr);

    const Box ink = InkOf(*ComposePicture(settings));
    ASSERT_FALSE(ink.Empty());
    const double slack = 2;
    EXPECT_NEAR(outline.left, ink.left, slack);
    EXPECT_NEAR(outline.top, ink.top, slack);
    EXPECT_NEAR(outline.right, ink.right, slack);
    EXPECT_NEAR(outline.bottom, ink.bottom, slack);
}

INSTANTIATE_TEST_SUITE_P(
    Units, DeviceGlyphTest,
    ::testing::Values(GlyphCase{"KanjiInARow", "漢", Writing::Rows, nullptr, 3},
                      GlyphCase{"TiltedLetters", "Wq", Writing::Rows, nullptr, 11},
                      GlyphCase{"ClusterInARow", "か\u3099", Writing::Rows, nullptr, 5},
                      GlyphCase{"BracketInAColumn", "「", Writing::Columns, nullptr, 7},
                      GlyphCase{"SidewaysLatinInAColumn", "W", Writing::Columns, nullptr, 8},
                      // Seed 2 cuts this stamp in bold.
                      GlyphCase{"BoldCut", "永", Writing::Rows, "IPAMincho", 2}),
    [](const auto& info) { return std::string(info.param.name); });

// The stamps handed over are the plan's, in its order, with its colours and
// scrap corners; each face comes once, before its first stamp.
TEST(Device, IsHandedThePlansStampsInOrder)
{
    CompositionSettings settings;
    settings.sourcePath = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-utf8.txt";
    settings.realMode = true;
    settings.seed = 31;
    settings.faces = {FaceMix::Listed, {"IPAGothic", "DejaVu Serif"}, true};

    RecordingDevice device;
    CompositionRun(settings).Trace(device);
    EXPECT_EQ(device.begun, 1);
    EXPECT_EQ(device.finished, 1);
    EXPECT_EQ(device.width, 640);
    EXPECT_EQ(device.height, 480);
    EXPECT_TRUE(device.faultsInOrder.empty()) << device.faultsInOrder.front();

    SourceReader source(settings.sourcePath, SourceEncoding::Automatic);
    RandomSource random(31);
    FaceTable faces;
    StampPlan plan({settings.size, true, settings.faceName, Writing::Rows, settings.faces}, source, random, faces, 640,
                   480);
    StampList list;
    while (!plan.Done())
        plan.PlanSome(100000, list, {});
    ASSERT_EQ(device.stamps.size(), list.stamps.size());
    int bold = 0;
    for (std::size_t i = 0; i < list.stamps.size(); ++i) {
        const Stamp& planned = list.stamps[i];
        const DeviceStamp& handed = device.stamps[i].stamp;
        EXPECT_EQ((TPoint{handed.x, handed.y}), (TPoint{planned.x, planned.y})) << i;
        EXPECT_EQ(handed.cellHeight, planned.cellHeight) << i;
        EXPECT_EQ(handed.tilt, planned.tilt) << i;
        EXPECT_EQ(handed.scheme, planned.scheme) << i;
        EXPECT_TRUE(handed.scrap);
        EXPECT_EQ(handed.corners, planned.Corners()) << i;
        EXPECT_EQ(handed.fill, ScrapColorsFor(planned.scheme).fill) << i;
        EXPECT_EQ(handed.character, ScrapColorsFor(planned.scheme).character) << i;
        EXPECT_EQ(device.faces.at(handed.face).file, faces.Location(planned.face).file) << i;
        EXPECT_EQ(handed.bold, planned.bold) << i;
        EXPECT_EQ(device.stamps[i].codePoints, std::u32string(list.CodePointsOf(planned))) << i;
        bold += handed.bold;
    }
    EXPECT_GT(bold, 0);
    EXPECT_GE(device.faces.size(), 2u);
}

// A long line wraps on below the picture's bottom edge; the stamps there draw
// nothing on it and are not handed on, however long the line.
TEST(Device, IsHandedOnlyTheStampsThatTouchThePicture)
{
    testing::TempDir folder;
    std::string line;
    for (int i = 0; i < 300; ++i)
        line += "あ";
    testing::WriteFile(folder / "line.txt", line);
    CompositionSettings settings;
    settings.sourcePath = folder / "line.txt";
    settings.widthText = "200";
    settings.heightText = "100";
    settings.realMode = true;
    settings.seed = 1;
    RecordingDevice device;
    CompositionRun(settings).Trace(device);

    SourceReader source(settings.sourcePath, SourceEncoding::Automatic);
    RandomSource random(1);
    FaceTable faces;
    StampPlan plan({settings.size, true, settings.faceName, Writing::Rows, {}}, source, random, faces, 200, 100);
    StampList list;
    while (!plan.Done())
        plan.PlanSome(100000, list, {});
    std::vector<TPoint> touching;
    for (const Stamp& stamp : list.stamps)
        if (stamp.top < 100 && stamp.bottom > 0)
            touching.push_back({stamp.x, stamp.y});
    std::vector<TPoint> handed;
    for (const TracedStamp& traced : device.stamps)
        handed.push_back({traced.stamp.x, traced.stamp.y});
    EXPECT_EQ(handed, touching);
    // The rows at 20, 42, 64 and 86 reach the picture, and a stamp of the next
    // may, tilted up; the plan goes on a few rows further.
    EXPECT_GE(handed.size(), 4u * 8u);
    EXPECT_LE(handed.size(), 5u * 8u);
    EXPECT_GT(list.stamps.size(), handed.size() + 8);
}

TEST(Device, ACancelledTraceIsNotFinished)
{
    CompositionSettings settings;
    settings.sourcePath = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-utf8.txt";
    settings.seed = 1;
    const std::atomic<bool> cancel = true;
    RunControl control;
    control.cancel = &cancel;
    RecordingDevice device;
    try {
        CompositionRun(settings).Trace(device, control);
        ADD_FAILURE() << "the trace was not cancelled";
    } catch (const Error& error) {
        EXPECT_EQ(error.Kind(), ErrorKind::Cancelled);
    }
    EXPECT_EQ(device.finished, 0);
}

} // namespace
} // namespace morvaleth
