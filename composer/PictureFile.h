#pragma once

#include "composer/FileSave.h"

#include <string_view>

namespace morvaleth {

class TBitmap;

enum class PictureFormat { Bmp, Png };

// PNG for a name ending in ".png" (in any case), BMP for every other.
PictureFormat FormatForFileName(std::string_view path);

// Hands the picture's file bytes in that format to the sink.
void WritePicture(const TBitmap& picture, PictureFormat format, const ByteSink& sink);

} // namespace morvaleth
