#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace morvaleth {

// What kind of failure an error is, so that a caller (the driver's exit
// status, the window's box) can act on it without reading the text.
enum class ErrorKind {
    Other,
    Usage,       // a value the user gave that cannot be used
    NotFound,    // a file or folder that does not exist
    Access,      // the system refused access
    Resources,   // memory or another system resource ran out
    FormatLimit, // a picture beyond what the output format can hold
    Write,       // bytes that could not be written
    Font,        // no face could be opened
    Cancelled,   // the run was asked to stop; nothing is shown for it
};

// The one error type of the program. It is thrown where a failure happens and
// carries the text the user sees; the program's top level shows it. `file`
// names the file the failure concerns when the text does not: the driver puts
// it before the text, as command-line tools do, the window shows the text
// alone. `reason` is the system's reason for it, when the text is one the
// program always gives whatever the cause (a file that cannot be created):
// shown after the text, which stays as it is.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, ErrorKind kind = ErrorKind::Other, std::string file = {},
                   std::string reason = {})
        : std::runtime_error(message), kind_(kind), file_(std::move(file)), reason_(std::move(reason))
    {
    }

    ErrorKind Kind() const { return kind_; }
    const std::string& File() const { return file_; }
    const std::string& Reason() const { return reason_; }

private:
    ErrorKind kind_;
    std::string file_;
    std::string reason_;
};

} // namespace morvaleth
