#pragma once

#include "ui/ModalRunner.h"

#include <QApplication>

#include <exception>
#include <string>

namespace morvaleth {

// The program's title: it names the program on the task bar and captions the
// error box.
inline constexpr const char* ApplicationTitle = "Morvaleth";

void SetApplicationTitle(QApplication& application);

// The message as the error box shows it: with a full stop appended, unless it
// is empty or its last byte is 0x2E or lower (a space or one of the
// punctuation marks "!" to "."). A message ending in a multi-byte character
// always gets one.
std::string WithFullStop(std::string message);

// The top level for errors no handler caught: shows the message in a modal
// box captioned with the application's title, with the stop icon and one OK
// button. The window behind it stays as the failed handler left it.
void ShowException(TModalRunner& runner, QWidget* owner, const std::exception& error);

} // namespace morvaleth
