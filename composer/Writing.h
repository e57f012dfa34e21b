#pragma once

#include <cstdint>

namespace morvaleth {

// How the units of a letter are laid out on the picture.
enum class Writing : std::uint8_t {
    Rows,    // left to right, rows from the top
    Columns, // top to bottom, columns from the right (縦書き)
};

} // namespace morvaleth
