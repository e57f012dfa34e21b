#include "composer/PictureFile.h"

#include "composer/BmpWriter.h"
#include "composer/Bitmap.h"
#include "composer/Error.h"
#include "composer/PngWriter.h"

#include <climits>

namespace morvaleth {

PictureFormat FormatForFileName(std::string_view path)
{
    return IsPngFileName(path) ? PictureFormat::Png : PictureFormat::Bmp;
}

void CheckPictureSize(PictureFormat format, int width, int height)
{
    const Error outOfResources("ｼｽﾃﾑ ﾘｿｰｽが足りません");
    if (width < 0 || height < 0)
        throw outOfResources;
    // Divided rather than multiplied: the rows of the widest and tallest
    // pictures take more bytes than 64 bits count.
    if (format == PictureFormat::Bmp && height > 0 && RowBytes(width) > (INT_MAX - BmpHeaderBytes) / height)
        throw outOfResources;
}

void WritePicture(const TBitmap& picture, PictureFormat format, const ByteSink& sink)
{
    if (format == PictureFormat::Png)
        WritePng(picture, sink);
    else
        WriteBmp(picture, sink);
}

void SavePicture(const TBitmap& picture, const std::string& path)
{
    const PictureFormat format = FormatForFileName(path);
    ReplaceFile(path, [&picture, format](const ByteSink& sink) { WritePicture(picture, format, sink); });
}

} // namespace morvaleth
