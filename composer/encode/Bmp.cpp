#include "composer/encode/Bmp.h"

#include "composer/PhysicalSize.h"
#include "composer/PixelPicture.h"
#include "composer/encode/Formats.h"
#include "composer/encode/PictureSink.h"

#include <cstring>
#include <vector>

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

// Each band written at its place as it arrives.
class BmpFileSink final : public RowSink {
public:
    BmpFileSink(ByteOutput& output, std::uint32_t pixelsPerMetre) : output_(output), pixelsPerMetre_(pixelsPerMetre) {}

    void Begin(const PictureShape& shape) override
    {
        CheckPictureSize(PictureFormat::Bmp, shape.width, shape.height);
        height_ = shape.height;
        if (shape.width == 0 || shape.height == 0)
            return;
        std::uint8_t header[BmpHeaderBytes];
        BmpHeader(shape.width, shape.height, header, pixelsPerMetre_);
        output_.WriteAt(0, header, sizeof header);
    }

    void Rows(int top, int count, const std::uint8_t* rows, std::size_t stride) override
    {
        if (count <= 0)
            return;
        // The band's rows lie together in the file, bottom row first.
        bottomUp_.clear();
        for (int row = count - 1; row >= 0; --row)
            bottomUp_.emplace_back(rows + std::size_t(row) * stride, stride);
        const std::uint64_t offset = BmpHeaderBytes + std::uint64_t(height_ - top - count) * stride;
        output_.WritePiecesAt(offset, bottomUp_);
        output_.StartWriteback(offset, std::uint64_t(count) * stride);
    }

    void Finish() override {}

private:
    ByteOutput& output_;
    std::uint32_t pixelsPerMetre_;
    int height_ = 0;
    std::vector<std::span<const std::uint8_t>> bottomUp_;
};

// The picture held whole, then written in the file's order.
class BmpStreamSink final : public RowSink {
public:
    BmpStreamSink(ByteOutput& output, std::uint32_t pixelsPerMetre)
        : output_(output), pixelsPerMetre_(pixelsPerMetre), held_(picture_)
    {
    }

    void Begin(const PictureShape& shape) override
    {
        CheckPictureSize(PictureFormat::Bmp, shape.width, shape.height);
        held_.Begin(shape);
    }
    void Rows(int top, int count, const std::uint8_t* rows, std::size_t stride) override
    {
        held_.Rows(top, count, rows, stride);
    }
    std::uint8_t* RowsInPlace(int top, int count) override { return held_.RowsInPlace(top, count); }

    void Finish() override
    {
        if (!picture_.HasPixels())
            return;
        std::uint8_t header[BmpHeaderBytes];
        BmpHeader(picture_.Width(), picture_.Height(), header, pixelsPerMetre_);
        output_.Write(header, sizeof header);
        for (int y = picture_.Height() - 1; y >= 0; --y)
            output_.Write(picture_.ScanLine(y), picture_.Stride());
    }

private:
    ByteOutput& output_;
    std::uint32_t pixelsPerMetre_;
    PixelPicture picture_;
    PictureSink held_;
};

} // namespace

void BmpHeader(int width, int height, std::uint8_t (&header)[BmpHeaderBytes], std::uint32_t pixelsPerMetre)
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
    Put16(out, 1);                     // biPlanes
    Put16(out, PixelPicture::BitsPerPixel);
    Put32(out, 0); // biCompression: BI_RGB
    Put32(out, imageBytes);
    Put32(out, pixelsPerMetre); // biXPelsPerMeter
    Put32(out, pixelsPerMetre); // biYPelsPerMeter
    Put32(out, 0); // biClrUsed
    Put32(out, 0); // biClrImportant
}

std::unique_ptr<RowSink> BmpSink(ByteOutput& output, const OutputOptions& options)
{
    const std::uint32_t pixelsPerMetre = options.dotsPerInch > 0 ? PixelsPerMetre(options.dotsPerInch) : 0;
    if (output.Seekable())
        return std::make_unique<BmpFileSink>(output, pixelsPerMetre);
    return std::make_unique<BmpStreamSink>(output, pixelsPerMetre);
}

} // namespace morvaleth
