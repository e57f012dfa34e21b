// How long the window takes to come back once a run is stopped: Esc is
// pressed on the main window a given time after 作成 is clicked, and the time
// from the key to the window taking input again is printed, in milliseconds.
// Each run of the program is a fresh process, so its first run loads the font
// configuration as a user's first run does; a second run in the same process
// is stopped the same way.
//
//   morvaleth-bench-cancel TEXT rows|columns DELAY_MS WIDTH HEIGHT
//
// prints "first MS" and "second MS", or "finished" for a run that ended
// before the key came (the delay was too long for the picture).

#include "ui/Application.h"
#include "ui/FormMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// One run stopped `delay` after its click; the milliseconds from the key to
// the click's return, or a negative number when the run was not stopped.
double StoppedRun(morvaleth::THFormMain& form, std::chrono::milliseconds delay)
{
    const auto before = form.Picture();
    Clock::time_point pressed{};
    QTimer key;
    key.setSingleShot(true);
    key.setTimerType(Qt::PreciseTimer);
    QObject::connect(&key, &QTimer::timeout, [&] {
        if (!form.Composing())
            return;
        pressed = Clock::now();
        QTest::keyClick(form.findChild<QLineEdit*>("HEditPath"), Qt::Key_Escape);
    });
    // Started from the run's own event loop, once the click has begun it.
    QTimer::singleShot(0, [&] { key.start(delay); });
    QTest::mouseClick(form.findChild<QPushButton*>("HBtnCreate"), Qt::LeftButton);
    const Clock::time_point back = Clock::now();
    if (pressed == Clock::time_point{} || form.Picture() != before)
        return -1;
    return std::chrono::duration<double, std::milli>(back - pressed).count();
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: morvaleth-bench-cancel TEXT rows|columns DELAY_MS WIDTH HEIGHT\n");
        return 2;
    }
    QApplication application(argc, argv);
    morvaleth::PrepareApplication(application);
    morvaleth::THFormMain form;
    form.show();
    (void)QTest::qWaitForWindowExposed(&form);
    form.findChild<QLineEdit*>("HEditPath")->setText(QString::fromLocal8Bit(argv[1]));
    form.findChild<QLineEdit*>("HEditX")->setText(QString::fromLatin1(argv[4]));
    form.findChild<QLineEdit*>("HEditY")->setText(QString::fromLatin1(argv[5]));
    form.findChild<QCheckBox*>("HChkBox")->setChecked(true);
    form.findChild<QCheckBox*>("HChkVertical")->setChecked(std::string(argv[2]) == "columns");
    const std::chrono::milliseconds delay(std::atoi(argv[3]));
    for (const char* which : {"first", "second"}) {
        const double ms = StoppedRun(form, delay);
        if (ms < 0)
            std::printf("%s finished\n", which);
        else
            std::printf("%s %.1f\n", which, ms);
    }
    std::fflush(stdout);
    // A run left to end on its own is not waited for.
    std::_Exit(0);
}
