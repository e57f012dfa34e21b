#pragma once

#include "composer/Color.h"
#include "composer/Raster.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace morvaleth {

// A raster picture, plain pixels: 24 bits per pixel (blue, green, red), rows
// top to bottom, each padded with zero bytes to a multiple of 4, so that a row
// is stored just as a BMP file holds it. Pixels exist only while both
// dimensions are non-zero. A canvas draws on it (TBitmapCanvas), a sink or a
// writer saves it (PictureFile.h).
class TBitmap final {
public:
    static constexpr int BitsPerPixel = 24;

    TBitmap() = default;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Setting the value the picture already has does nothing. A failure
    // leaves the picture as it was.
    void SetWidth(int width);
    void SetHeight(int height);

    bool HasPixels() const { return pixels_ != nullptr; }
    // Bytes per row, padding included.
    std::size_t Stride() const { return stride_; }
    const std::uint8_t* ScanLine(int y) const { return pixels_.get() + std::size_t(y) * stride_; }
    std::uint8_t* ScanLine(int y) { return pixels_.get() + std::size_t(y) * stride_; }
    // The colour at (x, y), or NoColor outside the picture's pixels.
    TColor Pixel(int x, int y) const;
    static constexpr TColor NoColor = 0xFFFFFFFF;

    // The pixels for the drawing routines.
    PixelSurface Surface() { return {pixels_.get(), width_, height_, stride_, 0}; }

    // Pixel memory: from the heap for a small picture, mapped straight from
    // the system for a large one (see Bitmap.cpp); its size says which, so
    // that it goes back the way it came. Null when the system has none to
    // give: a request far beyond the machine is refused, not a crash.
    struct PixelRelease {
        std::size_t bytes;
        void operator()(std::uint8_t* pixels) const;
    };
    using PixelMemory = std::unique_ptr<std::uint8_t[], PixelRelease>;
    static PixelMemory AllocatePixels(std::size_t bytes);

private:
    void Resize(int width, int height);

    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
    PixelMemory pixels_;
};

// Bytes per row of a picture of that width, padding included.
constexpr std::int64_t RowBytes(std::int64_t width, int bitsPerPixel = TBitmap::BitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

} // namespace morvaleth
