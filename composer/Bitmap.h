#pragma once

#include "composer/Canvas.h"
#include "composer/Raster.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace morvaleth {

// What the composition run needs of a picture: its size and a canvas.
class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;
    virtual ~TPicture() = default;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Setting the value the picture already has does nothing. A failure
    // leaves the picture as it was.
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;
    virtual TCanvas& Canvas() = 0;
};

// A raster picture: 24 bits per pixel (blue, green, red), rows top to bottom,
// each padded with zero bytes to a multiple of 4, so that a row is stored just
// as a BMP file holds it. Pixels exist only while both dimensions are non-zero.
class TBitmap final : public TPicture {
public:
    static constexpr int BitsPerPixel = 24;

    TBitmap();
    ~TBitmap() override;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    TCanvas& Canvas() override;

    bool HasPixels() const { return pixels_ != nullptr; }
    // Bytes per row, padding included.
    std::size_t Stride() const { return stride_; }
    const std::uint8_t* ScanLine(int y) const { return pixels_.get() + std::size_t(y) * stride_; }
    std::uint8_t* ScanLine(int y) { return pixels_.get() + std::size_t(y) * stride_; }
    // The colour at (x, y), or NoColor outside the picture's pixels.
    TColor Pixel(int x, int y) const;
    static constexpr TColor NoColor = 0xFFFFFFFF;

    // Writes the picture to a file: BMP, or PNG when the name ends in ".png".
    // The file is replaced only once the new one is complete; on failure an
    // earlier file of that name is left as it was.
    void SaveToFile(const std::string& path) const;

    // Lets tests compare pictures drawn with and without skipping the
    // rasterizing of text that lies wholly outside the picture.
    void SetOffPictureCulling(bool enabled);

private:
    class RasterCanvas;
    void Resize(int width, int height);
    PixelSurface Surface();

    // Pixel memory: from the heap for a small picture, mapped straight from
    // the system for a large one (see Bitmap.cpp); its size says which, so
    // that it goes back the way it came.
    struct PixelRelease {
        std::size_t bytes;
        void operator()(std::uint8_t* pixels) const;
    };
    using PixelMemory = std::unique_ptr<std::uint8_t[], PixelRelease>;
    static PixelMemory AllocatePixels(std::size_t bytes);

    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
    PixelMemory pixels_;
    std::unique_ptr<RasterCanvas> canvas_;
};

// Bytes per row of a picture of that width, padding included.
constexpr std::int64_t RowBytes(std::int64_t width, int bitsPerPixel = TBitmap::BitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

} // namespace morvaleth
