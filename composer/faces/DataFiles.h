#pragma once

#include <string>
#include <string_view>

namespace morvaleth {

// The full name of one of the engine's data files, looked for beside the
// running program (../share/morvaleth/, which is where both the build tree and
// an installation put it), then in the build tree and the installation folder
// this engine was built for. Empty when none of them has it.
std::string FindDataFile(std::string_view name);

} // namespace morvaleth
