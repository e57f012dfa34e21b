#pragma once

#include "composer/PictureNotes.h"

#include <cstddef>
#include <cstdint>

namespace morvaleth {

// What a sink is told of a picture before its rows.
struct PictureShape {
    int width = 0;
    int height = 0;
    // Every pixel is grey (red, green and blue alike): a format with a grey
    // colour type keeps one channel.
    bool grey = false;
    // Read when the sink finishes, so that notes added while the picture is
    // made (the text it was made from) are kept too. Null for none.
    const PictureNotes* notes = nullptr;
};

// Where the finished rows of a picture go: a picture in memory, or a file
// encoded as they arrive. Rows are 24-bit (blue, green, red), padded to a
// multiple of 4 bytes as a BMP row is.
class RowSink {
public:
    virtual ~RowSink() = default;

    // Called once, before any rows. A sink that cannot hold a picture of that
    // size fails here, before anything is drawn.
    virtual void Begin(const PictureShape& shape) = 0;

    // Rows [top, top + count), `stride` bytes apart. Calls come from one
    // thread at a time, top to bottom, each band following the one before.
    virtual void Rows(int top, int count, const std::uint8_t* rows, std::size_t stride) = 0;

    // Called once after the last row of a run that succeeded.
    virtual void Finish() = 0;

    // A sink that holds the whole picture may offer the memory of rows
    // [top, top + count), white, to be drawn in directly; Rows is then called
    // with that same memory. Null: the rows come in memory of their own.
    virtual std::uint8_t* RowsInPlace(int /*top*/, int /*count*/) { return nullptr; }
};

} // namespace morvaleth
