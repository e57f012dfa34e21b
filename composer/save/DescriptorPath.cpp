#include "composer/save/DescriptorPath.h"

#include <charconv>
#include <climits>

namespace morvaleth {

std::optional<int> DescriptorOfPath(std::string_view path)
{
    if (path == "/dev/stdin")
        return 0;
    if (path == "/dev/stdout")
        return 1;
    if (path == "/dev/stderr")
        return 2;
    for (std::string_view folder : {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/")}) {
        if (!path.starts_with(folder))
            continue;
        const std::string_view digits = path.substr(folder.size());
        int descriptor = -1;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), descriptor);
        if (!digits.empty() && digits[0] != '+' && error == std::errc() && end == digits.data() + digits.size() &&
            descriptor >= 0)
            return descriptor;
    }
    return std::nullopt;
}

} // namespace morvaleth
