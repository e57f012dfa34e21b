// The window's small rules, each as a table.

#include "composer/Error.h"
#include "ui/Application.h"
#include "ui/FileFilter.h"
#include "ui/SavePictureDialog.h"
#include "ui/WindowFont.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <new>
#include <ostream>
#include <string>
#include <vector>

namespace morvaleth {
namespace {

struct FullStopCase {
    std::string message;
    std::string shown;
};

void PrintTo(const FullStopCase& c, std::ostream* out)
{
    *out << '"' << c.message << '"';
}

class FullStop : public ::testing::TestWithParam<FullStopCase> {};

TEST_P(FullStop, IsAppendedUnlessTheLastByteIsPunctuationOrLower)
{
    EXPECT_EQ(WithFullStop(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, FullStop,
    ::testing::Values(FullStopCase{"", ""},
                      FullStopCase{"ﾌｧｲﾙが見つかりません", "ﾌｧｲﾙが見つかりません."},
                      FullStopCase{"'64O' は整数ではありません", "'64O' は整数ではありません."},
                      FullStopCase{"I/O ｴﾗｰ (5)", "I/O ｴﾗｰ (5)"},
                      FullStopCase{"ends in a space ", "ends in a space "},
                      FullStopCase{"already.", "already."},
                      FullStopCase{"shouted!", "shouted!"},
                      FullStopCase{"dashed-", "dashed-"},
                      FullStopCase{"tabbed\t", "tabbed\t"},
                      FullStopCase{"a folder/", "a folder/."},
                      FullStopCase{"value 0", "value 0."},
                      FullStopCase{"Out of memory", "Out of memory."},
                      FullStopCase{"ｶﾀｶﾅ", "ｶﾀｶﾅ."},
                      FullStopCase{"句点。", "句点。."}));

// Records the boxes instead of showing them.
struct TBoxRecorder : TModalRunner {
    std::vector<TMessageBox> boxes;
    void ShowMessage(QWidget*, const TMessageBox& box) override { boxes.push_back(box); }
};

// The box follows the error's kind: a cancelled run shows nothing, memory
// that ran out anywhere says so.
TEST(ErrorBox, ShowsWhatTheKindCallsFor)
{
    TBoxRecorder recorder;
    ShowException(recorder, nullptr, Error("", ErrorKind::Cancelled));
    EXPECT_TRUE(recorder.boxes.empty());
    ShowException(recorder, nullptr, std::bad_alloc());
    ShowException(recorder, nullptr, Error("ﾌｧｲﾙが見つかりません", ErrorKind::NotFound, "in.txt"));
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[0].text, "ｼｽﾃﾑ ﾘｿｰｽが足りません.");
    EXPECT_EQ(recorder.boxes[1].text, "ﾌｧｲﾙが見つかりません.");
    EXPECT_EQ(recorder.boxes[1].icon, TMessageIcon::Stop);
}

struct PointSizeCase {
    int characterHeight;
    int pixelsPerInch;
    int points;
};

void PrintTo(const PointSizeCase& c, std::ostream* out)
{
    *out << c.characterHeight << " px at " << c.pixelsPerInch;
}

class PointSizes : public ::testing::TestWithParam<PointSizeCase> {};

TEST_P(PointSizes, RoundHalvesAwayFromZero)
{
    EXPECT_EQ(PointSize(GetParam().characterHeight, GetParam().pixelsPerInch), GetParam().points);
}

INSTANTIATE_TEST_SUITE_P(Heights, PointSizes,
                         ::testing::Values(PointSizeCase{27, 96, 20}, PointSizeCase{27, 120, 16},
                                           PointSizeCase{16, 96, 12}, PointSizeCase{2, 96, 2},
                                           PointSizeCase{-2, 96, -2}, PointSizeCase{1, 96, 1},
                                           PointSizeCase{0, 96, 0}, PointSizeCase{27, 72, 27}));

// Qt's font dialog names a family with its foundry in brackets when two
// foundries share it; the engine looks the face up without it.
class Foundries : public ::testing::TestWithParam<std::pair<QString, QString>> {};

TEST_P(Foundries, AreStrippedFromTheFamily)
{
    EXPECT_EQ(FamilyWithoutFoundry(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Families, Foundries,
    ::testing::Values(std::pair<QString, QString>{"IPAMincho [IPA]", "IPAMincho"},
                      std::pair<QString, QString>{"Noto Sans CJK JP [GOOG]", "Noto Sans CJK JP"},
                      std::pair<QString, QString>{"IPAMincho", "IPAMincho"},
                      // Not a foundry: not last, or the whole name.
                      std::pair<QString, QString>{"Odd [x] Sans", "Odd [x] Sans"},
                      std::pair<QString, QString>{"[Only]", "[Only]"},
                      std::pair<QString, QString>{"Two [a] [b]", "Two [a]"},
                      std::pair<QString, QString>{"ＭＳ 明朝 [Ricoh]", "ＭＳ 明朝"}));

TEST(CharacterHeights, AreThoseOfTheDialogsPointSizes)
{
    EXPECT_EQ(PixelHeightOfPoints(20, 96), 27);
    EXPECT_EQ(PixelHeightOfPoints(16, 120), 27);
    EXPECT_EQ(PixelHeightOfPoints(9, 96), 12);
}

struct FilterCase {
    QString pairs;
    QStringList nameFilters;
};

void PrintTo(const FilterCase& c, std::ostream* out)
{
    *out << '"' << c.pairs.toStdString() << '"';
}

class Filters : public ::testing::TestWithParam<FilterCase> {};

TEST_P(Filters, BecomeQtNameFilters)
{
    EXPECT_EQ(NameFilters(GetParam().pairs), GetParam().nameFilters);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, Filters,
    ::testing::Values(
        FilterCase{"すべてのﾌｧｲﾙ|*.*|ﾃｷｽﾄﾌｧｲﾙ|*.txt", {"すべてのﾌｧｲﾙ (*)", "ﾃｷｽﾄﾌｧｲﾙ (*.txt)"}},
        FilterCase{"ﾋﾞｯﾄﾏｯﾌﾟ (*.bmp)|*.bmp|PNG (*.png)|*.png",
                   {"ﾋﾞｯﾄﾏｯﾌﾟ (*.bmp) (*.bmp)", "PNG (*.png) (*.png)"}},
        FilterCase{"Pictures|*.bmp;*.png", {"Pictures (*.bmp *.png)"}}));

struct PlacementCase {
    QSize picture;
    QSize area;
    QRect placed;
};

void PrintTo(const PlacementCase& c, std::ostream* out)
{
    *out << c.picture.width() << 'x' << c.picture.height() << " in " << c.area.width() << 'x'
         << c.area.height();
}

class Placements : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placements, CentreWhatFitsAndShrinkTheRestFromTheTopLeft)
{
    EXPECT_EQ(PreviewPlacement(GetParam().picture, GetParam().area), GetParam().placed);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, Placements,
    ::testing::Values(PlacementCase{{100, 50}, {160, 160}, {30, 55, 100, 50}},
                      PlacementCase{{160, 160}, {160, 160}, {0, 0, 160, 160}},
                      PlacementCase{{640, 480}, {160, 160}, {0, 0, 160, 120}},
                      PlacementCase{{480, 640}, {160, 160}, {0, 0, 120, 160}},
                      PlacementCase{{300, 300}, {200, 100}, {0, 0, 100, 100}},
                      // Scaled to the width, the height is not compared: cut off.
                      PlacementCase{{200, 100}, {160, 40}, {0, 0, 160, 80}},
                      PlacementCase{{100, 200}, {40, 160}, {0, 0, 80, 160}},
                      PlacementCase{{161, 10}, {160, 160}, {0, 0, 160, 9}}));

TEST(Translations, QtsOwnDialogsSpeakJapanese)
{
    // The test program prepares its application as the program does.
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"), QString("ファイル名(&N):"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("キャンセル"));
}

} // namespace
} // namespace morvaleth
