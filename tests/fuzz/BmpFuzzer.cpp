// The BMP encoder for pictures of any size, its bytes read back by a decoder
// that shares nothing with it (Qt's image reader), and the PNG encoder read
// back by libpng: every pixel must come back as drawn. Sizes the picture
// refuses must be refused before anything is allocated, and leave it as it
// was.
//
// Input: a byte that picks small sizes (two bytes of width, one of height) or
// any 32-bit sizes, the sizes, then the colours of the pixels, repeated.

#include "FuzzSupport.h"

#include "composer/PixelPicture.h"
#include "composer/encode/Bmp.h"
#include "composer/encode/PictureFile.h"
#include "composer/Error.h"
#include "composer/encode/Png.h"

#include <QImage>

#include <png.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace {

using morvaleth::PixelPicture;

// Pictures up to this many pixels are made and written; larger ones that the
// picture would accept are too slow to write for every input.
constexpr std::int64_t LargestPixels = 1 << 20;

std::uint32_t Read32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16 |
           std::uint32_t(bytes[at + 3]) << 24;
}

void CheckBmp(const PixelPicture& picture)
{
    const std::vector<std::uint8_t> bytes = morvaleth::EncodePicture(picture, morvaleth::PictureFormat::Bmp);
    const int width = picture.Width();
    const int height = picture.Height();
    if (width == 0 || height == 0) {
        FUZZ_CHECK(bytes.empty(), "%zu bytes for a picture without pixels", bytes.size());
        return;
    }
    const std::size_t rowBytes = (std::size_t(width) * 3 + 3) / 4 * 4;
    FUZZ_CHECK(bytes.size() == 54 + rowBytes * std::size_t(height) && Read32(bytes, 2) == bytes.size(),
               "%zu bytes, bfSize %u, for %dx%d", bytes.size(), Read32(bytes, 2), width, height);
    for (int row = 0; row < height; ++row)
        for (std::size_t i = std::size_t(width) * 3; i < rowBytes; ++i)
            FUZZ_CHECK(bytes[54 + std::size_t(row) * rowBytes + i] == 0, "padding byte %zu of row %d", i, row);

    QImage image;
    FUZZ_CHECK(image.loadFromData(bytes.data(), int(bytes.size()), "BMP"), "Qt cannot read the %dx%d file", width,
               height);
    FUZZ_CHECK(image.width() == width && image.height() == height, "Qt reads %dx%d for %dx%d", image.width(),
               image.height(), width, height);
    // In blue, green, red bytes, as the picture holds its rows.
    const QImage read = image.convertToFormat(QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        FUZZ_CHECK(std::equal(picture.ScanLine(y), picture.ScanLine(y) + std::size_t(width) * 3, read.constScanLine(y)),
                   "Qt reads row %d of %d differently", y, height);
}

void CheckPng(const PixelPicture& picture)
{
    const std::vector<std::uint8_t> bytes = morvaleth::EncodePicture(picture, morvaleth::PictureFormat::Png);
    if (!picture.HasPixels()) {
        FUZZ_CHECK(bytes.empty(), "%zu PNG bytes for a picture without pixels", bytes.size());
        return;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    FUZZ_CHECK(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()), "libpng: %s", image.message);
    FUZZ_CHECK(int(image.width) == picture.Width() && int(image.height) == picture.Height(),
               "libpng reads %ux%u", image.width, image.height);
    image.format = PNG_FORMAT_BGR;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    FUZZ_CHECK(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), "libpng: %s", image.message);
    const std::size_t rowBytes = std::size_t(picture.Width()) * 3;
    for (int y = 0; y < picture.Height(); ++y)
        FUZZ_CHECK(std::equal(picture.ScanLine(y), picture.ScanLine(y) + rowBytes, pixels.data() + y * rowBytes),
                   "PNG row %d differs", y);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvaleth;
    fuzzing::InputBytes input(data, size);
    const bool anySize = input.Byte() & 1;
    const std::int32_t width = anySize ? std::int32_t(input.Uint32()) : input.Uint16() % 1024;
    const std::int32_t height = anySize ? std::int32_t(input.Uint32()) : input.Byte() % 64;

    const __int128 rowBytes = (__int128(width) * 3 + 3) / 4 * 4;
    // A row must be addressable by a signed 32-bit count of bytes; a picture
    // with a side of 0 has no rows, and takes any width without an error.
    const bool refused = width < 0 || height < 0 || (height > 0 && rowBytes > INT_MAX);
    if (!refused && std::int64_t(width) * height > LargestPixels)
        return 0;

    PixelPicture picture;
    try {
        picture.SetHeight(height);
        picture.SetWidth(width);
        FUZZ_CHECK(!refused, "made a %dx%d picture", width, height);
    } catch (const Error& error) {
        FUZZ_CHECK(refused, "refused %dx%d: %s", width, height, error.what());
        FUZZ_CHECK(std::string_view(error.what()) == "ｼｽﾃﾑ ﾘｿｰｽが足りません", "refused with '%s'", error.what());
        const bool heightTaken = height >= 0;
        FUZZ_CHECK(picture.Width() == 0 && picture.Height() == (heightTaken ? height : 0) && !picture.HasPixels(),
                   "a refused size left a %dx%d picture", picture.Width(), picture.Height());
        return 0;
    }

    const std::span<const std::uint8_t> colours = input.Rest();
    if (!colours.empty() && picture.HasPixels()) {
        std::size_t next = 0;
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = picture.ScanLine(y);
            for (std::size_t i = 0; i < std::size_t(width) * 3; ++i, ++next)
                row[i] = colours[next % colours.size()];
        }
    }
    CheckBmp(picture);
    CheckPng(picture);
    return 0;
}
