#pragma once

#include "composer/FileSave.h"

#include <string_view>

namespace morvaleth {

class TBitmap;

// Hands the bytes of the picture as a PNG file (8-bit RGB) to the sink. A
// picture without pixels gives no bytes at all, as for BMP.
void WritePng(const TBitmap& picture, const ByteSink& sink);

// Whether a file name asks for PNG: it ends in ".png", in any case.
bool IsPngFileName(std::string_view path);

} // namespace morvaleth
