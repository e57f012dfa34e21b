// Known answers for the plan: what a seed decides for each stamp, recorded
// once, so that a changed draw, draw order or seed stream shows here even when
// every drawing of a stamp changes with it.

#include "support/TestSupport.h"

#include "composer/faces/FaceTable.h"
#include "composer/plan/Stamp.h"
#include "composer/plan/StampPlan.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace morvaleth {
namespace {

TEST(FaceDraws, TheRunsSeedFixesEveryFaceAndBold)
{
    // Five faces: a digit a stamp for its face, B for a bold one.
    const struct {
        std::uint32_t seed;
        std::string faces;
        std::string bold;
    } known[] = {
        {42, "132041140143", "BB--B-B-----"},
        {86399999, "314333041322", "-BBB-B------"},
    };
    for (const auto& row : known) {
        const RandomSource run(row.seed);
        FaceDraws withBold(run, 5, true);
        FaceDraws withoutBold(run, 5, false);
        std::string faces, bold;
        for (std::size_t i = 0; i < row.faces.size(); ++i) {
            const FaceDraw draw = withBold.Next();
            faces += char('0' + draw.face);
            bold += draw.bold ? 'B' : '-';
            // Bold or not, every stamp keeps its face.
            EXPECT_EQ(withoutBold.Next(), (FaceDraw{draw.face, false})) << row.seed << ", stamp " << i;
        }
        EXPECT_EQ(faces, row.faces) << row.seed;
        EXPECT_EQ(bold, row.bold) << row.seed;
    }
}

// What the plan decided for one stamp.
struct Planned {
    int x, y, cellHeight, tilt, scheme, dx, dy;
    std::string family;
    bool bold;

    bool operator==(const Planned&) const = default;
    friend void PrintTo(const Planned& p, std::ostream* out)
    {
        *out << "{" << p.x << ", " << p.y << ", " << p.cellHeight << ", " << p.tilt << ", " << p.scheme << ", "
             << p.dx << ", " << p.dy << ", \"" << p.family << "\", " << p.bold << "}";
    }
};

TEST(StampPlan, ASeedFixesEveryStampsPlaceDrawsAndFace)
{
    // Size 24 on 300 × 260: pitch 26, rows from (24, 24), columns from
    // (252, 24) leftwards.
    const std::vector<std::string> listed{"IPAMincho", "IPAPGothic", "IPAGothic"};
    const struct {
        std::uint32_t seed;
        Writing writing;
        bool realMode;
        FaceChoice faces;
        std::vector<Planned> stamps;
    } known[] = {
        {77, Writing::Rows, false, {},
         {{24, 24, 28, -103, 4, 0, 0, "IPAPMincho", false},
          {50, 24, 29, -2, 6, 0, 0, "IPAPMincho", false},
          {24, 50, 22, -4, 2, 0, 0, "IPAPMincho", false},
          {50, 50, 21, -46, 9, 0, 0, "IPAPMincho", false},
          {76, 50, 26, -137, 3, 0, 0, "IPAPMincho", false}}},
        {20261207, Writing::Rows, true, {FaceMix::Listed, listed, true},
         {{24, 24, 27, -1, 4, 1, -2, "IPAGothic", true},
          {50, 24, 29, -94, 2, -2, 0, "IPAMincho", false},
          {24, 50, 23, -143, 5, -2, 0, "IPAPGothic", false},
          {50, 50, 28, 115, 1, -3, -2, "IPAMincho", true},
          {76, 50, 22, -37, 3, -1, 3, "IPAMincho", false}}},
        {5, Writing::Columns, false, {FaceMix::Listed, listed, false},
         {{252, 24, 20, 20, 1, 0, 0, "IPAPGothic", false},
          {252, 50, 21, 122, 5, 0, 0, "IPAGothic", false},
          {226, 24, 20, 41, 5, 0, 0, "IPAPGothic", false},
          {226, 50, 18, -14, 7, 0, 0, "IPAMincho", false},
          {226, 76, 29, -82, 9, 0, 0, "IPAPGothic", false}}},
        {86399999, Writing::Columns, true, {FaceMix::Listed, listed, true},
         {{252, 24, 29, -49, 7, -2, -2, "IPAPGothic", false},
          {252, 50, 28, 133, 0, 1, 2, "IPAMincho", true},
          {226, 24, 27, -48, 2, -1, 2, "IPAGothic", true},
          {226, 50, 22, -54, 6, -1, -1, "IPAGothic", true},
          {226, 76, 18, -150, 5, -2, -3, "IPAPGothic", false}}},
    };
    testing::TempDir folder;
    testing::WriteFile(folder / "letter.txt", "拝啓\r\n秋も深");
    for (const auto& run : known) {
        SourceReader source(folder / "letter.txt", SourceEncoding::Utf8);
        RandomSource random(run.seed);
        FaceTable faces;
        StampPlan plan({24, run.realMode, "IPAPMincho", run.writing, run.faces}, source, random, faces, 300, 260);
        StampList list;
        while (!plan.Done())
            plan.PlanSome(100, list, {});
        std::vector<Planned> stamps;
        for (const Stamp& s : list.stamps) {
            EXPECT_EQ(s.scrap, run.realMode);
            stamps.push_back({s.x, s.y, s.cellHeight, s.tilt, s.scheme, s.dx, s.dy, faces.Location(s.face).family,
                              s.bold});
        }
        EXPECT_EQ(stamps, run.stamps) << "seed " << run.seed;
    }
}

} // namespace
} // namespace morvaleth
