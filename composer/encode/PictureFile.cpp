#include "composer/encode/PictureFile.h"

#include "composer/save/FileSave.h"

#include <algorithm>

namespace morvaleth {
namespace {

// Bands of about this many bytes: a sink that turns its rows around (BMP's
// bottom-up file) holds one band at a time.
constexpr std::size_t BandBytes = std::size_t(4) << 20;

} // namespace

bool IsGrey(const PixelPicture& picture)
{
    if (!picture.HasPixels())
        return true;
    const std::size_t pixelBytes = std::size_t(picture.Width()) * 3;
    for (int y = 0; y < picture.Height(); ++y) {
        const std::uint8_t* row = picture.ScanLine(y);
        for (std::size_t i = 0; i < pixelBytes; i += 3)
            if (row[i] != row[i + 1] || row[i] != row[i + 2])
                return false;
    }
    return true;
}

void WritePicture(const PixelPicture& picture, RowSink& sink)
{
    sink.Begin({picture.Width(), picture.Height(), IsGrey(picture), &picture.Notes()});
    if (picture.HasPixels()) {
        const int bandRows = int(std::clamp<std::size_t>(BandBytes / picture.Stride(), 1, std::size_t(picture.Height())));
        for (int top = 0; top < picture.Height(); top += bandRows)
            sink.Rows(top, std::min(bandRows, picture.Height() - top), picture.ScanLine(top), picture.Stride());
    }
    sink.Finish();
}

std::vector<std::uint8_t> EncodePicture(const PixelPicture& picture, PictureFormat format,
                                        const OutputOptions& options)
{
    MemoryOutput output;
    const auto sink = FileSinkFor(format, output, options);
    WritePicture(picture, *sink);
    return std::move(output.Bytes());
}

void SavePicture(const PixelPicture& picture, const std::string& path, PictureFormat format)
{
    CheckPictureSize(format, picture.Width(), picture.Height());
    SaveFile(path, [&](SaveOutput& output) {
        const auto sink = FileSinkFor(format, output);
        WritePicture(picture, *sink);
    });
}

void SavePicture(const PixelPicture& picture, const std::string& path)
{
    SavePicture(picture, path, FormatForFileName(path));
}

} // namespace morvaleth
