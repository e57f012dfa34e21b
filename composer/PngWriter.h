#pragma once

#include "composer/FileSave.h"


namespace morvaleth {

class TBitmap;

// Hands the bytes of the picture as a PNG file (8-bit RGB) to the sink. A
// picture without pixels gives no bytes at all, as for BMP.
void WritePng(const TBitmap& picture, const ByteSink& sink);

} // namespace morvaleth
