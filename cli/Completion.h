#pragma once

#include <string>

namespace morvaleth::cli {

// Shell completion for morvaleth-compose, made from the options --help lists:
// their names, the formats and encodings for --format and --encoding, files
// for -o and INPUT, nothing for the values to be typed.
std::string BashCompletion();
std::string ZshCompletion();

} // namespace morvaleth::cli
