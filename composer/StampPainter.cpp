#include "composer/StampPainter.h"

#include <algorithm>
#include <climits>

namespace morvaleth {
namespace {

int Offset(int base, std::int64_t by)
{
    return int(std::clamp<std::int64_t>(base + by, INT_MIN, INT_MAX));
}

} // namespace

void StampPainter::Paint(const StampList& list, const PixelSurface& band)
{
    for (const Stamp& stamp : list.stamps)
        if (stamp.rows.top < band.height && stamp.rows.bottom > band.top)
            Paint(stamp, list.CodePointsOf(stamp), band);
}

void StampPainter::Paint(const Stamp& stamp, std::u32string_view codePoints, const PixelSurface& band)
{
    const ScrapColors colors = stamp.scrap ? ScrapColorsFor(stamp.scheme) : ScrapColors{clBlack, clBlack, clBlack};
    if (stamp.scrap) {
        const int x = stamp.x;
        const int y = stamp.y;
        const int h = stamp.cellHeight;
        // Top-left corner exactly on (x, y); the left edge leans by dx, the
        // top and bottom edges drop by dy, the right edge stands upright.
        const TPoint corners[] = {
            {x, y},
            {Offset(x, stamp.dx), Offset(y, h)},
            {Offset(x, std::int64_t(h) + stamp.dx), Offset(y, std::int64_t(h) + stamp.dy)},
            {Offset(x, std::int64_t(h) + stamp.dx), Offset(y, stamp.dy)},
        };
        PointF filled[4];
        for (int i = 0; i < 4; ++i)
            filled[i] = {double(corners[i].x), double(corners[i].y)};
        FillPolygon(band, filled, colors.fill);
        for (int i = 0; i < 4; ++i)
            DrawLine(band, corners[i], corners[(i + 1) % 4], colors.outline);
    }
    if (codePoints.empty())
        return;
    const FontScale scale = ScaleFor(faces_.Measures(stamp.face), stamp.cellHeight, stamp.tilt);
    fonts_.SelectFace(faces_, stamp.face, scale);
    if (IsShaped(stamp)) {
        fonts_.DrawShaped(band, stamp.x, stamp.y, codePoints, colors.character, stamp.vertical, stamp.bold);
        return;
    }
    fonts_.DrawCodePoints(band, stamp.x, stamp.y, codePoints, colors.character, std::nullopt, true);
}

} // namespace morvaleth
