#include "composer/render/Raster.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace morvaleth {
namespace {

void PutPixel(const PixelSurface& surface, std::int64_t x, std::int64_t y, TColor color)
{
    if (!surface.Contains(x, y))
        return;
    std::uint8_t* pixel = surface.Row(y) + std::size_t(x) * 3;
    pixel[0] = BlueOf(color);
    pixel[1] = GreenOf(color);
    pixel[2] = RedOf(color);
    if (surface.alpha != nullptr)
        surface.AlphaRow(y)[x] = 255;
}

// The first pixel index whose centre (index + 0.5) is at or beyond v, kept
// within [lo, hi] so that far-away coordinates cannot overflow an int.
int FirstCentreAtOrAfter(double v, int lo, int hi)
{
    double index = std::ceil(v - 0.5);
    if (!(index >= lo)) // also catches NaN
        return lo;
    if (index > hi)
        return hi;
    return int(index);
}

// floor(numerator / denominator) for a positive denominator.
std::int64_t FloorDiv(__int128 numerator, __int128 denominator)
{
    __int128 quotient = numerator / denominator;
    if (numerator % denominator != 0 && numerator < 0)
        --quotient;
    return std::int64_t(quotient);
}

// Calls span(row, from, to) for every run of pixels whose centres lie inside
// the polygon by the even-odd rule, row by row, left to right.
// Rows [firstRow, endRow) at most, columns [0, width] at most, or where
// `unclamped` as far as an int allows.
template <typename Span>
void ForEachSpan(std::span<const PointF> points, int fromRow, int toRow, int width, bool unclamped, Span span)
{
    if (points.size() < 3)
        return;
    const int leftmost = unclamped ? -(1 << 29) : 0;
    const int rightmost = unclamped ? (1 << 29) : width;

    double top = points[0].y;
    double bottom = points[0].y;
    for (const PointF& p : points) {
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    const int firstRow = FirstCentreAtOrAfter(top, fromRow, toRow);
    const int endRow = FirstCentreAtOrAfter(bottom, fromRow, toRow);

    // A polygon has at most as many crossings on a row as it has edges.
    PolygonScratch<double> scratch(points.size());
    double* crossings = scratch.data();

    for (int row = firstRow; row < endRow; ++row) {
        const double centre = row + 0.5;
        std::size_t count = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const PointF& a = points[i];
            const PointF& b = points[(i + 1) % points.size()];
            // Half-open in y, so that a vertex shared by two edges counts once.
            if ((a.y <= centre && centre < b.y) || (b.y <= centre && centre < a.y))
                crossings[count++] = a.x + (centre - a.y) * (b.x - a.x) / (b.y - a.y);
        }
        std::sort(crossings, crossings + count);
        for (std::size_t i = 0; i + 1 < count; i += 2)
            span(row, FirstCentreAtOrAfter(crossings[i], leftmost, rightmost),
                 FirstCentreAtOrAfter(crossings[i + 1], leftmost, rightmost));
    }
}

} // namespace

void FillPolygon(const PixelSurface& surface, std::span<const PointF> points, TColor color, std::uint8_t coverage)
{
    if (surface.bits == nullptr)
        return;
    ForEachSpan(points, surface.top, surface.height, surface.width, false, [&](int row, int from, int to) {
        if (coverage != 255) {
            BlendSpan(surface, from, row, to - from, coverage, color);
            return;
        }
        std::uint8_t* line = surface.Row(row);
        for (int x = from; x < to; ++x) {
            line[x * 3 + 0] = BlueOf(color);
            line[x * 3 + 1] = GreenOf(color);
            line[x * 3 + 2] = RedOf(color);
        }
        if (surface.alpha != nullptr && from < to)
            std::fill(surface.AlphaRow(row) + from, surface.AlphaRow(row) + to, std::uint8_t(255));
    });
}

void BlendShadow(const PixelSurface& surface, std::span<const PointF> points, TColor color, std::uint8_t coverage,
                 int nearest, int farthest, std::vector<RowSpan>& scratch)
{
    if (surface.bits == nullptr || nearest < 0 || farthest < nearest)
        return;
    // The polygon's own runs, from as far above the surface as the farthest
    // layer reaches into it: each layer's are the same moved by its offset,
    // as pixel centres move by whole pixels.
    scratch.clear();
    ForEachSpan(points, surface.top - farthest, surface.height, surface.width, true, [&](int row, int from, int to) {
        if (from < to)
            scratch.push_back({row, from, to});
    });
    for (int offset = nearest; offset <= farthest; ++offset) {
        std::size_t first = 0; // the first of the polygon's runs on the row, or after them
        for (const RowSpan& run : scratch) {
            const int row = run.row + offset;
            if (row < surface.top || row >= surface.height)
                continue;
            int from = std::clamp(run.from + offset, 0, surface.width);
            const int to = std::clamp(run.to + offset, 0, surface.width);
            while (first < scratch.size() && scratch[first].row < row)
                ++first;
            for (std::size_t i = first; i < scratch.size() && scratch[i].row == row && from < to; ++i) {
                const RowSpan& hole = scratch[i];
                if (hole.to <= from || hole.from >= to)
                    continue;
                if (hole.from > from)
                    BlendSpan(surface, from, row, hole.from - from, coverage, color);
                from = std::max(from, hole.to);
            }
            if (from < to)
                BlendSpan(surface, from, row, to - from, coverage, color);
        }
    }
}

void FillRuns(const PixelSurface& surface, std::span<const RowSpan> runs, TColor color)
{
    if (surface.bits == nullptr)
        return;
    for (const RowSpan& run : runs) {
        if (run.row < surface.top || run.row >= surface.height)
            continue;
        const int from = std::clamp(run.from, 0, surface.width);
        const int to = std::clamp(run.to, 0, surface.width);
        std::uint8_t* line = surface.Row(run.row);
        for (int x = from; x < to; ++x) {
            line[x * 3 + 0] = BlueOf(color);
            line[x * 3 + 1] = GreenOf(color);
            line[x * 3 + 2] = RedOf(color);
        }
        if (surface.alpha != nullptr && from < to)
            std::fill(surface.AlphaRow(run.row) + from, surface.AlphaRow(run.row) + to, std::uint8_t(255));
    }
}

void DrawLine(const PixelSurface& surface, TPoint from, TPoint to, TColor color)
{
    if (surface.bits == nullptr || std::max(from.y, to.y) < surface.top || std::min(from.y, to.y) >= surface.height)
        return;

    // Walk the longer axis one pixel at a time and round the other, which is
    // what Bresenham's routine sets. Computing the first step directly lets
    // the walk start and end at the surface's edges, however far away the
    // ends are.
    const bool steep = std::abs(std::int64_t(to.y) - from.y) > std::abs(std::int64_t(to.x) - from.x);
    std::int64_t major0 = steep ? from.y : from.x;
    std::int64_t minor0 = steep ? from.x : from.y;
    std::int64_t major1 = steep ? to.y : to.x;
    std::int64_t minor1 = steep ? to.x : to.y;
    if (major0 > major1) {
        std::swap(major0, major1);
        std::swap(minor0, minor1);
    }
    const std::int64_t majorLength = major1 - major0;
    const std::int64_t minorLength = minor1 - minor0;
    const std::int64_t majorFirst = steep ? surface.top : 0;
    const std::int64_t majorLimit = (steep ? surface.height : surface.width) - 1;

    const std::int64_t first = std::max<std::int64_t>(major0, majorFirst);
    const std::int64_t last = std::min(major1, majorLimit);
    if (first > last)
        return;
    if (majorLength == 0) {
        if (steep)
            PutPixel(surface, minor0, first, color);
        else
            PutPixel(surface, first, minor0, color);
        return;
    }

    // The minor coordinate at step k is minor0 + floor((2 mL k + ML) / 2 ML).
    // One wide division finds it at the first step; after that the quotient
    // and remainder move on exactly, since |2 mL| <= 2 ML they change by at
    // most one per step.
    const std::int64_t denominator = 2 * majorLength;
    const std::int64_t step = 2 * minorLength;
    std::int64_t quotient = 0;
    std::int64_t remainder = 0;
    if (std::abs(step) < (std::int64_t(1) << 31) && first - major0 < (std::int64_t(1) << 31) &&
        majorLength < (std::int64_t(1) << 31)) {
        // A line within the picture's reach: the same division in 64 bits.
        const std::int64_t numerator = step * (first - major0) + majorLength;
        quotient = numerator / denominator;
        if (numerator % denominator != 0 && numerator < 0)
            --quotient;
        remainder = numerator - quotient * denominator;
    } else {
        const __int128 numerator = __int128(step) * (first - major0) + majorLength;
        quotient = FloorDiv(numerator, denominator);
        remainder = std::int64_t(numerator - __int128(quotient) * denominator);
    }
    for (std::int64_t major = first;; ++major) {
        const std::int64_t minor = minor0 + quotient;
        if (steep)
            PutPixel(surface, minor, major, color);
        else
            PutPixel(surface, major, minor, color);
        if (major == last)
            break;
        remainder += step;
        if (remainder >= denominator) {
            remainder -= denominator;
            ++quotient;
        } else if (remainder < 0) {
            remainder += denominator;
            --quotient;
        }
    }
}

void PaintPolygon(const PixelSurface& surface, std::span<const TPoint> points, std::optional<TColor> fill,
                  TColor outline)
{
    if (points.empty() || surface.bits == nullptr)
        return;
    if (fill) {
        PolygonScratch<PointF> scratch(points.size());
        PointF* corners = scratch.data();
        for (std::size_t i = 0; i < points.size(); ++i)
            corners[i] = {double(points[i].x), double(points[i].y)};
        FillPolygon(surface, std::span(corners, points.size()), *fill);
    }
    for (std::size_t i = 0; i < points.size(); ++i)
        DrawLine(surface, points[i], points[(i + 1) % points.size()], outline);
}

void BlendSpan(const PixelSurface& surface, int x, int y, int length, std::uint8_t coverage,
               TColor color)
{
    if (surface.bits == nullptr || y < surface.top || y >= surface.height || coverage == 0)
        return;
    const int from = std::max(x, 0);
    const int to = int(std::min<std::int64_t>(std::int64_t(x) + length, surface.width));
    if (from >= to)
        return;

    std::uint8_t* pixel = surface.Row(y) + std::size_t(from) * 3;
    const unsigned alpha = coverage;
    const unsigned keep = 255 - alpha;
    const unsigned blue = BlueOf(color) * alpha;
    const unsigned green = GreenOf(color) * alpha;
    const unsigned red = RedOf(color) * alpha;
    for (int i = from; i < to; ++i, pixel += 3) {
        pixel[0] = std::uint8_t((pixel[0] * keep + blue + 127) / 255);
        pixel[1] = std::uint8_t((pixel[1] * keep + green + 127) / 255);
        pixel[2] = std::uint8_t((pixel[2] * keep + red + 127) / 255);
    }
    if (surface.alpha != nullptr)
        for (std::uint8_t* a = surface.AlphaRow(y) + from; a != surface.AlphaRow(y) + to; ++a)
            *a = std::uint8_t(alpha + (*a * keep + 127) / 255);
}

} // namespace morvaleth
