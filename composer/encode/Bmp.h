#pragma once

#include "composer/RowSink.h"
#include "composer/encode/OutputOptions.h"
#include "composer/save/ByteOutput.h"

#include <cstdint>
#include <memory>

namespace morvaleth {

inline constexpr std::uint32_t BmpHeaderBytes = 54;

// The file and info headers of a 24-bit BMP file of that size, whose size
// has been checked to fit the format: "BM", the file size, the offset of the
// rows (54: no colour table at 24 bits), a 40-byte info header with a
// positive height (rows bottom first), one plane, no compression, the rows'
// size, the resolution in pixels per metre both ways (0: none given), and
// zeros for the colour counts.
void BmpHeader(int width, int height, std::uint8_t (&header)[BmpHeaderBytes], std::uint32_t pixelsPerMetre = 0);

// A Windows BMP file: the header, then the rows bottom to top, each padded to
// 4 bytes. A picture without pixels gives no bytes at all. On a seekable
// output each band of rows goes straight to its place, counted from the
// bottom, and only one band is held; on one that only appends (a pipe, a
// terminal) the whole picture is held until its last row arrives. With a
// resolution the header records it.
std::unique_ptr<RowSink> BmpSink(ByteOutput& output, const OutputOptions& options = {});

} // namespace morvaleth
