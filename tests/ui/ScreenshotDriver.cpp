// Drives the real window the way a user would - through its buttons and its
// dialogs - and photographs it. For scripts/screenshot-window, under a real X
// server; the window program itself takes no options.
//
//   ui_screenshot_driver --text FILE [--size 640x480] [--font-size N] [--real]
//                        [--vertical] [--mix-faces]
//                        [--window WxH] [--progress-shot PNG] [--fit]
//                        [--scroll-end] [--shot PNG] [--save FILE]...
//                        [--dialog-shot PNG] [--again]
//   ui_screenshot_driver --type FILE [--type-chars N] [--size 640x480] [--real]
//                        [--shot PNG]
//
// --window enlarges the window before composing; --progress-shot photographs
// the window with the progress dialog of a long run and reports how long the
// dialog took to show, how long the window took to repaint and how late its
// events were handled while the run went on; --fit presses Ctrl+0 after the
// run; --again composes once more and reports the memory that took.
//
// --type opens the text pane with Ctrl+E instead and types the first N
// characters of FILE into it key by key, as a quick typist would: words of a
// few keys 110 ms apart, a pause just longer than the live preview's after
// every third word so that the next key lands while a run goes on, and
// after each sentence a wait for the preview. It reports how long each
// keystroke took the window to handle and, for every wait, how long after
// the last keystroke the preview showed the picture of the text typed so far.

#include "ScrollBarParts.h"

#include "ui/Application.h"
#include "ui/FormMain.h"
#include "ui/PreviewImage.h"
#include "ui/SavePictureDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <QTest>
#include <QTimer>

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using morvaleth::test::PointOn;

using morvaleth::THFormMain;
using morvaleth::TScrollBar;

// Failures happen inside dialogs' event loops, which no exception may cross:
// the run stops on the spot.
[[noreturn]] void Fail(const QString& what)
{
    std::fprintf(stderr, "ui_screenshot_driver: %s\n", qPrintable(what));
    std::fflush(nullptr);
    std::_Exit(1);
}

// Acts on the next modal window once it is open.
void WhenModalOpens(std::function<void(QWidget*)> act)
{
    auto* poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        QTest::qWait(300); // let it lay out and paint
        act(modal);
    });
    poll->start(50);
}

// Every box the run did not ask for is an error the window reported.
void ExpectNoBox(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        std::fprintf(stderr, "ui_screenshot_driver: the window said: %s\n",
                     qPrintable(box->text()));
        box->accept();
        Fail("unexpected message box");
    }
}

void TypeInto(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

void TypeFileNameAndPressEnter(QWidget* dialog, const QString& name)
{
    ExpectNoBox(dialog);
    auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (nameBox == nullptr)
        Fail("no name box in the file dialog");
    // Set rather than typed: typing at machine speed leaves the name box's
    // completion list to pop up after the dialog has closed.
    nameBox->setFocus();
    nameBox->setText(name);
    QTest::keyClick(nameBox, Qt::Key_Return);
}

void Click(QWidget* control)
{
    QTest::mouseClick(control, Qt::LeftButton);
    QTest::qWait(100);
}

// Drags the bar's thumb past its far end and lets go.
void DragToTheEnd(TScrollBar* bar)
{
    const QPoint thumb = PointOn(*bar, QStyle::SC_ScrollBarSlider);
    const QPoint beyond = bar->orientation() == Qt::Horizontal ? QPoint(bar->width() + 20, thumb.y())
                                                               : QPoint(thumb.x(), bar->height() + 20);
    QTest::mousePress(bar, Qt::LeftButton, {}, thumb);
    for (int step = 1; step <= 10; ++step)
        QTest::mouseMove(bar, thumb + (beyond - thumb) * step / 10);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, beyond);
    QTest::qWait(100);
    if (bar->Position() != bar->Max())
        Fail(QStringLiteral("%1 stopped at %2 of %3").arg(bar->objectName()).arg(bar->Position()).arg(bar->Max()));
}

void Photograph(QWidget* window, const QString& path)
{
    QTest::qWait(300);
    const QRect area = window->frameGeometry();
    const QPixmap shot = window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (shot.isNull() || !shot.save(path))
        Fail("cannot write " + path);
    std::printf("ui_screenshot_driver: %s (%dx%d)\n", qPrintable(path), shot.width(), shot.height());
}

// A figure of this process's memory from /proc/self/status, in KiB:
// "VmRSS" now, "VmHWM" at its peak.
long MemoryKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

// Watches a run from its own event loop: when the progress dialog shows, and
// how long repaints of the window and the handling of a posted event take
// while the run goes on.
struct RunWatch {
    QElapsedTimer sincePress;
    qint64 dialogAskedMs = -1;
    qint64 dialogShownMs = -1;
    bool photographed = false;
    std::vector<double> repaintMs;
    std::vector<double> eventDelayMs;
};


void WatchRun(THFormMain& form, RunWatch& watch, const QString& shotPath)
{
    // The dialog is looked for every 5 ms; the window repainted every 20 ms.
    auto* poll = new QTimer(&form);
    poll->setTimerType(Qt::PreciseTimer);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [&form, &watch, poll, shotPath, ticks] {
        if (!form.Composing()) {
            poll->stop();
            poll->deleteLater();
            return;
        }
        if ((*ticks)++ % 4 == 0) {
            QElapsedTimer paint;
            paint.start();
            form.repaint();
            watch.repaintMs.push_back(paint.nsecsElapsed() / 1e6);
            auto* posted = new QElapsedTimer;
            posted->start();
            QTimer::singleShot(0, &form, [&watch, posted] {
                watch.eventDelayMs.push_back(posted->nsecsElapsed() / 1e6);
                delete posted;
            });
        }
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr || !dialog->isVisible() || dialog->windowTitle() != QStringLiteral("作成中"))
            return;
        if (watch.dialogAskedMs < 0)
            watch.dialogAskedMs = watch.sincePress.elapsed();
        // Shown: mapped by the X server, not only asked to show.
        if (watch.dialogShownMs < 0 && dialog->windowHandle() != nullptr &&
            dialog->windowHandle()->isExposed())
            watch.dialogShownMs = watch.sincePress.elapsed();
        // Photographed once its bar has come a good way.
        const auto* bar = dialog->findChild<QProgressBar*>();
        if (!shotPath.isEmpty() && !watch.photographed && bar != nullptr && bar->maximum() > 0 &&
            bar->value() >= bar->maximum() * 2 / 5) {
            watch.photographed = true;
            QTest::qWait(200);
            // The window and the dialog over it, as the screen shows them.
            const QRect area = form.frameGeometry() | dialog->frameGeometry();
            const QPixmap shot =
                form.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
            if (shot.isNull() || !shot.save(shotPath))
                Fail("cannot write " + shotPath);
            std::printf("ui_screenshot_driver: %s (%dx%d)\n", qPrintable(shotPath), shot.width(),
                        shot.height());
        }
    });
    poll->start(5);
}

void ReportRun(const RunWatch& watch)
{
    const auto largest = [](const std::vector<double>& values) {
        return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
    };
    const auto share = [](std::vector<double> values, double part) {
        if (values.empty())
            return 0.0;
        const auto at = values.begin() + std::ptrdiff_t(double(values.size() - 1) * part);
        std::nth_element(values.begin(), at, values.end());
        return *at;
    };
    const auto median = [&](const std::vector<double>& values) { return share(values, 0.5); };
    std::printf("ui_screenshot_driver: run of %lld ms; progress dialog shown after %lld ms, on the "
                "screen (exposed) after %lld ms\n",
                static_cast<long long>(watch.sincePress.elapsed()),
                static_cast<long long>(watch.dialogAskedMs),
                static_cast<long long>(watch.dialogShownMs));
    const auto overFrame = std::count_if(watch.repaintMs.begin(), watch.repaintMs.end(),
                                         [](double ms) { return ms > 1000.0 / 60; });
    std::printf("ui_screenshot_driver: during the run, window repaint median %.2f ms, 95th percentile "
                "%.2f ms, largest %.2f ms, %zu of %zu over a frame; posted event handled after median "
                "%.2f ms, largest %.2f ms\n",
                median(watch.repaintMs), share(watch.repaintMs, 0.95), largest(watch.repaintMs),
                std::size_t(overFrame),
                watch.repaintMs.size(), median(watch.eventDelayMs), largest(watch.eventDelayMs));
}

struct Options {
    QString text;
    QString width = QStringLiteral("640");
    QString height = QStringLiteral("480");
    int fontSize = 0;
    bool real = false;
    bool vertical = false;
    bool mixFaces = false;
    bool scrollEnd = false;
    QString shot;
    QStringList saves;
    QString dialogShot;
    QSize window;
    QString progressShot;
    bool fit = false;
    bool again = false;
    QString type;
    int typeChars = -1;
};

Options ParseOptions(const QApplication& application)
{
    QCommandLineParser parser;
    const QCommandLineOption text("text", "source text", "file");
    const QCommandLineOption size("size", "picture size", "WxH", "640x480");
    const QCommandLineOption fontSize("font-size", "font size in points", "n");
    const QCommandLineOption real("real", "real mode");
    const QCommandLineOption vertical("vertical", "vertical writing");
    const QCommandLineOption mixFaces("mix-faces", "mixed faces");
    const QCommandLineOption scrollEnd("scroll-end", "scroll to the bottom-right corner");
    const QCommandLineOption shot("shot", "window screenshot", "png");
    const QCommandLineOption save("save", "save the picture", "file");
    const QCommandLineOption dialogShot("dialog-shot", "save dialog screenshot", "png");
    const QCommandLineOption window("window", "window size before composing", "WxH");
    const QCommandLineOption progressShot("progress-shot", "progress dialog screenshot", "png");
    const QCommandLineOption fit("fit", "fit the picture to the window");
    const QCommandLineOption again("again", "compose once more, measuring memory");
    const QCommandLineOption type("type", "type the text into the pane", "file");
    const QCommandLineOption typeChars("type-chars", "characters to type", "n");
    parser.addOptions({text, size, fontSize, real, vertical, mixFaces, scrollEnd, shot, save, dialogShot, window,
                       progressShot, fit, again, type, typeChars});
    parser.process(application);
    Options options;
    options.text = parser.value(text);
    options.type = parser.value(type);
    if (parser.isSet(typeChars))
        options.typeChars = parser.value(typeChars).toInt();
    const QStringList sides = parser.value(size).split('x');
    if (options.text.isEmpty() == options.type.isEmpty() || sides.size() != 2)
        Fail("usage: --text FILE | --type FILE [--size WxH] ...");
    options.width = sides[0];
    options.height = sides[1];
    options.fontSize = parser.value(fontSize).toInt();
    options.real = parser.isSet(real);
    options.vertical = parser.isSet(vertical);
    options.mixFaces = parser.isSet(mixFaces);
    options.scrollEnd = parser.isSet(scrollEnd);
    options.shot = parser.value(shot);
    options.saves = parser.values(save);
    options.dialogShot = parser.value(dialogShot);
    if (parser.isSet(window)) {
        const QStringList windowSides = parser.value(window).split('x');
        if (windowSides.size() != 2)
            Fail("usage: --window WxH");
        options.window = QSize(windowSides[0].toInt(), windowSides[1].toInt());
    }
    options.progressShot = parser.value(progressShot);
    options.fit = parser.isSet(fit);
    options.again = parser.isSet(again);
    return options;
}

double Percentile(std::vector<double> values, double part)
{
    if (values.empty())
        return 0.0;
    const auto at = values.begin() + std::ptrdiff_t(double(values.size() - 1) * part);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

// Notes when the image control begins to paint a picture it had not painted
// before (a 640 x 480 picture then takes well under a millisecond to paint).
struct PaintWatch : QObject {
    PaintWatch(morvaleth::TPreviewImage* image, const QElapsedTimer& clock) : image_(image), clock_(clock)
    {
        image->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && image_->Picture().get() != painted_) {
            painted_ = image_->Picture().get();
            newPictureAt = clock_.nsecsElapsed();
        }
        return false;
    }

    qint64 newPictureAt = -1;

private:
    morvaleth::TPreviewImage* image_;
    const QElapsedTimer& clock_;
    const morvaleth::PixelPicture* painted_ = nullptr;
};

// Types the letter into the pane and times the window and the preview.
void TypeLetter(THFormMain& form, const Options& options)
{
    QFile file(options.type);
    if (!file.open(QIODevice::ReadOnly))
        Fail("cannot read " + options.type);
    QString letter = QString::fromUtf8(file.readAll()).remove(QLatin1Char('\r'));
    if (options.typeChars >= 0)
        letter.truncate(options.typeChars);

    QTest::keyClick(form.findChild<QWidget*>("HEditPath"), Qt::Key_E, Qt::ControlModifier);
    auto* pane = form.findChild<QPlainTextEdit*>("HMemoText");
    if (pane == nullptr || !pane->isVisible())
        Fail("Ctrl+E opened no text pane");
    QTest::qWait(300);

    // When the preview last painted a new picture, once the paint is done.
    QElapsedTimer clock;
    clock.start();
    PaintWatch paints(form.findChild<morvaleth::TPreviewImage*>("HImage"), clock);

    std::vector<double> keyMs;
    std::vector<double> previewMs;
    int keysDuringRuns = 0;
    int words = 0;
    const auto key = [&](QChar character) {
        keysDuringRuns += form.LivePreview().Running();
        const qint64 before = clock.nsecsElapsed();
        if (character == QLatin1Char('\n'))
            QTest::keyClick(pane, Qt::Key_Return);
        else
            QTest::sendKeyEvent(QTest::Click, pane, Qt::Key_unknown, QString(character), Qt::NoModifier);
        keyMs.push_back((clock.nsecsElapsed() - before) / 1e6);
        return clock.nsecsElapsed();
    };
    for (qsizetype at = 0; at < letter.size(); ++at) {
        const QChar character = letter[at];
        const qint64 lastKey = key(character);
        const bool sentenceEnds = character == QChar(0x3002) || character == QLatin1Char('\n') ||
                                  at + 1 == letter.size();
        const bool wordEnds = character == QChar(0x3001) || character.isSpace() || at % 4 == 3;
        if (sentenceEnds) {
            // The preview of exactly this text, from the last keystroke on.
            const QByteArray typed = letter.left(at + 1).toUtf8();
            if (!QTest::qWaitFor([&] { return paints.newPictureAt > lastKey && !form.LivePreview().Running() &&
                                              !form.LivePreview().Waiting(); }, 5000))
                Fail("the preview did not follow the text");
            if (pane->toPlainText().toUtf8() != typed)
                Fail("the pane lost keys");
            previewMs.push_back((paints.newPictureAt - lastKey) / 1e6);
            QTest::qWait(150);
        } else if (wordEnds && ++words % 3 == 0) {
            QTest::qWait(int(morvaleth::LivePause.count()) + 15);
        } else {
            QTest::qWait(110);
        }
    }
    std::printf("ui_screenshot_driver: typed %lld characters, %d of them while a run went on; handling a "
                "keystroke: median %.2f ms, 99th percentile %.2f ms, largest %.2f ms\n",
                static_cast<long long>(letter.size()), keysDuringRuns, Percentile(keyMs, 0.5),
                Percentile(keyMs, 0.99), Percentile(keyMs, 1.0));
    std::printf("ui_screenshot_driver: from the last keystroke to the new preview (%zu waits): median %.0f ms, "
                "90th percentile %.0f ms, largest %.0f ms\n",
                previewMs.size(), Percentile(previewMs, 0.5), Percentile(previewMs, 0.9),
                Percentile(previewMs, 1.0));
}

void Drive(THFormMain& form, const Options& options)
{
    if (!QTest::qWaitForWindowExposed(&form))
        Fail("the window never showed");
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form))
        std::fprintf(stderr, "ui_screenshot_driver: the window is not active; going on\n");

    if (!options.type.isEmpty()) {
        TypeInto(form.findChild<QLineEdit*>("HEditX"), options.width);
        TypeInto(form.findChild<QLineEdit*>("HEditY"), options.height);
        if (options.real)
            Click(form.findChild<QCheckBox*>("HChkBox"));
        WhenModalOpens(ExpectNoBox);
        TypeLetter(form, options);
        if (!options.shot.isEmpty())
            Photograph(&form, options.shot);
        return;
    }

    WhenModalOpens([&](QWidget* dialog) { TypeFileNameAndPressEnter(dialog, options.text); });
    Click(form.findChild<QPushButton*>("HBtnRef"));

    TypeInto(form.findChild<QLineEdit*>("HEditX"), options.width);
    TypeInto(form.findChild<QLineEdit*>("HEditY"), options.height);

    if (options.fontSize > 0) {
        WhenModalOpens([&](QWidget* modal) {
            ExpectNoBox(modal);
            auto* fonts = qobject_cast<QFontDialog*>(modal);
            if (fonts == nullptr)
                Fail("the font dialog did not open");
            QFont font = fonts->currentFont();
            font.setPointSize(options.fontSize);
            fonts->setCurrentFont(font);
            fonts->accept();
        });
        Click(form.findChild<QPushButton*>("Button1"));
    }

    if (options.real)
        Click(form.findChild<QCheckBox*>("HChkBox"));
    if (options.vertical)
        Click(form.findChild<QCheckBox*>("HChkVertical"));
    if (options.mixFaces)
        Click(form.findChild<QCheckBox*>("HChkFaceMix"));

    const long idleKiB = MemoryKiB("VmRSS");
    RunWatch watch;
    if (!options.progressShot.isEmpty())
        WatchRun(form, watch, options.progressShot);
    else
        WhenModalOpens(ExpectNoBox);
    watch.sincePress.start();
    QTest::mouseClick(form.findChild<QPushButton*>("HBtnCreate"), Qt::LeftButton);
    if (!options.progressShot.isEmpty())
        ReportRun(watch);
    QTest::qWait(100);
    if (form.Picture() == nullptr)
        Fail("no picture was composed");

    if (options.again) {
        const std::shared_ptr<const morvaleth::PixelPicture> first = form.Picture();
        const double pictureMiB = double(first->Stride()) * first->Height() / (1024.0 * 1024.0);
        Click(form.findChild<QPushButton*>("HBtnCreate"));
        if (form.Picture() == first)
            Fail("the second run made no picture");
        const long peakKiB = MemoryKiB("VmHWM");
        std::printf("ui_screenshot_driver: idle window %.1f MiB; peak %.1f MiB, above the idle window "
                    "%.1f MiB = two pictures (2 x %.1f MiB) %+.1f MiB\n",
                    idleKiB / 1024.0, peakKiB / 1024.0, (peakKiB - idleKiB) / 1024.0, pictureMiB,
                    (peakKiB - idleKiB) / 1024.0 - 2 * pictureMiB);
    }
    if (options.fit) {
        QTest::keySequence(&form, QKeySequence(Qt::CTRL | Qt::Key_0));
        QTest::qWait(100);
    }

    if (options.scrollEnd) {
        DragToTheEnd(form.findChild<TScrollBar*>("HScrH"));
        DragToTheEnd(form.findChild<TScrollBar*>("HScrV"));
    }
    if (!options.shot.isEmpty())
        Photograph(&form, options.shot);

    for (const QString& name : options.saves) {
        const bool photographDialog = !options.dialogShot.isEmpty() && &name == &options.saves.back() &&
                                      options.saves.size() > 1;
        WhenModalOpens([&, photographDialog](QWidget* dialog) {
            if (photographDialog) {
                // Show the file saved before in the preview area, as a click on it would.
                auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
                auto* files = qobject_cast<QFileSystemModel*>(list->model());
                const QString earlier = options.saves.front();
                if (!QTest::qWaitFor([&] { return files->index(earlier).isValid(); }))
                    Fail("the save dialog does not list " + earlier);
                const QModelIndex index = files->index(earlier);
                list->scrollTo(index);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
                Photograph(dialog, options.dialogShot);
            }
            TypeFileNameAndPressEnter(dialog, name);
        });
        Click(form.findChild<QPushButton*>("HBtnSave"));
        WhenModalOpens(ExpectNoBox);
        QTest::qWait(200);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    morvaleth::PrepareApplication(application);
    const morvaleth::TNoUserSettings noSettings;
    const Options options = ParseOptions(application);
    THFormMain form;
    // Enlarged before it shows, so that it is centred at its new size.
    if (options.window.isValid())
        form.resize(options.window);
    form.show();
    Drive(form, options);
    return 0;
}
