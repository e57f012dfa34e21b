#include "ui/Application.h"

#include "composer/Messages.h"

#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>

#include <new>

namespace morvaleth {

void PrepareApplication(QApplication& application)
{
    // Not the display name: Qt would append that to every window's title.
    application.setApplicationName(ApplicationTitle);
    // The compositor finds the window's icon and name in the installed
    // desktop entry of this name (Wayland's app id).
    QGuiApplication::setDesktopFileName(QStringLiteral(MORVALETH_APP_ID));
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
    const auto* own = dynamic_cast<const Error*>(&error);
    if (own != nullptr && own->Kind() == ErrorKind::Cancelled)
        return;
    // Memory that ran out where no error of the program's own was thrown.
    const std::string message =
        dynamic_cast<const std::bad_alloc*>(&error) != nullptr ? MessageText(Message::OutOfResources) : error.what();
    // The message as the program gives it, and the system's reason apart.
    runner.ShowMessage(owner, {QCoreApplication::applicationName(), QString::fromStdString(WithFullStop(message)),
                               TMessageIcon::Stop,
                               own != nullptr ? QString::fromStdString(own->Reason()) : QString()});
}

} // namespace morvaleth
