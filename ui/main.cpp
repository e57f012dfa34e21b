// morvaleth: the window program. Composes a text file into a picture of
// characters cut out of different printed sources, shows it and saves it.

#include "ui/Application.h"
#include "ui/FormMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    morvaleth::SetApplicationTitle(application);
    morvaleth::InstallJapaneseTranslations(application);
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
