// The scroll bars' rules, and how the preview follows them.

#include "ScrollBarParts.h"
#include "UiTestSupport.h"

#include "composer/Error.h"
#include "ui/PreviewImage.h"
#include "ui/ScrollBar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <utility>
#include <vector>

namespace morvaleth::test {
namespace {

// What a bar told its handlers: each Scroll with the position it offered and
// the position the bar had then, and how often Change fired.
struct TEventLog {
    explicit TEventLog(TScrollBar& bar)
    {
        QObject::connect(&bar, &TScrollBar::Scroll,
                         [this](TScrollBar* sender, TScrollCode code, int& position) {
                             scrolls.push_back({code, position});
                             positionsBefore.push_back(sender->Position());
                             if (replace)
                                 replace(code, position);
                         });
        QObject::connect(&bar, &TScrollBar::Change, [this] { ++changes; });
    }

    std::vector<std::pair<TScrollCode, int>> scrolls;
    std::vector<int> positionsBefore;
    int changes = 0;
    std::function<void(TScrollCode, int&)> replace;
};

struct TBarFixture {
    TBarFixture()
    {
        bar.setOrientation(Qt::Horizontal);
        bar.resize(240, 17);
        bar.SetMax(25);
        bar.SetPageStep(4);
        bar.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&bar));
    }

    TScrollBar bar;
};

using Scrolls = std::vector<std::pair<TScrollCode, int>>;

struct RangeCase {
    const char* name;
    int minimum, maximum, position;
    std::function<void(TScrollBar&)> change;
    int newMinimum, newMaximum, newPosition;
    int changes;
};

void PrintTo(const RangeCase& c, std::ostream* out)
{
    *out << c.name;
}

class Ranges : public ::testing::TestWithParam<RangeCase> {};

TEST_P(Ranges, KeepThePositionInside)
{
    const RangeCase& c = GetParam();
    TScrollBar bar;
    bar.SetMax(c.maximum);
    bar.SetMin(c.minimum);
    bar.SetPosition(c.position);
    TEventLog log(bar);
    c.change(bar);
    EXPECT_EQ(bar.Min(), c.newMinimum);
    EXPECT_EQ(bar.Max(), c.newMaximum);
    EXPECT_EQ(bar.Position(), c.newPosition);
    EXPECT_EQ(log.changes, c.changes);
    EXPECT_TRUE(log.scrolls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Changes, Ranges,
    ::testing::Values(
        RangeCase{"MaximumBelowPosition", 0, 100, 50, [](auto& b) { b.SetMax(30); }, 0, 30, 30, 1},
        RangeCase{"MinimumAbovePosition", 0, 100, 50, [](auto& b) { b.SetMin(60); }, 60, 100, 60, 1},
        RangeCase{"MaximumEqualMinimum", 0, 100, 50, [](auto& b) { b.SetMax(0); }, 0, 0, 0, 1},
        RangeCase{"PositionAboveMaximum", 0, 100, 50, [](auto& b) { b.SetPosition(200); }, 0, 100,
                  100, 1},
        RangeCase{"PositionBelowMinimum", 10, 100, 50, [](auto& b) { b.SetPosition(-5); }, 10, 100,
                  10, 1},
        RangeCase{"SamePosition", 0, 100, 50, [](auto& b) { b.SetPosition(50); }, 0, 100, 50, 0},
        RangeCase{"RangeAroundPosition", 0, 100, 50, [](auto& b) { b.SetMax(70); }, 0, 70, 50, 0},
        RangeCase{"PageStep", 0, 100, 50, [](auto& b) { b.SetPageStep(65535); }, 0, 100, 50, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScrollBar, RefusesAMaximumBelowTheMinimumAndChangesNothing)
{
    TScrollBar bar;
    bar.SetMax(30);
    bar.SetMin(10);
    bar.SetPosition(20);
    TEventLog log(bar);
    for (const auto& refused : std::vector<std::function<void()>>{[&] { bar.SetMax(9); },
                                                                  [&] { bar.SetMin(31); }}) {
        try {
            refused();
            ADD_FAILURE() << "not refused";
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(), "ｽｸﾛｰﾙﾊﾞｰ ﾌﾟﾛﾊﾟﾃｨが範囲を越えました");
        }
        EXPECT_EQ(bar.Min(), 10);
        EXPECT_EQ(bar.Max(), 30);
        EXPECT_EQ(bar.Position(), 20);
    }
    EXPECT_EQ(log.changes, 0);
}

struct ClickCase {
    const char* name;
    int position;
    QStyle::SubControl part;
    Scrolls scrolls;
};

void PrintTo(const ClickCase& c, std::ostream* out)
{
    *out << c.name;
}

class Clicks : public ::testing::TestWithParam<ClickCase> {};

TEST_P(Clicks, AskBeforeTheBarMovesAndEndTheScrollAfterwards)
{
    TBarFixture fixture;
    fixture.bar.SetPosition(GetParam().position);
    TEventLog log(fixture.bar);
    QTest::mouseClick(&fixture.bar, Qt::LeftButton, {}, PointOn(fixture.bar, GetParam().part));
    EXPECT_EQ(log.scrolls, GetParam().scrolls);
    ASSERT_FALSE(log.positionsBefore.empty());
    EXPECT_EQ(log.positionsBefore[0], GetParam().position);
    const int end = GetParam().scrolls.back().second;
    EXPECT_EQ(fixture.bar.Position(), end);
    EXPECT_EQ(log.changes, end == GetParam().position ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, Clicks,
    ::testing::Values(
        ClickCase{"LineDown", 0, QStyle::SC_ScrollBarAddLine,
                  {{TScrollCode::LineDown, 1}, {TScrollCode::EndScroll, 1}}},
        ClickCase{"LineUpAtTheMinimum", 0, QStyle::SC_ScrollBarSubLine,
                  {{TScrollCode::LineUp, 0}, {TScrollCode::EndScroll, 0}}},
        ClickCase{"PageUp", 10, QStyle::SC_ScrollBarSubPage,
                  {{TScrollCode::PageUp, 6}, {TScrollCode::EndScroll, 6}}},
        ClickCase{"PageDownBeyondTheMaximum", 23, QStyle::SC_ScrollBarAddPage,
                  {{TScrollCode::PageDown, 25}, {TScrollCode::EndScroll, 25}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScrollBar, ReportsKeysWithTheEndOfScrollOnTheirRelease)
{
    TBarFixture fixture;
    fixture.bar.setFocus();
    TEventLog log(fixture.bar);
    QTest::keyPress(&fixture.bar, Qt::Key_End);
    EXPECT_EQ(log.scrolls, (Scrolls{{TScrollCode::Bottom, 25}}));
    QTest::keyRelease(&fixture.bar, Qt::Key_End);
    QTest::keyClick(&fixture.bar, Qt::Key_Left);
    QTest::keyClick(&fixture.bar, Qt::Key_Home);
    EXPECT_EQ(log.scrolls, (Scrolls{{TScrollCode::Bottom, 25},
                                    {TScrollCode::EndScroll, 25},
                                    {TScrollCode::LineUp, 24},
                                    {TScrollCode::EndScroll, 24},
                                    {TScrollCode::Top, 0},
                                    {TScrollCode::EndScroll, 0}}));
    EXPECT_EQ(log.changes, 3);
}

TEST(ScrollBar, ReportsADragAsTrackingThenThePositionWhereItEnds)
{
    TBarFixture fixture;
    TEventLog log(fixture.bar);
    const QPoint thumb = PointOn(fixture.bar, QStyle::SC_ScrollBarSlider);
    QTest::mousePress(&fixture.bar, Qt::LeftButton, {}, thumb);
    QTest::mouseMove(&fixture.bar, thumb + QPoint(40, 0));
    QTest::mouseMove(&fixture.bar, thumb + QPoint(80, 0));
    QTest::mouseRelease(&fixture.bar, Qt::LeftButton, {}, thumb + QPoint(80, 0));
    const int end = fixture.bar.Position();
    ASSERT_GT(end, 0);
    ASSERT_EQ(log.scrolls.size(), 4u);
    EXPECT_EQ(log.scrolls[0].first, TScrollCode::Track);
    EXPECT_EQ(log.scrolls[1], std::make_pair(TScrollCode::Track, end));
    EXPECT_EQ(log.scrolls[2], std::make_pair(TScrollCode::Position, end));
    EXPECT_EQ(log.scrolls[3], std::make_pair(TScrollCode::EndScroll, end));
}

TEST(ScrollBar, TakesThePositionTheHandlerLeaves)
{
    TBarFixture fixture;
    TEventLog log(fixture.bar);
    log.replace = [](TScrollCode code, int& position) {
        if (code == TScrollCode::LineDown)
            position = 7;
    };
    QTest::mouseClick(&fixture.bar, Qt::LeftButton, {}, PointOn(fixture.bar, QStyle::SC_ScrollBarAddLine));
    EXPECT_EQ(fixture.bar.Position(), 7);
    EXPECT_EQ(log.scrolls.back(), std::make_pair(TScrollCode::EndScroll, 7));
    EXPECT_EQ(log.changes, 1);
}

TEST(ScrollBar, WithoutARangeIgnoresClicks)
{
    TBarFixture fixture;
    fixture.bar.SetMax(0);
    TEventLog log(fixture.bar);
    QTest::mouseClick(&fixture.bar, Qt::LeftButton, {}, PointOn(fixture.bar, QStyle::SC_ScrollBarAddLine));
    EXPECT_TRUE(log.scrolls.empty());
    EXPECT_EQ(log.changes, 0);
}

// The preview of the window.

struct TPreviewFixture : TFormFixture {
    TPreviewFixture()
        : horizontal(Find<TScrollBar>("HScrH")), vertical(Find<TScrollBar>("HScrV")),
          image(Find<TPreviewImage>("HImage"))
    {
    }

    // A blank picture of that size, quickly: the source text is empty.
    void ComposeBlank(int width, int height)
    {
        QFile empty(folder.filePath("empty.txt"));
        EXPECT_TRUE(empty.open(QIODevice::WriteOnly));
        empty.close();
        Compose(empty.fileName(), QString::number(width), QString::number(height));
        EXPECT_TRUE(runner->messages.empty());
    }

    void ClickArrow(TScrollBar* bar)
    {
        QTest::mouseClick(bar, Qt::LeftButton, {}, PointOn(*bar, QStyle::SC_ScrollBarAddLine));
    }

    void PressEnd(TScrollBar* bar)
    {
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_End);
    }

    QTemporaryDir folder;
    TScrollBar* horizontal;
    TScrollBar* vertical;
    TPreviewImage* image;
};

TEST(Preview, BeforeAnyPictureHasNothingToScroll)
{
    TPreviewFixture fixture;
    for (TScrollBar* bar : {fixture.horizontal, fixture.vertical}) {
        EXPECT_EQ(bar->Min(), 0);
        EXPECT_EQ(bar->Max(), 0);
        EXPECT_EQ(bar->Position(), 0);
        EXPECT_EQ(bar->PageStep(), 0);
        EXPECT_TRUE(bar->isVisible());
    }
    EXPECT_EQ(fixture.image->geometry(), QRect(0, 0, 445, 317));
    EXPECT_EQ(fixture.form->ScrollStepX, 8);
    EXPECT_EQ(fixture.form->ScrollStepY, 8);
}

struct ArithmeticCase {
    int width, height;
    int maxX, maxY;
    int pageX, pageY;
};

void PrintTo(const ArithmeticCase& c, std::ostream* out)
{
    *out << c.width << 'x' << c.height;
}

class ScrollArithmetic : public ::testing::TestWithParam<ArithmeticCase> {};

TEST_P(ScrollArithmetic, ReachesTheFarEdgeInStepsOfEightPixels)
{
    const ArithmeticCase& c = GetParam();
    TPreviewFixture fixture;
    fixture.ComposeBlank(c.width, c.height);

    EXPECT_EQ(fixture.horizontal->Max(), c.maxX);
    EXPECT_EQ(fixture.vertical->Max(), c.maxY);
    EXPECT_EQ(fixture.horizontal->PageStep(), c.pageX);
    EXPECT_EQ(fixture.vertical->PageStep(), c.pageY);
    EXPECT_EQ(fixture.image->geometry(), QRect(0, 0, c.width, c.height));

    fixture.PressEnd(fixture.horizontal);
    fixture.PressEnd(fixture.vertical);
    EXPECT_EQ(fixture.image->pos(), QPoint(-8 * c.maxX, -8 * c.maxY));
}

INSTANTIATE_TEST_SUITE_P(Pictures, ScrollArithmetic,
                         ::testing::Values(ArithmeticCase{640, 480, 25, 21, 4, 3},
                                           ArithmeticCase{445, 317, 0, 0, 0, 0},
                                           ArithmeticCase{300, 200, 0, 0, 0, 0},
                                           ArithmeticCase{1000, 480, 70, 21, 9, 3},
                                           ArithmeticCase{2000, 1500, 195, 148, 25, 19},
                                           ArithmeticCase{446, 318, 1, 1, 1, 1},
                                           ArithmeticCase{453, 325, 1, 1, 1, 1},
                                           ArithmeticCase{454, 326, 2, 2, 1, 1}));

TEST(Preview, OneLineMovesThePictureEightPixels)
{
    TPreviewFixture fixture;
    fixture.ComposeBlank(640, 480);
    fixture.ClickArrow(fixture.horizontal);
    EXPECT_EQ(fixture.image->pos(), QPoint(-8, 0));
    fixture.ClickArrow(fixture.vertical);
    EXPECT_EQ(fixture.image->pos(), QPoint(-8, -8));
}

TEST(Preview, VerticalFollowsEveryChangeHorizontalOnlyTheUser)
{
    TPreviewFixture fixture;
    fixture.ComposeBlank(640, 480);
    fixture.PressEnd(fixture.horizontal);
    fixture.vertical->SetPosition(21);
    EXPECT_EQ(fixture.image->pos(), QPoint(-200, -168));

    fixture.horizontal->SetPosition(5);
    EXPECT_EQ(fixture.image->x(), -200);

    // A range change that clamps both positions moves only the vertical offset.
    fixture.image->resize(445, 317);
    fixture.form->UpdateScrollRanges();
    EXPECT_EQ(fixture.horizontal->Position(), 0);
    EXPECT_EQ(fixture.vertical->Position(), 0);
    EXPECT_EQ(fixture.image->pos(), QPoint(-200, 0));

    // A new picture starts again at its top-left corner.
    fixture.ComposeBlank(640, 480);
    EXPECT_EQ(fixture.image->pos(), QPoint(0, 0));
}

struct WideCase {
    int imageWidth;
    int maximum;
    std::uint16_t pageStep;
    bool refused;
};

void PrintTo(const WideCase& c, std::ostream* out)
{
    *out << "maximum " << c.maximum;
}

class WidePictures : public ::testing::TestWithParam<WideCase> {};

// Pictures this wide would take gigabytes; an image control of the width
// gives the bar the same maximum.
TEST_P(WidePictures, ScrollUpToAMaximumOf65535)
{
    const WideCase& c = GetParam();
    TPreviewFixture fixture;
    fixture.image->resize(c.imageWidth, 317);
    fixture.form->ResetPreview();
    ASSERT_EQ(fixture.horizontal->Max(), c.maximum);
    EXPECT_EQ(fixture.horizontal->PageStep(), c.pageStep);

    fixture.ClickArrow(fixture.horizontal);

    EXPECT_EQ(fixture.horizontal->Position(), 1);
    if (!c.refused) {
        EXPECT_TRUE(fixture.runner->messages.empty());
        EXPECT_EQ(fixture.image->x(), -8);
        return;
    }
    EXPECT_EQ(fixture.image->x(), 0);
    // Once for the line, once for the end of the scroll.
    ASSERT_EQ(fixture.runner->messages.size(), 2u);
    for (const TMessageBox& box : fixture.runner->messages) {
        EXPECT_EQ(box.caption, "Morvaleth");
        EXPECT_EQ(box.text, "Scrollbar ranges > 65535 not supported");
        EXPECT_EQ(box.icon, TMessageIcon::None);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Maxima, WidePictures,
    ::testing::Values(WideCase{445 + 8 * 65535, 65535, 8192, false},
                      WideCase{445 + 8 * 65535 + 1, 65536, 8192, true},
                      // The page step keeps the low 16 bits of 65537.
                      WideCase{445 + 8 * (8 * 65536 + 8), 8 * 65536 + 8, 1, true}));

// How long QScrollBar holds a pressed arrow before it starts to repeat.
constexpr int FirstRepeatDelayMs = 500;

// A runner that shows the real boxes and counts them.
class TCountingRunner : public TModalRunner {
public:
    void ShowMessage(QWidget* owner, const TMessageBox& box) override
    {
        ++shown;
        TModalRunner::ShowMessage(owner, box);
    }
    int shown = 0;
};

TEST(Preview, ABoxDuringAClickEndsTheClickWithoutRepeating)
{
    auto runner = std::make_shared<TCountingRunner>();
    THFormMain form(runner);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* image = form.findChild<TPreviewImage*>("HImage");
    auto* bar = form.findChild<TScrollBar*>("HScrH");
    image->resize(445 + 8 * 65536, 317);
    form.ResetPreview();

    // The user closes each box; the mouse button comes up while one is open.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            QTest::keyClick(box, Qt::Key_Return);
    });
    closer.start(20);
    QTest::mousePress(bar, Qt::LeftButton, {}, PointOn(*bar, QStyle::SC_ScrollBarAddLine));
    // The click is over once both boxes are closed and the bar lets go;
    // a repeat would come within the bar's first repeat delay after that.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return runner->shown >= 2 && QApplication::activeModalWidget() == nullptr &&
               !bar->isSliderDown();
    }));
    EXPECT_FALSE(QTest::qWaitFor([&] { return runner->shown > 2; }, FirstRepeatDelayMs + 100));
    closer.stop();

    EXPECT_EQ(runner->shown, 2);
    EXPECT_EQ(bar->Position(), 1);
    EXPECT_FALSE(bar->isSliderDown());
    QTest::mouseRelease(bar, Qt::LeftButton, {}, PointOn(*bar, QStyle::SC_ScrollBarAddLine));
    EXPECT_EQ(runner->shown, 2);
}

} // namespace
} // namespace morvaleth::test
