#pragma once

#include "composer/Color.h"
#include "composer/PixelPicture.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace morvaleth {

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

// Sets every pixel whose centre lies inside the polygon by the even-odd rule;
// with a coverage below 255, blends the colour over them by it instead.
void FillPolygon(const PixelSurface& surface, std::span<const PointF> points, TColor color,
                 std::uint8_t coverage = 255);

// A run of pixels [from, to) of a row.
struct RowSpan {
    int row;
    int from;
    int to;
};

// A shadow of the polygon in layers: the polygon moved right and down by d,
// for every d from `nearest` to `farthest`, each layer's pixels (those
// FillPolygon would set) blended with the colour by `coverage`, except the
// pixels of the polygon itself, which is filled over them. `scratch` is left
// holding the polygon's own runs, for FillRuns.
void BlendShadow(const PixelSurface& surface, std::span<const PointF> points, TColor color, std::uint8_t coverage,
                 int nearest, int farthest, std::vector<RowSpan>& scratch);

// Sets the pixels of the runs BlendShadow leaves, as FillPolygon would set
// those of its polygon.
void FillRuns(const PixelSurface& surface, std::span<const RowSpan> runs, TColor color);

// An aliased line one pixel wide through both end points, as a line drawing
// routine sets it: one pixel per step along the longer axis.
void DrawLine(const PixelSurface& surface, TPoint from, TPoint to, TColor color);

// A closed polygon through the points, the last joined to the first: with a
// fill colour the inside is filled by the even-odd rule, then the outline is
// drawn one pixel wide.
void PaintPolygon(const PixelSurface& surface, std::span<const TPoint> points, std::optional<TColor> fill,
                  TColor outline);

// Blends color over `length` pixels of row y from column x with a coverage of
// 0 (nothing changes) to 255 (the colour replaces the pixel).
void BlendSpan(const PixelSurface& surface, int x, int y, int length, std::uint8_t coverage,
               TColor color);

} // namespace morvaleth
