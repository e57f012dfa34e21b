#pragma once

#include <optional>
#include <string_view>

namespace morvaleth {

// The open descriptor a path stands for: /dev/stdin, /dev/stdout and
// /dev/stderr (0, 1, 2), /dev/fd/N and /proc/self/fd/N. Reading or writing
// through the descriptor itself, rather than opening the path again, keeps
// what it is: its offset, its append mode, a pipe or socket as a stream.
std::optional<int> DescriptorOfPath(std::string_view path);

} // namespace morvaleth
