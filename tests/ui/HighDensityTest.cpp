// The window on a screen that Qt scales by two (QT_SCALE_FACTOR=2, set by the
// suite's environment): the designed layout, twice as large on the screen,
// and the picture's pixels one to one with the screen's, crisp. The layout
// suite runs in this program too, unchanged.

#include "UiTestSupport.h"

#include "ui/PreviewImage.h"
#include "ui/ScrollBar.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

namespace morvaleth::test {
namespace {

constexpr double Ratio = 2.0;

// What the screen shows of the window, in the screen's pixels: read back
// from an X server, or painted as for the screen where there is none (Qt's
// offscreen screens give back their pixels at the window's size).
QImage OnScreen(THFormMain& form)
{
    QTest::qWait(50);
    const QPixmap shot = QGuiApplication::platformName() == QLatin1String("offscreen")
                             ? form.grab()
                             : form.screen()->grabWindow(form.winId());
    return shot.toImage().convertToFormat(QImage::Format_RGB32);
}

struct TDenseFixture : TFormFixture {
    TDenseFixture()
        : horizontal(Find<TScrollBar>("HScrH")), vertical(Find<TScrollBar>("HScrV")),
          image(Find<TPreviewImage>("HImage")), panel(Find<QWidget>("HImgPanel"))
    {
    }

    // A picture of pixels that all differ from their neighbours: the source
    // text is a page of characters in real mode, scraps and all.
    void ComposeLetter(int width, int height)
    {
        Find<QCheckBox>("HChkBox")->setChecked(true);
        Compose(ExamplePath("letter-sjis.txt"), QString::number(width), QString::number(height));
        ASSERT_TRUE(runner->messages.empty());
        picture = ImageCopyOf(form->Picture());
    }

    // The picture's pixel that should show at the panel's screen pixel
    // `at`, with the picture's top-left corner at `corner` of the panel.
    // Fails unless every screen pixel of the panel where the picture lies
    // shows exactly its pixel.
    void ExpectOneToOne(QPoint corner)
    {
        const QImage screen = OnScreen(*form);
        const double ratio = form->devicePixelRatioF();
        const QPoint panelAt = panel->mapTo(form.get(), QPoint(0, 0)) * ratio;
        const QSize panelSize = panel->size() * ratio;
        int differing = 0;
        int compared = 0;
        for (int y = 0; y < panelSize.height(); ++y)
            for (int x = 0; x < panelSize.width(); ++x) {
                const QPoint source = QPoint(x, y) - corner;
                if (!picture.rect().contains(source))
                    continue;
                ++compared;
                differing += screen.pixel(panelAt + QPoint(x, y)) != picture.pixel(source);
            }
        EXPECT_EQ(compared, std::min(panelSize.width(), picture.width() + corner.x()) *
                                std::min(panelSize.height(), picture.height() + corner.y()));
        EXPECT_EQ(differing, 0) << "of " << compared << " screen pixels";
    }

    TScrollBar* horizontal;
    TScrollBar* vertical;
    TPreviewImage* image;
    QWidget* panel;
    QImage picture;
};

TEST(HighDensity, TheScreenIsScaledByTwo)
{
    ASSERT_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), Ratio)
        << "QT_SCALE_FACTOR=2 is the suite's environment";
    TFormFixture fixture;
    EXPECT_EQ(fixture.form->devicePixelRatioF(), Ratio);
    // The layout is that of 96 pixels per inch; Qt doubles it on the screen.
    EXPECT_EQ(fixture.form->logicalDpiY(), 96);
    EXPECT_EQ(fixture.form->size(), QSize(480, 430));
    EXPECT_EQ(OnScreen(*fixture.form).size(), QSize(960, 860));
}

TEST(HighDensity, ThePictureMeetsTheScreenOneToOne)
{
    TDenseFixture fixture;
    fixture.ComposeLetter(640, 480);
    EXPECT_EQ(fixture.image->size(), QSize(320, 240));
    EXPECT_EQ(fixture.image->ScreenSize(), QSize(640, 480));
    // The whole picture fits the panel's 890 x 634 screen pixels.
    EXPECT_EQ(fixture.horizontal->Max(), 0);
    EXPECT_EQ(fixture.vertical->Max(), 0);
    fixture.ExpectOneToOne({0, 0});
}

TEST(HighDensity, AScrollPositionIsEightOfThePicturesPixels)
{
    TDenseFixture fixture;
    fixture.ComposeLetter(2000, 1500);
    // Against the panel's 890 x 634 screen pixels.
    EXPECT_EQ(fixture.horizontal->Max(), CeilDiv(2000 - 890, 8));
    EXPECT_EQ(fixture.vertical->Max(), CeilDiv(1500 - 634, 8));
    EXPECT_EQ(fixture.horizontal->PageStep(), CeilDiv(fixture.horizontal->Max(), 8));

    fixture.horizontal->setFocus();
    QTest::keyClick(fixture.horizontal, Qt::Key_Right);
    fixture.vertical->SetPosition(3);
    EXPECT_EQ(fixture.image->pos(), QPoint(-4, -12));
    fixture.ExpectOneToOne({-8, -24});

    // The far corner comes into view at the last positions.
    QTest::keyClick(fixture.horizontal, Qt::Key_End);
    fixture.vertical->SetPosition(fixture.vertical->Max());
    const QPoint corner(-8 * fixture.horizontal->Max(), -8 * fixture.vertical->Max());
    EXPECT_LE(2000 + corner.x(), 890);
    EXPECT_LE(1500 + corner.y(), 634);
    fixture.ExpectOneToOne(corner);
}

TEST(HighDensity, BeyondAnOddSizedPictureThePanelShows)
{
    TDenseFixture fixture;
    fixture.ComposeLetter(641, 481);
    // 320.5 x 240.5 of the window's pixels, taken whole.
    EXPECT_EQ(fixture.image->size(), QSize(321, 241));
    fixture.ExpectOneToOne({0, 0});
    const QImage screen = OnScreen(*fixture.form);
    const QPoint panelAt = fixture.panel->mapTo(fixture.form.get(), QPoint(0, 0)) * Ratio;
    const QRgb background = fixture.panel->palette().color(QPalette::Button).rgb();
    // Away from the panel's bevel along its top and left edges.
    for (int y = 20; y < 481; y += 40)
        EXPECT_EQ(screen.pixel(panelAt + QPoint(641, y)), background) << "row " << y;
    for (int x = 20; x < 641; x += 40)
        EXPECT_EQ(screen.pixel(panelAt + QPoint(x, 481)), background) << "column " << x;
}

TEST(HighDensity, FittedThePictureTakesThePanelsScreenPixels)
{
    TDenseFixture fixture;
    fixture.ComposeLetter(2000, 1500);
    fixture.form->ZoomToFit();
    // Of the panel's 890 x 634 screen pixels, the height binds: 845 x 634,
    // in 423 x 317 of the window's pixels.
    EXPECT_NEAR(fixture.form->Zoom(), 634.0 / 1500, 1e-9);
    EXPECT_EQ(fixture.image->size(), QSize(423, 317));
    EXPECT_EQ(fixture.horizontal->Max(), 0);
    EXPECT_EQ(fixture.vertical->Max(), 0);
}

// The suite's offscreen run has a second screen that Qt scales by three
// (QT_SCREEN_SCALE_FACTORS); an X server has one screen only.
TEST(HighDensity, OnADenserScreenThePictureStaysOneToOne)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    ASSERT_EQ(screens[1]->devicePixelRatio(), 3.0);
    TDenseFixture fixture;
    fixture.ComposeLetter(2000, 1500);
    fixture.vertical->SetPosition(3);

    fixture.form->windowHandle()->setScreen(screens[1]);
    fixture.form->move(screens[1]->geometry().topLeft());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fixture.form->devicePixelRatioF() == 3.0; }));
    // Qt's offscreen screens keep the window's size in the screen's pixels,
    // where a window manager would keep it in the window's: once the screen
    // has shrunk the window, it gets its size back.
    ASSERT_TRUE(QTest::qWaitFor([&] { return fixture.form->width() < 480; }));
    fixture.form->resize(480, 430);
    // 2000 x 1500 screen pixels are 666.7 x 500 of the window's, taken whole;
    // the panel has 1335 x 951 screen pixels.
    EXPECT_EQ(fixture.image->size(), QSize(667, 500));
    EXPECT_EQ(fixture.horizontal->Max(), CeilDiv(2000 - 1335, 8));
    EXPECT_EQ(fixture.vertical->Max(), CeilDiv(1500 - 951, 8));
    EXPECT_EQ(fixture.vertical->Position(), 3);
    fixture.ExpectOneToOne({0, -24});
}

} // namespace
} // namespace morvaleth::test
