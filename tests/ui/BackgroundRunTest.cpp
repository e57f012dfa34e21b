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
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
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

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Real runs, stopped at their start, halfway and near their end, in rows and
// in columns, by each way the user has: the window is back within a fraction
// of a second (asserted loosely here, for the sanitizers' sake; measured in
// the bench) and everything is as it was. Closing the main window during a
// run closes it.
enum class TStopBy { EscOnTheWindow, CancelButton, EscOnTheDialog, DialogCloseBox, WindowCloseBox };

struct RealCancelCase {
    const char* name;
    Writing writing;
    double share; // of the bar, when the stop comes; 0: as soon as the run starts
    TStopBy by;
};

void PrintTo(const RealCancelCase& c, std::ostream* out)
{
    *out << c.name;
}

// What the window gives as its answer to each way of stopping.
void Stop(TFormFixture& fixture, TStopBy by)
{
    TRunProgressDialog* dialog = ProgressDialog(fixture);
    switch (by) {
    case TStopBy::EscOnTheWindow:
        QTest::keyClick(fixture.Find<QWidget>("HEditPath"), Qt::Key_Escape);
        break;
    case TStopBy::CancelButton:
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
        break;
    case TStopBy::EscOnTheDialog:
        QTest::keyClick(dialog, Qt::Key_Escape);
        break;
    case TStopBy::DialogCloseBox:
        dialog->close();
        break;
    case TStopBy::WindowCloseBox: {
        // As the window system's close box: nothing modal holds it back.
        EXPECT_EQ(QGuiApplication::modalWindow(), nullptr);
        QCloseEvent close;
        QApplication::sendEvent(fixture.form.get(), &close);
        break;
    }
    }
}

// A text of one endless line, which fills every cell of the picture.
QString FullText(const QTemporaryDir& folder)
{
    QFile letter(ExamplePath("letter-utf8.txt"));
    EXPECT_TRUE(letter.open(QIODevice::ReadOnly));
    QByteArray line = letter.readAll();
    line.replace("\r", "").replace("\n", "");
    QFile text(folder.filePath("full.txt"));
    EXPECT_TRUE(text.open(QIODevice::WriteOnly));
    for (int copy = 0; copy < 4000; ++copy)
        text.write(line);
    return text.fileName();
}

class CancellingARealRun : public ::testing::TestWithParam<RealCancelCase> {};

TEST_P(CancellingARealRun, GivesTheWindowBackAtOnceAsItWas)
{
    const RealCancelCase& c = GetParam();
    QTemporaryDir folder;
    TFormFixture fixture;
    fixture.Compose(ExamplePath("letter-sjis.txt"));
    const std::shared_ptr<const PixelPicture> earlier = fixture.form->Picture();
    ASSERT_NE(earlier, nullptr);
    fixture.Find<QCheckBox>("HChkBox")->setChecked(true);
    fixture.Find<QCheckBox>("HChkVertical")->setChecked(c.writing == Writing::Columns);

    std::chrono::steady_clock::time_point stopped{};
    // The bar shows a share of the run from the moment it shows, never the
    // busy stripes, and never goes back.
    bool busy = false;
    int lastValue = 0;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        TRunProgressDialog* dialog = ProgressDialog(fixture);
        if (dialog == nullptr || stopped != std::chrono::steady_clock::time_point{})
            return;
        const QProgressBar* bar = dialog->Bar();
        if (dialog->isVisible()) {
            busy = busy || bar->maximum() <= 0;
            EXPECT_GE(bar->value(), lastValue);
            lastValue = bar->value();
        }
        const bool dialogReady = c.by == TStopBy::EscOnTheWindow || dialog->isVisible();
        if (!dialogReady || (c.share > 0 && (bar->maximum() <= 0 || bar->value() < c.share * bar->maximum())))
            return;
        stopped = std::chrono::steady_clock::now();
        Stop(fixture, c.by);
    });
    watch.start(2);
    // Long enough, on an idle machine too, that the dialog shows (after half
    // a second) well before the run comes near its end.
    fixture.Compose(FullText(folder), "12000", "12000");
    const auto back = std::chrono::steady_clock::now();
    watch.stop();

    ASSERT_NE(stopped, std::chrono::steady_clock::time_point{}) << "the run ended before it was stopped";
    EXPECT_FALSE(busy) << "the bar showed no share of the run";
    EXPECT_LT(back - stopped, std::chrono::milliseconds(1500)) << "the window came back late";
    EXPECT_FALSE(fixture.form->Composing());
    EXPECT_EQ(fixture.form->Picture(), earlier);
    EXPECT_TRUE(fixture.runner->messages.empty());
    if (c.by == TStopBy::WindowCloseBox) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !fixture.form->isVisible(); }));
    } else {
        EXPECT_TRUE(fixture.form->isVisible());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Points, CancellingARealRun,
    ::testing::Values(RealCancelCase{"RowsAtTheStart", Writing::Rows, 0, TStopBy::EscOnTheWindow},
                      RealCancelCase{"RowsHalfway", Writing::Rows, 0.5, TStopBy::CancelButton},
                      RealCancelCase{"RowsNearTheEnd", Writing::Rows, 0.8, TStopBy::DialogCloseBox},
                      RealCancelCase{"ColumnsAtTheStart", Writing::Columns, 0, TStopBy::EscOnTheWindow},
                      RealCancelCase{"ColumnsWhileReading", Writing::Columns, 0.2, TStopBy::EscOnTheDialog},
                      RealCancelCase{"ColumnsNearTheEnd", Writing::Columns, 0.9, TStopBy::WindowCloseBox}),
    [](const auto& info) { return std::string(info.param.name); });

// A FIFO that nobody writes holds no run: opening it does not wait for a
// writer, and while it has nothing to read each way of stopping is heard.
class CancellingAFifo : public ::testing::TestWithParam<TStopBy> {};

TEST_P(CancellingAFifo, GivesTheWindowBack)
{
    QTemporaryDir folder;
    const QString fifo = folder.filePath("fifo");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    TFormFixture fixture;
    fixture.Compose(ExamplePath("letter-sjis.txt"));
    const std::shared_ptr<const PixelPicture> earlier = fixture.form->Picture();

    // Stopped once the run is waiting: its dialog exists, and shows for the
    // ways that go through it.
    std::chrono::steady_clock::time_point stopped{};
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const TRunProgressDialog* dialog = ProgressDialog(fixture);
        if (stopped != std::chrono::steady_clock::time_point{} || dialog == nullptr ||
            (GetParam() != TStopBy::EscOnTheWindow && !dialog->isVisible()))
            return;
        stopped = std::chrono::steady_clock::now();
        Stop(fixture, GetParam());
    });
    watch.start(2);
    fixture.Compose(fifo);
    watch.stop();
    ASSERT_NE(stopped, std::chrono::steady_clock::time_point{});
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::milliseconds(1500));
    EXPECT_FALSE(fixture.form->Composing());
    EXPECT_EQ(fixture.form->Picture(), earlier);
    EXPECT_TRUE(fixture.runner->messages.empty());
    if (GetParam() == TStopBy::WindowCloseBox) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !fixture.form->isVisible(); }));
        return;
    }
    EXPECT_TRUE(fixture.form->isVisible());

    // A writer that comes later is read as any text, once the stopped run has
    // let go of the FIFO (a reader it kept open would take the writer's end
    // from the next).
    ASSERT_TRUE(QTest::qWaitFor([] { return RunsLeftToEnd() == 0; }, 5000));
    std::thread writer([&] {
        const int descriptor = ::open(fifo.toLocal8Bit().constData(), O_WRONLY);
        (void)!::write(descriptor, "Dear friend,\r\n", 14);
        ::close(descriptor);
    });
    fixture.Compose(fifo);
    writer.join();
    ASSERT_NE(fixture.form->Picture(), earlier);
    EXPECT_FALSE(ImageCopyOf(fixture.form->Picture()).isNull());
}

INSTANTIATE_TEST_SUITE_P(Ways, CancellingAFifo,
                         ::testing::Values(TStopBy::EscOnTheWindow, TStopBy::CancelButton, TStopBy::DialogCloseBox,
                                           TStopBy::WindowCloseBox),
                         [](const auto& info) {
                             switch (info.param) {
                             case TStopBy::EscOnTheWindow:
                                 return std::string("EscOnTheWindow");
                             case TStopBy::CancelButton:
                                 return std::string("CancelButton");
                             case TStopBy::DialogCloseBox:
                                 return std::string("DialogCloseBox");
                             default:
                                 return std::string("WindowCloseBox");
                             }
                         });

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
