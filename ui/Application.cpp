#include "ui/Application.h"

#include "composer/Error.h"

#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>

namespace morvaleth {

void PrepareApplication(QApplication& application)
{
    // Not the display name: Qt would append that to every window's title.
    application.setApplicationName(ApplicationTitle);
    auto* translator = new QTranslator(&application);
    if (translator->load("qtbase_ja", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}

TNoUserSettings::TNoUserSettings()
{
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, folder_.path());
}

std::string WithFullStop(std::string message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > 0x2E)
        message += '.';
    return message;
}

void ShowException(TModalRunner& runner, QWidget* owner, const std::exception& error)
{
    // The user stopped the run; there is nothing to tell.
    if (const auto* known = dynamic_cast<const Error*>(&error);
        known != nullptr && known->Kind() == ErrorKind::Cancelled)
        return;
    runner.ShowMessage(owner, {QCoreApplication::applicationName(),
                               QString::fromStdString(WithFullStop(error.what())),
                               TMessageIcon::Stop});
}

} // namespace morvaleth
