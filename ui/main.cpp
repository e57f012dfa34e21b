// morvaleth: the window program. Composes a text file into a picture of
// characters cut out of different printed sources, shows it and saves it.

#include "ui/Application.h"
#include "ui/FormMain.h"
#include "ui/StartUp.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    // Help, the version and a usage mistake are printed before anything opens
    // the display: they need none.
    const morvaleth::TStartUp start = morvaleth::ReadArguments(std::vector<std::string>(argv, argv + argc),
                                                               QStringLiteral(MORVALETH_VERSION));
    if (start.exitStatus) {
        std::fputs(start.text.toLocal8Bit().constData(), *start.exitStatus == 0 ? stdout : stderr);
        return *start.exitStatus;
    }
    // A save onto a pipe whose reader has gone fails with a write error
    // instead of ending the program.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);
    morvaleth::PrepareApplication(application);
    QApplication::setApplicationVersion(QStringLiteral(MORVALETH_VERSION));
    const morvaleth::TNoUserSettings noSettings;
    morvaleth::TModalRunner modal;
    int status = 0;
    try {
        morvaleth::THFormMain HFormMain;
        if (!start.file.isEmpty())
            HFormMain.ComposeWhenShown(start.file);
        HFormMain.show();
        status = application.exec();
    } catch (const std::exception& error) {
        morvaleth::ShowException(modal, nullptr, error);
        status = 1;
    }
    // A run that was stopped but could not hear it (an open the system holds
    // up) is not waited for: the program ends as the window closed.
    if (morvaleth::RunsLeftToEnd() > 0) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
