#pragma once

#include "composer/FileSave.h"

#include <string>
#include <string_view>

namespace morvaleth {

class TBitmap;

enum class PictureFormat { Bmp, Png };

// PNG for a name ending in ".png" (in any case), BMP for every other.
PictureFormat FormatForFileName(std::string_view path);

// Fails with "ｼｽﾃﾑ ﾘｿｰｽが足りません" for a size the format cannot hold: a
// negative one, or for BMP one whose rows and header pass the 31 bits its
// size fields allow. PNG holds any size a picture can have.
void CheckPictureSize(PictureFormat format, int width, int height);

// Hands the picture's file bytes in that format to the sink.
void WritePicture(const TBitmap& picture, PictureFormat format, const ByteSink& sink);

// Writes the picture to a file: BMP, or PNG when the name ends in ".png".
// The file is replaced only once the new one is complete; on failure an
// earlier file of that name is left as it was.
void SavePicture(const TBitmap& picture, const std::string& path);

} // namespace morvaleth
