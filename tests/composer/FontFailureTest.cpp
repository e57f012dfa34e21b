// In a program of its own: it needs a process whose fonts were never loaded.

#include "support/TestSupport.h"

#include "composer/Composition.h"
#include "composer/Error.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

namespace morvaleth {
namespace {

TEST(Fonts, AFailedLoadIsAnErrorAndIsNotKept)
{
    CompositionSettings settings;
    settings.sourcePath = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-ascii.txt";
    settings.seed = 1;

    // With one descriptor to spare the source opens and the fonts cannot.
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    const int lowestFree = ::dup(0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(lowestFree + 1);
    ::setrlimit(RLIMIT_NOFILE, &tight);
    std::string message;
    try {
        ComposePicture(settings);
    } catch (const Error& error) {
        message = error.what();
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(message, "ﾌｫﾝﾄ 'ＭＳ Ｐゴシック' を開けません");

    // Once the system lets it, the next run finds its fonts.
    const auto picture = ComposePicture(settings);
    EXPECT_FALSE(testing::InkOf(*picture).Empty());
}

} // namespace
} // namespace morvaleth
