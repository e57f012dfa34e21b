// morvaleth: the window program. Composes a text file into a picture of
// characters cut out of different printed sources, shows it and saves it.

#include "ui/Application.h"
#include "ui/FormMain.h"
#include "ui/StartUp.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char* argv[])
{
    // A save onto a pipe whose reader has gone fails with a write error
    // instead of ending the program.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);
    morvaleth::PrepareApplication(application);
    QApplication::setApplicationVersion(QStringLiteral(MORVALETH_VERSION));
    const morvaleth::TStartUp start = morvaleth::ReadArguments(QApplication::arguments());
    if (start.exitStatus) {
        std::fputs(start.text.toLocal8Bit().constData(), *start.exitStatus == 0 ? stdout : stderr);
        return *start.exitStatus;
    }
    const morvaleth::TNoUserSettings noSettings;
    morvaleth::TModalRunner modal;
    try {
        morvaleth::THFormMain HFormMain;
        if (!start.file.isEmpty())
            HFormMain.ComposeWhenShown(start.file);
        HFormMain.show();
        return application.exec();
    } catch (const std::exception& error) {
        morvaleth::ShowException(modal, nullptr, error);
        return 1;
    }
}
