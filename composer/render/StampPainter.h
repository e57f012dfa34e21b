#pragma once

#include "composer/faces/FaceTable.h"
#include "composer/faces/OpenFace.h"
#include "composer/plan/StampPlan.h"
#include "composer/render/Raster.h"

#include <atomic>

namespace morvaleth {

// Paints planned stamps into a band of the picture's rows, exactly as
// painting them on the whole picture would paint those rows. Each render
// thread has its own painter, and with it its own face handles.
class StampPainter {
public:
    explicit StampPainter(const FaceTable& faces, GlyphLoading loading = GlyphLoading::Cached)
        : faces_(faces), handles_(loading)
    {
    }

    // Paints, in run order, the stamps of the list that touch the band. A
    // long list (a run in columns) is left as soon as `cancel` is set, with
    // an Error of kind Cancelled.
    void Paint(const StampList& list, const PixelSurface& band, const std::atomic<bool>* cancel = nullptr);

    // In real mode, the scrap: a filled polygon outlined one pixel wide; then
    // the character, turned about its cell's top-left corner.
    void Paint(const Stamp& stamp, std::u32string_view codePoints, const PixelSurface& band);

private:
    void PaintScrap(const PixelSurface& band, std::span<const TPoint> points, const Stamp& stamp,
                    const ScrapColors& colors);

    const FaceTable& faces_;
    FaceHandles handles_;
    // A shadow's runs, their memory kept from stamp to stamp.
    std::vector<RowSpan> runs_;
};

} // namespace morvaleth
