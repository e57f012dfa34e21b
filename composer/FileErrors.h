#pragma once

#include "composer/Error.h"

#include <string>

namespace morvaleth {

// The error for a source file that failed to open, read or close with the
// system error number `error`, naming the file as the error's file. A folder
// (EISDIR) is told as such.
Error SourceFileError(int error, const std::string& path);

} // namespace morvaleth
