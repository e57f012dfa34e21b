#pragma once

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace morvaleth {

// What the command line asks of the window program: `morvaleth [FILE]`.
struct TStartUp {
    // Set when the program only prints `text` and ends with this status,
    // without a window: 0 for --help and --version, 2 for a usage mistake.
    std::optional<int> exitStatus;
    QString text;
    // The source to compose once the window shows; empty for none.
    QString file;
};

// Reads the arguments the program was started with, the first being the
// program's name, before anything opens the display: help, the version and
// a usage mistake need none. The options Qt's application object takes for
// itself (-platform NAME, -style=NAME, -reverse, ...) are passed over; every
// other argument that starts with "-" before "--" is an unknown option,
// named whole. All texts are the window's language, Japanese.
TStartUp ReadArguments(const std::vector<std::string>& arguments, const QString& version);

} // namespace morvaleth
