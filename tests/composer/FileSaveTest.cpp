#include "support/TestSupport.h"

#include "composer/Error.h"
#include "composer/FileSave.h"
#include "composer/PictureFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include <sys/stat.h>
#include <unistd.h>

namespace morvaleth {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WhitePicture;
using testing::WriteFile;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

void WriteText(const std::string& path, const std::string& text)
{
    ReplaceFile(path, [&text](const ByteSink& sink) {
        sink(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    });
}

// Writes a first piece, then fails as a full disk would.
void FailHalfway(const std::string& path)
{
    ReplaceFile(path, [](const ByteSink& sink) {
        const std::uint8_t piece[] = {'B', 'M'};
        sink(piece, sizeof piece);
        throw Error("ｽﾄﾘｰﾑへの書き込みｴﾗｰ");
    });
}

mode_t ModeOf(const std::string& path)
{
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_mode;
}

TEST(SaveToFile, ReplacesAnEarlierFileAndLeavesNoTemporaryFile)
{
    TempDir folder;
    const std::string path = folder / "letter.bmp";
    WriteFile(path, "earlier");
    SavePicture(*WhitePicture(640, 480), path);
    SavePicture(*WhitePicture(3, 3), path);
    EXPECT_EQ(ReadFile(path).size(), 54u + 3 * 12);
    EXPECT_THAT(folder.Entries(), ElementsAre("letter.bmp"));
}

TEST(SaveToFile, APictureWithoutPixelsLeavesAnEmptyFile)
{
    TempDir folder;
    const std::string path = folder / "empty.bmp";
    WriteFile(path, "earlier");
    SavePicture(TBitmap(), path);
    EXPECT_EQ(ReadFile(path), "");
}

TEST(SaveToFile, AFailedWriteLeavesTheEarlierFileIntact)
{
    TempDir folder;
    const std::string path = folder / "letter.bmp";
    WriteFile(path, "the earlier picture");
    EXPECT_THROW(FailHalfway(path), Error);
    EXPECT_EQ(ReadFile(path), "the earlier picture");
    EXPECT_THAT(folder.Entries(), ElementsAre("letter.bmp"));
}

TEST(SaveToFile, AFailedFirstWriteLeavesNoFile)
{
    TempDir folder;
    EXPECT_THROW(FailHalfway(folder / "new.bmp"), Error);
    EXPECT_TRUE(folder.Entries().empty());
}

TEST(SaveToFile, KeepsTheEarlierFilesPermissions)
{
    TempDir folder;
    const std::string path = folder / "letter.bmp";
    WriteFile(path, "x");
    ::chmod(path.c_str(), 0640);
    WriteText(path, "new");
    EXPECT_EQ(ModeOf(path) & 07777, 0640u);
}

TEST(SaveToFile, ANewFileFollowsTheUmask)
{
    TempDir folder;
    const mode_t saved = ::umask(027);
    WriteText(folder / "new.bmp", "new");
    ::umask(saved);
    EXPECT_EQ(ModeOf(folder / "new.bmp") & 07777, 0640u);
}

TEST(SaveToFile, ReplacesTheFileALinkPointsToAndKeepsTheLink)
{
    TempDir folder;
    const std::string target = folder / "target.bmp";
    const std::string link = folder / "link.bmp";
    WriteFile(target, "old");
    ASSERT_EQ(::symlink("target.bmp", link.c_str()), 0);
    WriteText(link, "new");
    EXPECT_EQ(ReadFile(target), "new");
    struct stat status {};
    ::lstat(link.c_str(), &status);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_THAT(folder.Entries(), UnorderedElementsAre("target.bmp", "link.bmp"));
}

TEST(SaveToFile, WritesStraightToADevice)
{
    WriteText("/dev/null", "into the void");
    EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));
}

TEST(SaveToFile, AFullDeviceFailsWithAWriteErrorAndStaysADevice)
{
    try {
        SavePicture(*WhitePicture(64, 64), "/dev/full");
        FAIL() << "writing to /dev/full succeeded";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "ｽﾄﾘｰﾑへの書き込みｴﾗｰ");
    }
    EXPECT_TRUE(S_ISCHR(ModeOf("/dev/full")));
}

struct UncreatableCase {
    const char* name;
    std::string relativePath; // under a fresh folder; "" names the folder itself

    friend void PrintTo(const UncreatableCase& x, std::ostream* out) { *out << x.name; }
};

class UncreatableTest : public ::testing::TestWithParam<UncreatableCase> {};

TEST_P(UncreatableTest, FailsNamingThePathAsPassed)
{
    TempDir folder;
    const std::string path = GetParam().relativePath.empty() ? folder.Path().string() : folder / GetParam().relativePath;
    try {
        SavePicture(*WhitePicture(4, 4), path);
        FAIL() << "saving succeeded";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), "ﾌｧｲﾙ " + path + " を作成できません");
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, UncreatableTest,
                         ::testing::Values(UncreatableCase{"MissingFolder", "no/such/folder/a.bmp"},
                                           UncreatableCase{"AFolder", ""},
                                           UncreatableCase{"TrailingSlash", "name/"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SaveToFile, AnEmptyNameCannotBeCreated)
{
    EXPECT_THROW(SavePicture(*WhitePicture(4, 4), ""), Error);
}

TEST(SaveToFile, AReadOnlyFolderKeepsItsEarlierFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root; the program-level table runs this unprivileged";
    TempDir folder;
    const std::string path = folder / "letter.bmp";
    WriteFile(path, "earlier");
    ::chmod(folder.Path().c_str(), 0555);
    EXPECT_THROW(SavePicture(*WhitePicture(4, 4), path), Error);
    ::chmod(folder.Path().c_str(), 0755);
    EXPECT_EQ(ReadFile(path), "earlier");
}

} // namespace
} // namespace morvaleth

namespace morvaleth {
namespace {

TEST(SaveFile, PlacedWritesLandAtTheirOffsetsAndAppendsFollowTheFarthest)
{
    testing::TempDir folder;
    const std::string path = folder / "placed.bin";
    const auto bytes = [](const char* text) { return reinterpret_cast<const std::uint8_t*>(text); };
    SaveFile(path, [&](SaveOutput& output) {
        ASSERT_TRUE(output.Seekable());
        output.Write(bytes("head"), 4);
        output.WriteAt(8, bytes("tail"), 4);
        output.WriteAt(4, bytes("mid-"), 4);
        output.Write(bytes("!"), 1);
    });
    EXPECT_EQ(ReadFile(path), "headmid-tail!");

    // A pipe takes appends only.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_THROW(SaveToDescriptor(ends[1],
                                  [&](SaveOutput& output) {
                                      EXPECT_FALSE(output.Seekable());
                                      output.WriteAt(0, bytes("x"), 1);
                                  }),
                 Error);
    ::close(ends[0]);
    ::close(ends[1]);
}

} // namespace
} // namespace morvaleth
