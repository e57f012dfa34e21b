#include "composer/plan/RandomSource.h"
#include "composer/plan/Stamp.h"
#include "reference/SubTextOut.h"

#include <gtest/gtest.h>

#include <ostream>

#include <vector>

namespace morvaleth {
namespace {

TEST(RandomSource, KnownDrawsFromSeedZero)
{
    RandomSource random(0);
    std::vector<int> draws;
    for (int n : {10, 10, 10, 300, 7})
        draws.push_back(random.Draw(n));
    EXPECT_EQ(draws, (std::vector<int>{0, 0, 8, 60, 1}));
}

TEST(RandomSource, SeedStepsByTheLinearCongruence)
{
    RandomSource random(0);
    random.Draw(10);
    EXPECT_EQ(random.Seed(), 1u);
    random.Draw(10);
    EXPECT_EQ(random.Seed(), 134775814u);
    random.SetSeed(0xFFFFFFFF);
    random.Draw(1);
    EXPECT_EQ(random.Seed(), std::uint32_t(0xFFFFFFFFu * 134775813u + 1u));
}

TEST(RandomSource, DrawOfZeroGivesZeroAndStillSteps)
{
    RandomSource random(12345);
    const std::uint32_t before = random.Seed();
    EXPECT_EQ(random.Draw(0), 0);
    EXPECT_NE(random.Seed(), before);
}

TEST(RandomSource, DrawsStayInRangeAndReachBothEnds)
{
    RandomSource random(7);
    int lowest = 300, highest = -1;
    for (int i = 0; i < 20000; ++i) {
        const int tilt = random.Draw(300) - 150;
        lowest = std::min(lowest, tilt);
        highest = std::max(highest, tilt);
    }
    EXPECT_EQ(lowest, -150);
    EXPECT_EQ(highest, 149);
}

TEST(RandomSource, ReseedsFromTheTimeOfDay)
{
    RandomSource random(0xFFFFFFFF);
    random.Reseed();
    EXPECT_LT(random.Seed(), 86400000u);
    EXPECT_LT(MillisecondsSinceMidnightUtc(), 86400000u);
}

struct HeightCase {
    int size;
    int lowest;
    int highest;

    friend void PrintTo(const HeightCase& x, std::ostream* out) { *out << "size " << x.size; }
};

class CharacterHeightTest : public ::testing::TestWithParam<HeightCase> {};

TEST_P(CharacterHeightTest, FollowsTheHeightDraw)
{
    const int size = GetParam().size;
    RandomSource random(99);
    int lowest = 1 << 30, highest = -1;
    for (int i = 0; i < 5000; ++i) {
        const int h = StampCellHeight(size, random.Draw(size / 2));
        lowest = std::min(lowest, h);
        highest = std::max(highest, h);
    }
    EXPECT_EQ(lowest, GetParam().lowest);
    EXPECT_EQ(highest, GetParam().highest);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CharacterHeightTest,
                         ::testing::Values(HeightCase{1, 1, 1}, HeightCase{2, 2, 2}, HeightCase{3, 3, 3},
                                           HeightCase{20, 15, 24}, HeightCase{16, 12, 19}));

} // namespace
} // namespace morvaleth
