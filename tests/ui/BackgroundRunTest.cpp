// Composing in the background: the progress dialog, a window that repaints
// but takes no input, cancelling at several points, closing the window during
// a run, and errors that arrive after it.

#include "UiTestSupport.h"

#include "composer/Error.h"
#include "ui/BackgroundRun.h"
#include "ui/PreviewImage.h"
#include "ui/ScrollBar.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPaintEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace morvaleth::test {
namespace {

TRunProgressDialog* ProgressDialog(const TFormFixture& fixture)
{
    return fixture.form->findChild<TRunProgressDialog*>();
}

bool ProgressShows(const TFormFixture& fixture)
{
    const TRunProgressDialog* dialog = ProgressDialog(fixture);
    return dialog != nullptr && dialog->isVisible();
}

// Counts the paints a widget receives.
struct TPaintCounter : QObject {
    explicit TPaintCounter(QWidget* watched) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
    int paints = 0;
};

TEST(BackgroundRun, ShowsProgressAfterHalfASecondWhileTheWindowPaintsAndTakesNoInput)
{
    TFormFixture fixture;
    TGatedRun run;
    fixture.form->SetComposer(run.Composer());
    auto* realMode = fixture.Find<QCheckBox>("HChkBox");
    auto* width = fixture.Find<QLineEdit>("HEditX");
    TPaintCounter panelPaints(fixture.Find<QWidget>("HImgPanel"));

    bool sawDialogEarly = true;
    int barValue = -1, barMaximum = -1;
    QString title, button;
    int paintsDuringRun = 0;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(fixture.form->Composing());
        sawDialogEarly = ProgressShows(fixture);
        // Nor do the window's actions take keys: no text pane opens.
        QTest::keyClick(width, Qt::Key_E, Qt::ControlModifier);
        run.Release(30);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(QTest::qWaitFor([&] { return ProgressShows(fixture); }, 5000));
        EXPECT_GE(std::chrono::steady_clock::now() - start, ProgressDialogDelay - std::chrono::milliseconds(100));
        TRunProgressDialog* dialog = ProgressDialog(fixture);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->Bar()->value() == 30; }));
        barValue = dialog->Bar()->value();
        barMaximum = dialog->Bar()->maximum();
        title = dialog->windowTitle();
        button = dialog->CancelButton()->text();

        // The window paints, and takes neither clicks nor keys.
        const int before = panelPaints.paints;
        fixture.Find<QWidget>("HImgPanel")->update();
        EXPECT_TRUE(QTest::qWaitFor([&] { return panelPaints.paints > before; }));
        paintsDuringRun = panelPaints.paints - before;
        QTest::mouseClick(realMode, Qt::LeftButton);
        QTest::keyClicks(width, "99");
        run.Release(GatedRows);
    });
    fixture.Compose(ExamplePath("letter-sjis.txt"));

    EXPECT_FALSE(sawDialogEarly);
    EXPECT_EQ(barValue, 30);
    EXPECT_EQ(barMaximum, GatedRows);
    EXPECT_EQ(title, "作成中");
    EXPECT_EQ(button, "ｷｬﾝｾﾙ");
    EXPECT_GT(paintsDuringRun, 0);
    EXPECT_FALSE(realMode->isChecked());
    EXPECT_EQ(width->text(), "640");
    EXPECT_FALSE(fixture.form->TextPaneShown());
    EXPECT_FALSE(fixture.form->Composing());
    EXPECT_FALSE(ProgressShows(fixture));
    ASSERT_NE(fixture.form->Picture(), nullptr);
    EXPECT_EQ(fixture.form->Picture()->Width(), 640);
    EXPECT_TRUE(fixture.runner->messages.empty());
}

TEST(BackgroundRun, AShortRunShowsNoDialog)
{
    TFormFixture fixture;
    bool dialogShown = false;
    // A run that ends at once, whatever the machine's load.
    fixture.form->SetComposer([](const CompositionSettings&, const RunControl& control) {
        control.progress(200, 200);
        auto picture = std::make_unique<PixelPicture>();
        picture->SetHeight(200);
        picture->SetWidth(320);
        return picture;
    });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { dialogShown |= ProgressShows(fixture); });
    watch.start(5);
    fixture.Compose(ExamplePath("letter-sjis.txt"));
    EXPECT_FALSE(dialogShown);
    ASSERT_NE(fixture.form->Picture(), nullptr);
    EXPECT_EQ(fixture.form->Picture()->Height(), 200);
}

// Where the user stops the run, and how.
struct CancelCase {
    const char* name;
    std::int64_t rowsFirst;
    bool waitForDialog;
    std::function<void(TFormFixture&)> cancel;
};

void PrintTo(const CancelCase& c, std::ostream* out)
{
    *out << c.name;
}

class Cancelling : public ::testing::TestWithParam<CancelCase> {};

TEST_P(Cancelling, LeavesThePictureThePreviewAndSaveAsTheyWere)
{
    const CancelCase& c = GetParam();
    TFormFixture fixture;
    fixture.Compose(ExamplePath("letter-sjis.txt"), "1000", "700");
    const std::shared_ptr<const PixelPicture> earlier = fixture.form->Picture();
    ASSERT_NE(earlier, nullptr);
    auto* image = fixture.Find<TPreviewImage>("HImage");
    auto* horizontal = fixture.Find<TScrollBar>("HScrH");
    auto* vertical = fixture.Find<TScrollBar>("HScrV");
    horizontal->setFocus();
    QTest::keyClick(horizontal, Qt::Key_End);
    vertical->SetPosition(7);
    const QPoint imageAt = image->pos();
    const QPair<int, int> positions{horizontal->Position(), vertical->Position()};
    ASSERT_EQ(imageAt, QPoint(-8 * horizontal->Max(), -8 * 7));

    TGatedRun run;
    fixture.form->SetComposer(run.Composer());
    QTimer::singleShot(0, [&] {
        run.Release(c.rowsFirst);
        if (c.waitForDialog) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return ProgressShows(fixture); }, 5000));
        }
        c.cancel(fixture);
    });
    fixture.Compose(ExamplePath("letter-ascii.txt"), "2000", "1500");

    EXPECT_FALSE(fixture.form->Composing());
    EXPECT_FALSE(ProgressShows(fixture));
    EXPECT_EQ(fixture.form->Picture(), earlier);
    EXPECT_EQ(image->Picture(), earlier);
    EXPECT_EQ(image->pos(), imageAt);
    EXPECT_EQ(horizontal->Position(), positions.first);
    EXPECT_EQ(vertical->Position(), positions.second);
    EXPECT_TRUE(fixture.Find<QPushButton>("HBtnSave")->isEnabled());
    EXPECT_TRUE(fixture.runner->messages.empty()) << "a cancelled run tells nothing";

    // The cancel was for that run only: the next one composes.
    run.Release(GatedRows);
    fixture.Compose(ExamplePath("letter-ascii.txt"), "320", "200");
    ASSERT_NE(fixture.form->Picture(), nullptr);
    EXPECT_EQ(fixture.form->Picture()->Width(), 320);
    EXPECT_EQ(image->Picture(), fixture.form->Picture());
    EXPECT_TRUE(fixture.runner->messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Points, Cancelling,
    ::testing::Values(
        CancelCase{"EscOnTheWindowBeforeTheDialog", 0, false,
                   [](TFormFixture& f) { QTest::keyClick(f.Find<QWidget>("HEditPath"), Qt::Key_Escape); }},
        CancelCase{"CancelButtonAtTheFirstRow", 0, true,
                   [](TFormFixture& f) {
                       QTest::mouseClick(ProgressDialog(f)->CancelButton(), Qt::LeftButton);
                   }},
        CancelCase{"EscOnTheDialogHalfway", 50, true,
                   [](TFormFixture& f) { QTest::keyClick(ProgressDialog(f), Qt::Key_Escape); }},
        CancelCase{"DialogClosedAtTheLastRow", GatedRows - 1, true,
                   [](TFormFixture& f) { ProgressDialog(f)->close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BackgroundRun, ARunThatFinishesAfterTheCancelLeavesEverythingAsItWas)
{
    TFormFixture fixture;
    fixture.Compose(ExamplePath("letter-sjis.txt"));
    const std::shared_ptr<const PixelPicture> earlier = fixture.form->Picture();
    ASSERT_NE(earlier, nullptr);
    // A composer that never looks at the cancel until it is done: it returns
    // its picture only once the cancel has been asked for.
    fixture.form->SetComposer([](const CompositionSettings&, const RunControl& control) {
        for (int waited = 0; waited < 10000 && !control.Cancelled(); ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        auto picture = std::make_unique<PixelPicture>();
        picture->SetHeight(20);
        picture->SetWidth(30);
        return picture;
    });
    QTimer::singleShot(0, [&] { QTest::keyClick(fixture.Find<QWidget>("HEditPath"), Qt::Key_Escape); });
    fixture.Compose(ExamplePath("letter-ascii.txt"), "30", "20");
    EXPECT_EQ(fixture.form->Picture(), earlier);
    EXPECT_EQ(fixture.Find<TPreviewImage>("HImage")->Picture(), earlier);
    EXPECT_TRUE(fixture.runner->messages.empty());
}

TEST(BackgroundRun, ClosingTheWindowStopsTheRunFirst)
{
    TFormFixture fixture;
    TGatedRun run;
    fixture.form->SetComposer(run.Composer());
    bool stillOpenDuringRun = false;
    QTimer::singleShot(0, [&] {
        run.Release(10);
        fixture.form->close();
        stillOpenDuringRun = fixture.form->isVisible();
    });
    fixture.Compose(ExamplePath("letter-sjis.txt"));
    EXPECT_TRUE(stillOpenDuringRun) << "the window waits for the run to stop";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fixture.form->isVisible(); }));
    EXPECT_EQ(fixture.form->Picture(), nullptr);
    EXPECT_TRUE(fixture.runner->messages.empty());
}

TEST(BackgroundRun, AFailureShowsInTheBoxAfterTheRun)
{
    TFormFixture fixture;
    TGatedRun run;
    fixture.form->SetComposer(run.Composer());
    std::size_t boxesDuringRun = 1;
    QTimer::singleShot(0, [&] {
        run.Release(60);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ProgressShows(fixture); }, 5000));
        boxesDuringRun = fixture.runner->messages.size();
        run.Release(GatedRows);
    });
    fixture.Compose(ExamplePath("no-such-letter.txt"));
    EXPECT_EQ(boxesDuringRun, 0u);
    EXPECT_FALSE(ProgressShows(fixture));
    ASSERT_EQ(fixture.runner->messages.size(), 1u);
    EXPECT_EQ(fixture.runner->messages[0].caption, "Morvaleth");
    EXPECT_EQ(fixture.runner->messages[0].text, "ﾌｧｲﾙが見つかりません.");
    EXPECT_EQ(fixture.runner->messages[0].icon, TMessageIcon::Stop);
    EXPECT_EQ(fixture.form->Picture(), nullptr);
}

} // namespace
} // namespace morvaleth::test
