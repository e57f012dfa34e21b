#include "composer/Error.h"
#include "composer/faces/FaceSet.h"
#include "composer/plan/Stamp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace morvaleth {
namespace {

struct SplitCase {
    std::string list;
    std::vector<std::string> names;
};

class FaceListTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(FaceListTest, SplitsAtCommasAndTrimsBlanks)
{
    EXPECT_EQ(SplitFaceList(GetParam().list), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, FaceListTest,
    ::testing::Values(SplitCase{"IPAMincho", {"IPAMincho"}},
                      SplitCase{"IPAMincho,IPAGothic", {"IPAMincho", "IPAGothic"}},
                      SplitCase{" IPA Mincho , ＭＳ 明朝\t,", {"IPA Mincho", "ＭＳ 明朝"}},
                      SplitCase{",, ,", {}}, SplitCase{"", {}}));

struct FamilyCase {
    std::string name;
    std::string family; // empty: no installed family
};

class InstalledFamilyTest : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(InstalledFamilyTest, FindsTheFamilyANameStandsFor)
{
    const FaceLocation face = InstalledFamily(GetParam().name);
    EXPECT_EQ(face.family, GetParam().family);
    EXPECT_EQ(face.file.empty(), GetParam().family.empty());
}

INSTANTIATE_TEST_SUITE_P(Names, InstalledFamilyTest,
                         ::testing::Values(FamilyCase{"IPAMincho", "IPAMincho"},
                                           FamilyCase{"ipa p gothic", "IPAPGothic"},
                                           FamilyCase{"IPA明朝", "IPAMincho"},
                                           FamilyCase{"ＭＳ Ｐゴシック", "IPAPGothic"},
                                           FamilyCase{"MS Mincho", "IPAMincho"},
                                           FamilyCase{"No Such Face", ""}, FamilyCase{"", ""}));

std::vector<std::string> Families(const FaceSet& set)
{
    std::vector<std::string> families;
    for (const FaceLocation& face : set.faces)
        families.push_back(face.family);
    return families;
}

TEST(FaceSet, JapaneseMixTakesTheChosenFaceFirstAndEveryOtherFamilyOnce)
{
    const FaceSet set = ResolveFaceSet("ＭＳ 明朝", {FaceMix::Japanese, {}, false});
    const std::vector<std::string> families = Families(set);
    ASSERT_FALSE(families.empty());
    EXPECT_EQ(families.front(), "IPAMincho");
    EXPECT_EQ(std::set<std::string>(families.begin(), families.end()).size(), families.size());
    for (const char* family : {"IPAGothic", "IPAPGothic", "IPAPMincho"})
        EXPECT_NE(std::find(families.begin(), families.end(), family), families.end()) << family;
    EXPECT_TRUE(set.skipped.empty());

    EXPECT_EQ(Families(ResolveFaceSet("ＭＳ 明朝", {})), std::vector<std::string>{"IPAMincho"});
}

TEST(FaceSet, AListedSetKeepsItsOrderWithoutRepeats)
{
    const FaceSet set = ResolveFaceSet("IPAGothic", {FaceMix::Listed, {"IPA P明朝", "ipamincho", "MS PMincho"}, false});
    EXPECT_EQ(Families(set), (std::vector<std::string>{"IPAPMincho", "IPAMincho"}));
}

TEST(FaceSet, AListedNameThatIsNotInstalledIsAnErrorNamingIt)
{
    try {
        ResolveFaceSet("IPAGothic", {FaceMix::Listed, {"IPAMincho", "Comic Papyrus"}, false});
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "ﾌｫﾝﾄ 'Comic Papyrus' はｲﾝｽﾄｰﾙされていません");
        EXPECT_EQ(error.Kind(), ErrorKind::Usage);
    }
}

TEST(FaceSet, FacesThatDoNotLoadAreSkippedWhileOthersRemain)
{
    const FaceLocation ghost{"/nonexistent/ghost.ttf", 0, "Ghost"};
    const FaceLocation text{std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-ascii.txt", 0, ""};
    const FaceLocation mincho = InstalledFamily("IPAMincho");
    const FaceSet set = KeepLoadableFaces({ghost, mincho, text});
    EXPECT_EQ(Families(set), std::vector<std::string>{"IPAMincho"});
    EXPECT_EQ(set.skipped, (std::vector<std::string>{"ﾌｫﾝﾄ 'Ghost' を開けません",
                                                      "ﾌｫﾝﾄ '" + text.file + "' を開けません"}));
    try {
        KeepLoadableFaces({ghost, text});
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "ﾌｫﾝﾄ 'Ghost' を開けません");
        EXPECT_EQ(error.Kind(), ErrorKind::Font);
    }
}

std::vector<FaceDraw> DrawFaces(std::uint32_t seed, std::size_t faceCount, bool bold, int count = 2000)
{
    FaceDraws draws(RandomSource(seed), faceCount, bold);
    std::vector<FaceDraw> drawn;
    for (int i = 0; i < count; ++i)
        drawn.push_back(draws.Next());
    return drawn;
}

TEST(FaceDraws, ASeedFixesEveryStampsFaceAndTheBoldLeavesTheFacesAlone)
{
    const auto plain = DrawFaces(7, 4, false);
    const auto bold = DrawFaces(7, 4, true);
    EXPECT_EQ(plain, DrawFaces(7, 4, false));
    EXPECT_NE(plain, DrawFaces(8, 4, false));

    std::vector<int> perFace(4);
    int bolds = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        ASSERT_LT(plain[i].face, 4u);
        EXPECT_EQ(bold[i].face, plain[i].face);
        EXPECT_FALSE(plain[i].bold);
        ++perFace[plain[i].face];
        bolds += bold[i].bold;
    }
    // Every face and the bold come up, roughly as often as they should.
    for (int count : perFace)
        EXPECT_GT(count, 400);
    EXPECT_GT(bolds, 400);
    EXPECT_LT(bolds, 600);
    // A set of one face is no mix at all.
    for (const FaceDraw& draw : DrawFaces(7, 1, false, 50))
        EXPECT_EQ(draw.face, 0u);
}

} // namespace
} // namespace morvaleth
