#include "support/AllocationCount.h"
#include "support/TestSupport.h"

#include "composer/Composition.h"

#include <gtest/gtest.h>

namespace morvaleth {
namespace {

using testing::AllocationCount;
using testing::TempDir;
using testing::WriteFile;

// A letter's sentence in Shift-JIS and some single-byte units, 73 units in
// all, repeated `times` times on one line: every glyph of the text is met in
// its first repetition.
std::string Sentences(int times)
{
    const std::string sentences =
        "\x8f\x48\x82\xe0\x90\x5b\x82\xdc\x82\xe8\x81\x41\x92\xa9\x94\xd3\x82\xcd\x82\xb7\x82\xc1"
        "\x82\xa9\x82\xe8\x97\xe2\x82\xa6\x8d\x9e\x82\xde\x82\xe6\x82\xa4\x82\xc9\x82\xc8\x82\xe8"
        "\x82\xdc\x82\xb5\x82\xbd\x81\x42"                       // 秋も深まり、…なりました。
        "Dear friend, the book you lent me. 0123456789!?"; // and some single-byte units
    std::string text;
    for (int i = 0; i < times; ++i)
        text += sentences;
    return text;
}

// The allocations of one whole run over the text, picture and font included.
std::uint64_t AllocationsOfRun(const std::string& text, bool realMode, int threads)
{
    TempDir folder;
    WriteFile(folder / "source.txt", text);
    CompositionSettings settings;
    settings.sourcePath = folder / "source.txt";
    settings.widthText = "2000";
    settings.heightText = "2000";
    settings.realMode = realMode;
    settings.seed = 5;
    settings.render.threads = threads;
    const std::uint64_t before = AllocationCount();
    const auto picture = ComposePicture(settings);
    return AllocationCount() - before;
}

TEST(Allocations, ARunOfThreeTimesTheUnitsAllocatesNoMore)
{
    if (!testing::AllocationCountWorks())
        GTEST_SKIP() << "the allocator cannot be counted in this build";
    // 730 and 2190 units, all on the picture (90 rows of 90). On one
    // thread the count is exact. On two, which thread first meets a glyph
    // (and grows its FreeType buffers for it) depends on timing; allocating
    // per stamp would add well over a thousand.
    for (int threads : {1, 2})
        for (bool realMode : {false, true}) {
            AllocationsOfRun(Sentences(1), realMode, threads); // what is loaded once per program
            const std::uint64_t shorter = AllocationsOfRun(Sentences(10), realMode, threads);
            const std::uint64_t longer = AllocationsOfRun(Sentences(30), realMode, threads);
            EXPECT_GT(shorter, 0u) << "the count does not see the run's allocations";
            if (threads == 1)
                EXPECT_EQ(longer, shorter) << (realMode ? "real" : "plain") << " mode";
            else
                EXPECT_LE(longer, shorter + 100) << (realMode ? "real" : "plain") << " mode, two threads";
        }
}

} // namespace
} // namespace morvaleth
