#pragma once

#include "composer/Color.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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

struct PointF {
    double x = 0;
    double y = 0;
};

// Room for `count` values of a polygon's: on the stack up to Inline of them,
// else on the heap. The engine's polygons are small, so the common case
// needs no allocation.
template <typename T, std::size_t Inline = 16>
class PolygonScratch {
public:
    explicit PolygonScratch(std::size_t count)
    {
        if (count > Inline)
            heap_.resize(count);
    }
    PolygonScratch(const PolygonScratch&) = delete;
    PolygonScratch& operator=(const PolygonScratch&) = delete;

    T* data() { return heap_.empty() ? inline_ : heap_.data(); }

private:
    T inline_[Inline];
    std::vector<T> heap_;
};

// Sets every pixel whose centre lies inside the polygon by the even-odd rule.
void FillPolygon(const PixelSurface& surface, std::span<const PointF> points, TColor color);

// An aliased line one pixel wide through both end points, as a line drawing
// routine sets it: one pixel per step along the longer axis.
void DrawLine(const PixelSurface& surface, TPoint from, TPoint to, TColor color);

// Blends color over `length` pixels of row y from column x with a coverage of
// 0 (nothing changes) to 255 (the colour replaces the pixel).
void BlendSpan(const PixelSurface& surface, int x, int y, int length, std::uint8_t coverage,
               TColor color);

} // namespace morvaleth
