#pragma once

#include "ui/ModalRunner.h"

#include <QApplication>
#include <QTemporaryDir>

#include <exception>
#include <string>

namespace morvaleth {

// The program's title: it names the program on the task bar and captions the
// error box.
inline constexpr const char* ApplicationTitle = "Morvaleth";

// Gives the application its title and makes Qt's own dialogs and buttons
// (file and font dialogs, message box buttons) speak Japanese like the
// window, whatever the user's locale.
void PrepareApplication(QApplication& application);

// The program reads and keeps no settings, but Qt's own file dialogs read
// theirs from the user's settings when made and write them back when
// destroyed. While this lives, user settings go to an empty folder of its own,
// removed with it. Make it before the first dialog and keep it until the last
// is gone.
class TNoUserSettings {
public:
    TNoUserSettings();

private:
    QTemporaryDir folder_;
};

// The message as the error box shows it: with a full stop appended, unless it
// is empty or its last byte is 0x2E or lower (a space or one of the
// punctuation marks "!" to "."). A message ending in a multi-byte character
// always gets one.
std::string WithFullStop(std::string message);

// The top level for errors no handler caught: shows the message in a modal
// box captioned with the application's title, with the stop icon and one OK
// button, and the system's reason below it when the error has one; a run the
// user cancelled shows nothing. The window behind it stays as the failed
// handler left it.
void ShowException(TModalRunner& runner, QWidget* owner, const std::exception& error);

} // namespace morvaleth
