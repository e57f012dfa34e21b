#pragma once

#include "composer/RowSink.h"
#include "composer/save/ByteOutput.h"

#include <memory>

namespace morvaleth {

// A PNG file (8-bit RGB, sRGB), encoded by libpng row by row as the rows
// arrive. Only PNG's own limits bound its size (2^31 - 1 pixels either way),
// not a BMP file's. A picture without pixels gives no bytes at all.
std::unique_ptr<RowSink> PngSink(ByteOutput& output);

} // namespace morvaleth
