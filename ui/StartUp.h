#pragma once

#include <QString>
#include <QStringList>

#include <optional>

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

// Reads the arguments the application was started with (its own Qt options
// already taken out), the first being the program's name.
TStartUp ReadArguments(const QStringList& arguments);

} // namespace morvaleth
