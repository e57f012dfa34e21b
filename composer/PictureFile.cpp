#include "composer/PictureFile.h"

#include "composer/BmpWriter.h"
#include "composer/PngWriter.h"

namespace morvaleth {

PictureFormat FormatForFileName(std::string_view path)
{
    return IsPngFileName(path) ? PictureFormat::Png : PictureFormat::Bmp;
}

void WritePicture(const TBitmap& picture, PictureFormat format, const ByteSink& sink)
{
    if (format == PictureFormat::Png)
        WritePng(picture, sink);
    else
        WriteBmp(picture, sink);
}

} // namespace morvaleth
