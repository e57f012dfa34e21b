// A window of any size: the controls hold their corners, the preview panel
// grows, the scroll ranges follow the panel; and the preview's zoom.

#include "UiTestSupport.h"

#include "ui/PreviewImage.h"
#include "ui/ScrollBar.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <cstring>

namespace morvaleth::test {
namespace {

// The tabled places at the designed size of 480 x 430.
const std::vector<std::pair<const char*, QRect>> DesignPlaces = {
    {"HEditPath", {8, 32, 373, 20}}, {"HBtnRef", {292, 4, 89, 25}},   {"HBtnSave", {388, 56, 89, 25}},
    {"HEditX", {8, 56, 49, 23}},     {"HEditY", {76, 56, 49, 23}},    {"Button1", {132, 56, 77, 25}},
    {"HBtnCreate", {388, 28, 89, 25}}, {"HImgPanel", {8, 88, 445, 317}}, {"HScrH", {8, 408, 445, 17}},
    {"HScrV", {456, 90, 17, 315}},   {"HChkBox", {388, 4, 89, 21}},
};

// Where a control stands in a window grown by `wider` and `taller`.
QRect ExpectedPlace(const std::string& name, QRect place, int wider, int taller)
{
    if (name == "HBtnRef" || name == "HBtnSave" || name == "HBtnCreate" || name == "HChkBox")
        return place.translated(wider, 0);
    if (name == "HEditPath")
        return place.adjusted(0, 0, wider, 0);
    if (name == "HImgPanel")
        return place.adjusted(0, 0, wider, taller);
    if (name == "HScrH")
        return place.adjusted(0, taller, wider, taller);
    if (name == "HScrV")
        return place.adjusted(wider, 0, wider, taller);
    return place;
}

struct TSizeFixture : TFormFixture {
    TSizeFixture()
        : horizontal(Find<TScrollBar>("HScrH")), vertical(Find<TScrollBar>("HScrV")),
          image(Find<TPreviewImage>("HImage")), panel(Find<QWidget>("HImgPanel"))
    {
    }

    void ComposeBlank(int width, int height)
    {
        QFile empty(folder.filePath("empty.txt"));
        EXPECT_TRUE(empty.open(QIODevice::WriteOnly));
        empty.close();
        Compose(empty.fileName(), QString::number(width), QString::number(height));
        ASSERT_TRUE(runner->messages.empty());
    }

    QTemporaryDir folder;
    TScrollBar* horizontal;
    TScrollBar* vertical;
    TPreviewImage* image;
    QWidget* panel;
};

struct SizeCase {
    QSize size;
    QSize shown; // what the window takes: never less than designed
};

class WindowSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(WindowSizes, HoldTheCornersGrowThePanelAndFollowWithTheRanges)
{
    const SizeCase& c = GetParam();
    TSizeFixture fixture;
    fixture.ComposeBlank(2000, 1500);
    fixture.form->resize(c.size);
    EXPECT_EQ(fixture.form->size(), c.shown);
    const int wider = c.shown.width() - 480;
    const int taller = c.shown.height() - 430;
    for (const auto& [name, place] : DesignPlaces)
        EXPECT_EQ(fixture.Find<QWidget>(name)->geometry(), ExpectedPlace(name, place, wider, taller))
            << name;
    const QSize panel = fixture.panel->size();
    EXPECT_EQ(fixture.horizontal->Max(), std::max(0, CeilDiv(2000 - panel.width(), 8)));
    EXPECT_EQ(fixture.vertical->Max(), std::max(0, CeilDiv(1500 - panel.height(), 8)));
    EXPECT_EQ(fixture.horizontal->PageStep(), CeilDiv(fixture.horizontal->Max(), 8));
    EXPECT_EQ(fixture.vertical->PageStep(), CeilDiv(fixture.vertical->Max(), 8));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, WindowSizes,
    ::testing::Values(SizeCase{{480, 430}, {480, 430}}, SizeCase{{1024, 768}, {1024, 768}},
                      SizeCase{{1400, 430}, {1400, 430}}, SizeCase{{480, 1000}, {480, 1000}},
                      SizeCase{{300, 200}, {480, 430}}, SizeCase{{2600, 1700}, {2600, 1700}}));

TEST(WindowSize, ARangeThatShrinksBringsThePictureAlong)
{
    TSizeFixture fixture;
    fixture.ComposeBlank(1000, 700);
    fixture.horizontal->setFocus();
    QTest::keyClick(fixture.horizontal, Qt::Key_End);
    fixture.vertical->SetPosition(fixture.vertical->Max());
    ASSERT_EQ(fixture.image->pos(), QPoint(-8 * 70, -8 * 48));

    fixture.form->resize(480 + 300, 430 + 200);
    // Panel 745 x 517: maxima 32 and 23, where the image now stands.
    EXPECT_EQ(fixture.horizontal->Max(), 32);
    EXPECT_EQ(fixture.vertical->Max(), 23);
    EXPECT_EQ(fixture.image->pos(), QPoint(-8 * 32, -8 * 23));

    // A picture smaller than the panel: nothing left to scroll.
    fixture.form->resize(1200, 900);
    EXPECT_EQ(fixture.horizontal->Max(), 0);
    EXPECT_EQ(fixture.vertical->Max(), 0);
    EXPECT_EQ(fixture.image->pos(), QPoint(0, 0));
}

// Keys pressed, one after another, from a new 2000 x 1500 picture at 1:1.
struct ZoomCase {
    const char* name;
    std::vector<QKeySequence> keys;
    double zoom;
    QSize imageSize;
};

void PrintTo(const ZoomCase& c, std::ostream* out)
{
    *out << c.name;
}

const QKeySequence In(Qt::CTRL | Qt::Key_Plus);
const QKeySequence InUnshifted(Qt::CTRL | Qt::Key_Equal);
const QKeySequence Out(Qt::CTRL | Qt::Key_Minus);
const QKeySequence Fit(Qt::CTRL | Qt::Key_0);

class Zooming : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(Zooming, StepsAndFitsWithTheBarsOnTheZoomedPicture)
{
    const ZoomCase& c = GetParam();
    TSizeFixture fixture;
    fixture.ComposeBlank(2000, 1500);
    for (const QKeySequence& keys : c.keys)
        QTest::keySequence(fixture.form.get(), keys);
    EXPECT_NEAR(fixture.form->Zoom(), c.zoom, 1e-9);
    EXPECT_EQ(fixture.image->size(), c.imageSize);
    EXPECT_EQ(fixture.horizontal->Max(), std::max(0, CeilDiv(c.imageSize.width() - 445, 8)));
    EXPECT_EQ(fixture.vertical->Max(), std::max(0, CeilDiv(c.imageSize.height() - 317, 8)));
    EXPECT_EQ(fixture.image->pos(), QPoint(-8 * fixture.horizontal->Position(), -8 * fixture.vertical->Position()));
}

// The fitting zoom of 2000 x 1500 in 445 x 317 is 317 / 1500.
INSTANTIATE_TEST_SUITE_P(
    Keys, Zooming,
    ::testing::Values(ZoomCase{"In", {In}, 2, {4000, 3000}},
                      ZoomCase{"InToTheLargest", {In, InUnshifted, In}, 4, {8000, 6000}},
                      ZoomCase{"Out", {Out}, 0.5, {1000, 750}},
                      ZoomCase{"OutToTheSmallest", {Out, Out, Out, Out}, 0.125, {250, 188}},
                      ZoomCase{"Fit", {Fit}, 317.0 / 1500, {423, 317}},
                      ZoomCase{"InFromFit", {Fit, In}, 0.25, {500, 375}},
                      ZoomCase{"OutFromFit", {Fit, Out}, 0.125, {250, 188}},
                      ZoomCase{"BackToOneToOne", {Out, Out, In, In}, 1, {2000, 1500}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Zoom, KeepsTheMiddleOfThePanelAndStartsEachNewPictureAtOneToOne)
{
    TSizeFixture fixture;
    fixture.ComposeBlank(2000, 1500);
    fixture.vertical->SetPosition(40); // the panel's middle row shows picture row 320 + 158
    QTest::keySequence(fixture.form.get(), In);
    // Row 478 at zoom 2 is 956; 956 - 158 = 798 = 8 x 99.75, so position 100.
    EXPECT_EQ(fixture.vertical->Position(), 100);
    EXPECT_EQ(fixture.image->y(), -800);

    fixture.ComposeBlank(900, 600);
    EXPECT_EQ(fixture.form->Zoom(), 1);
    EXPECT_EQ(fixture.image->size(), QSize(900, 600));
    EXPECT_EQ(fixture.image->pos(), QPoint(0, 0));
}

TEST(Zoom, AFitFollowsTheWindowsSize)
{
    TSizeFixture fixture;
    fixture.ComposeBlank(2000, 1500);
    QTest::keySequence(fixture.form.get(), Fit);
    fixture.form->resize(480 + 555, 430 + 383); // panel 1000 x 700
    EXPECT_NEAR(fixture.form->Zoom(), 700.0 / 1500, 1e-9);
    EXPECT_EQ(fixture.image->size(), QSize(933, 700));
    EXPECT_EQ(fixture.horizontal->Max(), 0);
    EXPECT_EQ(fixture.vertical->Max(), 0);
    // A step leaves the fit: the size no longer changes the zoom.
    QTest::keySequence(fixture.form.get(), Out);
    fixture.form->resize(480, 430);
    EXPECT_EQ(fixture.form->Zoom(), 0.25);
}

TEST(Zoom, CtrlWheelZoomsAboutThePointUnderTheMouse)
{
    TSizeFixture fixture;
    fixture.ComposeBlank(2000, 1500);
    const QPoint at(96, 80);
    const auto turn = [&](int delta) {
        QWheelEvent wheel(at, fixture.panel->mapToGlobal(at), {}, {0, delta}, Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(fixture.image, &wheel);
    };
    turn(120);
    EXPECT_EQ(fixture.form->Zoom(), 2);
    // Picture point 96, 80 is now at 192, 160, shown at 96, 80 again.
    EXPECT_EQ(fixture.image->pos(), QPoint(-96, -80));
    turn(-240);
    EXPECT_EQ(fixture.form->Zoom(), 0.5);
    // Without Ctrl the wheel scrolls as before.
    QWheelEvent plain(at, fixture.panel->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(fixture.image, &plain);
    EXPECT_EQ(fixture.form->Zoom(), 0.5);
}

TEST(Zoom, PaintsTheScaledPictureSmoothly)
{
    TSizeFixture fixture;
    // Black left half, white right half, 200 x 100.
    auto picture = std::make_shared<PixelPicture>();
    picture->SetHeight(100);
    picture->SetWidth(200);
    for (int y = 0; y < 100; ++y) {
        std::uint8_t* row = picture->ScanLine(y);
        std::memset(row, 0x00, 100 * 3);
        std::memset(row + 100 * 3, 0xFF, 100 * 3);
    }
    fixture.image->SetPicture(picture);
    fixture.form->ResetPreview();

    QTest::keySequence(fixture.form.get(), Out);
    ASSERT_EQ(fixture.image->size(), QSize(100, 50));
    QImage shown = fixture.image->grab().toImage();
    EXPECT_EQ(shown.pixelColor(5, 25), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(95, 25), QColor(Qt::white));

    QTest::keySequence(fixture.form.get(), In);
    QTest::keySequence(fixture.form.get(), In);
    ASSERT_EQ(fixture.image->size(), QSize(400, 200));
    shown = fixture.image->grab().toImage();
    EXPECT_EQ(shown.pixelColor(10, 100), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(390, 100), QColor(Qt::white));
    // Smoothly: the edge at column 200 blends into greys, where pixels simply
    // doubled would stay black or white.
    int greys = 0;
    for (int x = 196; x < 204; ++x)
        greys += shown.pixelColor(x, 100) != QColor(Qt::black) &&
                 shown.pixelColor(x, 100) != QColor(Qt::white);
    EXPECT_GT(greys, 0);
}

} // namespace
} // namespace morvaleth::test
