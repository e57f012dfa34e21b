#include "composer/render/StampPainter.h"

#include "composer/render/GlyphPainter.h"

namespace morvaleth {

void StampPainter::Paint(const StampList& list, const PixelSurface& band)
{
    for (const Stamp& stamp : list.stamps)
        if (stamp.top < band.height && stamp.bottom > band.top)
            Paint(stamp, list.CodePointsOf(stamp), band);
}

void StampPainter::Paint(const Stamp& stamp, std::u32string_view codePoints, const PixelSurface& band)
{
    const ScrapColors colors = stamp.Colors();
    if (stamp.scrap)
        PaintPolygon(band, stamp.Corners(), colors.fill, colors.outline);
    if (codePoints.empty())
        return;
    OpenFace& face = handles_.Open(faces_, stamp.face);
    PaintGlyphs(band, handles_.Library(), face, ScaleForCell(face.Measures(), stamp.cellHeight, stamp.tilt), stamp.x,
                stamp.y, codePoints, colors.character, stamp.Shaped(), OrientationIn(stamp.flow, codePoints),
                stamp.bold);
}

} // namespace morvaleth
