#pragma once

#include <stdexcept>
#include <string>

namespace morvaleth {

// The one error type of the program. It is thrown where a failure happens and
// carries the text the user sees; the program's top level shows it.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

} // namespace morvaleth
