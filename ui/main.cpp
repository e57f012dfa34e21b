// morvaleth: the window program. Composes a text file into a picture of
// characters cut out of different printed sources, shows it and saves it.

#include "ui/Application.h"
#include "ui/FormMain.h"

#include <QApplication>

#include <csignal>

int main(int argc, char* argv[])
{
    // A save onto a pipe whose reader has gone fails with a write error
    // instead of ending the program.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);
    morvaleth::PrepareApplication(application);
    const morvaleth::TNoUserSettings noSettings;
    morvaleth::TModalRunner modal;
    try {
        morvaleth::THFormMain HFormMain;
        HFormMain.show();
        return application.exec();
    } catch (const std::exception& error) {
        morvaleth::ShowException(modal, nullptr, error);
        return 1;
    }
}
