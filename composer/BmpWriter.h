#pragma once

#include "composer/FileSave.h"

#include <cstdint>
#include <vector>

namespace morvaleth {

class TBitmap;

inline constexpr std::uint32_t BmpHeaderBytes = 54;

// The file and info headers of a 24-bit BMP file of that size, whose size
// has been checked to fit the format.
void BmpHeader(int width, int height, std::uint8_t (&header)[BmpHeaderBytes]);

// Hands the bytes of the picture as a Windows BMP file to the sink: the file
// header, a 40-byte info header, then the rows bottom to top, each padded to
// 4 bytes. A picture without pixels gives no bytes at all.
void WriteBmp(const TBitmap& picture, const ByteSink& sink);

// The same bytes, gathered in memory.
std::vector<std::uint8_t> EncodeBmp(const TBitmap& picture);

} // namespace morvaleth
