// Drives the real window the way a user would - through its buttons and its
// dialogs - and photographs it. For scripts/screenshot-window, under a real X
// server; the window program itself takes no options.
//
//   ui_screenshot_driver --text FILE [--size 640x480] [--font-size N] [--real]
//                        [--vertical] [--mix-faces] [--scroll-end] [--shot PNG] [--save FILE]...
//                        [--dialog-shot PNG]

#include "ScrollBarParts.h"

#include "ui/Application.h"
#include "ui/FormMain.h"
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
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <cstdlib>

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
    parser.addOptions({text, size, fontSize, real, vertical, mixFaces, scrollEnd, shot, save, dialogShot});
    parser.process(application);
    Options options;
    options.text = parser.value(text);
    const QStringList sides = parser.value(size).split('x');
    if (options.text.isEmpty() || sides.size() != 2)
        Fail("usage: --text FILE [--size WxH] ...");
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
    return options;
}

void Drive(THFormMain& form, const Options& options)
{
    if (!QTest::qWaitForWindowExposed(&form))
        Fail("the window never showed");
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form))
        std::fprintf(stderr, "ui_screenshot_driver: the window is not active; going on\n");

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

    WhenModalOpens(ExpectNoBox);
    Click(form.findChild<QPushButton*>("HBtnCreate"));
    if (form.Picture() == nullptr)
        Fail("no picture was composed");

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
    form.show();
    Drive(form, options);
    return 0;
}
