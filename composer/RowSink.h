#pragma once

#include <cstddef>
#include <cstdint>

namespace morvaleth {

// Where the finished rows of a picture go: a picture in memory, or a file
// encoded as they arrive. Rows are 24-bit (blue, green, red), padded to a
// multiple of 4 bytes as a BMP row is.
class RowSink {
public:
    virtual ~RowSink() = default;

    // Called once, before any rows: the picture's size. A sink that cannot
    // hold a picture of that size fails here, before anything is drawn.
    virtual void Begin(int width, int height) = 0;

    // Rows [top, top + count), `stride` bytes apart. Calls come from one
    // thread at a time, top to bottom, each band following the one before.
    virtual void Rows(int top, int count, const std::uint8_t* rows, std::size_t stride) = 0;

    // Called once after the last row of a run that succeeded.
    virtual void Finish() = 0;
};

} // namespace morvaleth
