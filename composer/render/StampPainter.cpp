#include "composer/render/StampPainter.h"

#include "composer/render/GlyphPainter.h"
#include "composer/Messages.h"

namespace morvaleth {

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
