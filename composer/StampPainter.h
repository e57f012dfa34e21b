#pragma once

#include "composer/FontEngine.h"
#include "composer/Raster.h"
#include "composer/StampPlan.h"

namespace morvaleth {

// The second stage of a run: paints planned stamps into a band of the
// picture's rows, exactly as painting them on the whole picture would paint
// those rows. Each render thread has its own painter, and with it its own
// font handles.
class StampPainter {
public:
    explicit StampPainter(const FaceTable& faces) : faces_(faces) {}

    // Paints, in run order, the stamps of the list that touch the band.
    void Paint(const StampList& list, const PixelSurface& band);

    // In real mode, the scrap: a filled polygon outlined one pixel wide; then
    // the character, turned about its cell's top-left corner.
    void Paint(const Stamp& stamp, std::u32string_view codePoints, const PixelSurface& band);

private:
    const FaceTable& faces_;
    FontEngine fonts_;
};

} // namespace morvaleth
