#pragma once

#include "composer/Color.h"
#include "composer/PictureNotes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace morvaleth {

// The pixels of a 24-bit (blue, green, red) picture, or of a band of its
// rows, for the drawing routines. Coordinates are the picture's: the surface
// holds rows [top, height), and `bits` points at row `top`. Every routine
// clips to the surface: nothing outside it is touched, and what falls inside
// comes out exactly as it would on the whole picture.
struct PixelSurface {
    std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    int top = 0;

    bool Contains(std::int64_t x, std::int64_t y) const
    {
        return x >= 0 && y >= top && x < width && y < height;
    }
    std::uint8_t* Row(std::int64_t y) const { return bits + std::size_t(y - top) * stride; }
};

// Pixel memory: from the heap for a small picture, mapped straight from the
// system for a large one (see PixelPicture.cpp); its size says which, so that
// it goes back the way it came. Null when the system has none to give: a
// request far beyond the machine is refused, not a crash.
struct PixelRelease {
    std::size_t bytes;
    void operator()(std::uint8_t* pixels) const;
};
using PixelMemory = std::unique_ptr<std::uint8_t[], PixelRelease>;
PixelMemory AllocatePixels(std::size_t bytes);

// A raster picture, plain pixels: 24 bits per pixel (blue, green, red), rows
// top to bottom, each padded with zero bytes to a multiple of 4. Pixels exist
// only while both dimensions are non-zero; a new picture is white. The run
// paints into it, an encoder's sink writes it out.
class PixelPicture final {
public:
    static constexpr int BitsPerPixel = 24;

    PixelPicture() = default;
    PixelPicture(const PixelPicture&) = delete;
    PixelPicture& operator=(const PixelPicture&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Setting the value the picture already has does nothing. A size whose
    // rows or pixels a program cannot address, or memory the system will not
    // give, fails with "ｼｽﾃﾑ ﾘｿｰｽが足りません"; a failure leaves the picture
    // as it was.
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

    // How the picture was made, kept with it when it is saved.
    const PictureNotes& Notes() const { return notes_; }
    void SetNotes(PictureNotes notes) { notes_ = std::move(notes); }

    // The pixels for the drawing routines.
    PixelSurface Surface() { return {pixels_.get(), width_, height_, stride_, 0}; }

private:
    void Resize(int width, int height);

    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
    PixelMemory pixels_;
    PictureNotes notes_;
};

// Bytes per row of a picture of that width, padding included.
constexpr std::int64_t RowBytes(std::int64_t width, int bitsPerPixel = PixelPicture::BitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

} // namespace morvaleth
