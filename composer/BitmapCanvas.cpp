#include "composer/BitmapCanvas.h"

#include "composer/Raster.h"

#include <optional>

namespace morvaleth {

void TBitmapCanvas::Polygon(std::span<const TPoint> points)
{
    const PixelSurface surface = picture_.Surface();
    if (points.empty() || surface.bits == nullptr)
        return;
    if (Brush.Style == TBrushStyle::bsSolid) {
        PolygonScratch<PointF> scratch(points.size());
        PointF* corners = scratch.data();
        for (std::size_t i = 0; i < points.size(); ++i)
            corners[i] = {double(points[i].x), double(points[i].y)};
        FillPolygon(surface, std::span(corners, points.size()), Brush.Color);
    }
    for (std::size_t i = 0; i < points.size(); ++i)
        DrawLine(surface, points[i], points[(i + 1) % points.size()], Pen.Color);
}

void TBitmapCanvas::TextOut(int x, int y, std::u32string_view text)
{
    const PixelSurface surface = picture_.Surface();
    if (surface.bits == nullptr)
        return;
    if (!fontMade_)
        FontSelected();
    std::optional<TColor> cellFill;
    if (Brush.Style == TBrushStyle::bsSolid)
        cellFill = Brush.Color;
    fonts_.DrawText(surface, x, y, text, Font.Color, cellFill, culling_, vertical_);
}

void TBitmapCanvas::FontSelected()
{
    fonts_.SelectFont(Font.Handle, Font.Face);
    vertical_ = Font.Vertical;
    fontMade_ = true;
}

} // namespace morvaleth
