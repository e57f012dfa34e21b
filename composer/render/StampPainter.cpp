#include "composer/render/StampPainter.h"

#include "composer/render/GlyphPainter.h"
#include "composer/Messages.h"

namespace morvaleth {

void StampPainter::PaintScrap(const PixelSurface& band, std::span<const TPoint> points, const Stamp& stamp,
                              const ScrapColors& colors)
{
    if (!stamp.shadow) {
        PaintPolygon(band, points, colors.fill, colors.outline);
        return;
    }
    // The shadow finds the scrap's runs, and the scrap is filled from them.
    PolygonScratch<PointF> scratch(points.size());
    PointF* corners = scratch.data();
    for (std::size_t i = 0; i < points.size(); ++i)
        corners[i] = {double(points[i].x), double(points[i].y)};
    const int offset = ShadowOffset(stamp.cellHeight);
    BlendShadow(band, std::span(corners, points.size()), clBlack, ShadowLayerCoverage, offset - 1, offset + 1, runs_);
    FillRuns(band, runs_, colors.fill);
    PaintPolygon(band, points, std::nullopt, colors.outline);
}

void StampPainter::Paint(const StampList& list, const PixelSurface& band, const std::atomic<bool>* cancel)
{
    // How many stamps go by between looks at the cancel.
    constexpr std::size_t CancelLookEvery = 4096;
    const std::size_t count = list.stamps.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i % CancelLookEvery == CancelLookEvery - 1 && cancel != nullptr && cancel->load(std::memory_order_relaxed))
            throw Cancellation();
        const Stamp& stamp = list.stamps[i];
        if (stamp.top < band.height && stamp.bottom > band.top)
            Paint(stamp, list.CodePointsOf(stamp), band);
    }
}

void StampPainter::Paint(const Stamp& stamp, std::u32string_view codePoints, const PixelSurface& band)
{
    const ScrapColors colors = stamp.Colors();
    if (stamp.scrap && stamp.tear != 0)
        PaintScrap(band, TornCorners(stamp.Corners(), stamp.cellHeight, stamp.tear), stamp, colors);
    else if (stamp.scrap)
        PaintScrap(band, stamp.Corners(), stamp, colors);
    if (codePoints.empty())
        return;
    OpenFace& face = handles_.Open(faces_, stamp.face);
    const FontScale scale = ScaleForCell(face.Measures(), stamp.cellHeight, stamp.tilt);
    const UnitOrientation orientation = OrientationIn(stamp.flow, codePoints);
    if (stamp.shadow && !stamp.scrap) {
        // Without a scrap the characters cast the shadow, in two layers.
        const int offset = ShadowOffset(stamp.cellHeight);
        for (int layer = offset; layer <= offset + 1; ++layer)
            PaintGlyphs(band, handles_.Library(), face, scale, SaturatedOffset(stamp.x, layer),
                        SaturatedOffset(stamp.y, layer), codePoints, clBlack,
                        stamp.Shaped(), orientation, stamp.bold, true, GlyphShadowOpacity);
    }
    PaintGlyphs(band, handles_.Library(), face, scale, stamp.x, stamp.y, codePoints, colors.character,
                stamp.Shaped(), orientation, stamp.bold);
}

} // namespace morvaleth
