#pragma once

#include "composer/RowSink.h"
#include "composer/encode/Formats.h"
#include "composer/save/ByteOutput.h"

#include <memory>

namespace morvaleth {

// A PNG file (8-bit RGB, sRGB), encoded by libpng row by row as the rows
// arrive. Only PNG's own limits bound its size (2^31 - 1 pixels either way),
// not a BMP file's. A picture without pixels gives no bytes at all. With a
// resolution the file records it (pHYs, in pixels per metre); without one it
// has no pHYs chunk.
std::unique_ptr<RowSink> PngSink(ByteOutput& output, const OutputOptions& options = {});

} // namespace morvaleth
