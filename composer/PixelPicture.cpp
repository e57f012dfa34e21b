#include "composer/PixelPicture.h"

#include "composer/Messages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

namespace morvaleth {
namespace {

constexpr std::size_t HugePageBytes = std::size_t(2) << 20;

std::size_t MappedLength(std::size_t bytes)
{
    static const std::size_t pageBytes = std::size_t(::sysconf(_SC_PAGESIZE));
    return (bytes + pageBytes - 1) / pageBytes * pageBytes;
}

} // namespace

// A new picture is filled white at once, which touches every page of it. Page
// by page (4 KiB) that costs a fault each and made creating a large picture
// fifteen times slower than filling it; a picture of 2 MiB or more is
// therefore mapped on a 2 MiB boundary and asked for huge pages, which take
// one fault per 2 MiB. The request is a hint: where the system has no huge
// pages the memory is ordinary memory. Smaller pictures come from the heap.
PixelMemory AllocatePixels(std::size_t bytes)
{
    if (bytes < HugePageBytes)
        return PixelMemory(new (std::nothrow) std::uint8_t[bytes], PixelRelease{bytes});

    const std::size_t length = MappedLength(bytes);
    const std::size_t reserved = length + HugePageBytes;
    void* mapping = ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        return PixelMemory(nullptr, PixelRelease{bytes});
    // Keep the aligned part and give the slack on either side back.
    auto* start = static_cast<std::uint8_t*>(mapping);
    auto* aligned = reinterpret_cast<std::uint8_t*>(
        (reinterpret_cast<std::uintptr_t>(start) + HugePageBytes - 1) & ~(HugePageBytes - 1));
    if (aligned != start)
        ::munmap(start, std::size_t(aligned - start));
    const std::size_t after = std::size_t(start + reserved - (aligned + length));
    if (after != 0)
        ::munmap(aligned + length, after);
    ::madvise(aligned, length, MADV_HUGEPAGE);
    return PixelMemory(aligned, PixelRelease{bytes});
}

void PixelRelease::operator()(std::uint8_t* pixels) const
{
    if (bytes < HugePageBytes)
        delete[] pixels;
    else
        ::munmap(pixels, MappedLength(bytes));
}

void PixelPicture::SetWidth(int width)
{
    if (width != width_)
        Resize(width, height_);
}

void PixelPicture::SetHeight(int height)
{
    if (height != height_)
        Resize(width_, height);
}

void PixelPicture::Resize(int width, int height)
{
    // Refused before allocating: a row is addressed by a signed 32-bit
    // count of bytes (as an image of the window toolkit's is), the whole
    // picture by a signed size. Divided rather than multiplied: the rows of
    // the widest and tallest pictures take more bytes than 64 bits count.
    if (width < 0 || height < 0)
        throw Failure(Message::OutOfResources);
    const std::int64_t stride = RowBytes(width);
    if (width > 0 && height > 0 && (stride > INT_MAX || stride > PTRDIFF_MAX / height))
        throw Failure(Message::OutOfResources);

    PixelMemory pixels;
    if (width > 0 && height > 0) {
        const std::size_t bytes = std::size_t(stride) * std::size_t(height);
        pixels = AllocatePixels(bytes);
        if (!pixels)
            throw Failure(Message::OutOfResources);
        std::memset(pixels.get(), 0xFF, bytes);
        const std::size_t rowPixels = std::size_t(width) * 3;
        if (rowPixels != std::size_t(stride))
            for (int y = 0; y < height; ++y)
                std::memset(pixels.get() + std::size_t(y) * stride + rowPixels, 0, stride - rowPixels);
        if (pixels_) {
            const std::size_t keptBytes = std::size_t(std::min(width, width_)) * 3;
            for (int y = 0; y < std::min(height, height_); ++y)
                std::memcpy(pixels.get() + std::size_t(y) * stride, ScanLine(y), keptBytes);
        }
    }
    pixels_ = std::move(pixels);
    width_ = width;
    height_ = height;
    stride_ = std::size_t(stride);
}

TColor PixelPicture::Pixel(int x, int y) const
{
    if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_)
        return NoColor;
    const std::uint8_t* pixel = ScanLine(y) + std::size_t(x) * 3;
    return MakeColor(pixel[2], pixel[1], pixel[0]);
}

} // namespace morvaleth
