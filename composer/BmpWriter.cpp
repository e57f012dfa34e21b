#include "composer/BmpWriter.h"

#include "composer/Bitmap.h"

namespace morvaleth {
namespace {

void Put16(std::uint8_t*& out, std::uint16_t value)
{
    *out++ = std::uint8_t(value);
    *out++ = std::uint8_t(value >> 8);
}

void Put32(std::uint8_t*& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        *out++ = std::uint8_t(value >> shift);
}

} // namespace

void BmpHeader(int width, int height, std::uint8_t (&header)[BmpHeaderBytes])
{
    const std::uint32_t imageBytes = std::uint32_t(RowBytes(width) * height);
    std::uint8_t* out = header;
    *out++ = 'B';
    *out++ = 'M';
    Put32(out, BmpHeaderBytes + imageBytes); // bfSize
    Put16(out, 0);                           // bfReserved1
    Put16(out, 0);                           // bfReserved2
    Put32(out, BmpHeaderBytes);              // bfOffBits: no colour table at 24 bits
    Put32(out, 40);                          // biSize
    Put32(out, std::uint32_t(width));
    Put32(out, std::uint32_t(height)); // positive: bottom row first
    Put16(out, 1);                               // biPlanes
    Put16(out, TBitmap::BitsPerPixel);
    Put32(out, 0); // biCompression: BI_RGB
    Put32(out, imageBytes);
    Put32(out, 0); // biXPelsPerMeter
    Put32(out, 0); // biYPelsPerMeter
    Put32(out, 0); // biClrUsed
    Put32(out, 0); // biClrImportant
}

void WriteBmp(const TBitmap& picture, const ByteSink& sink)
{
    if (!picture.HasPixels())
        return;

    // The picture's size was checked when it was made: header and rows fit
    // what a BMP file can describe.
    std::uint8_t header[BmpHeaderBytes];
    BmpHeader(picture.Width(), picture.Height(), header);
    sink(header, sizeof header);

    for (int y = picture.Height() - 1; y >= 0; --y)
        sink(picture.ScanLine(y), picture.Stride());
}

std::vector<std::uint8_t> EncodeBmp(const TBitmap& picture)
{
    // Reserved once: growing by doubling copied a large picture several times.
    std::vector<std::uint8_t> bytes;
    if (picture.HasPixels())
        bytes.reserve(BmpHeaderBytes + picture.Stride() * std::size_t(picture.Height()));
    WriteBmp(picture, [&bytes](const std::uint8_t* data, std::size_t size) {
        bytes.insert(bytes.end(), data, data + size);
    });
    return bytes;
}

} // namespace morvaleth
