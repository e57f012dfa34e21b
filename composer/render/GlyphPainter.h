#pragma once

#include "composer/Color.h"
#include "composer/faces/OpenFace.h"
#include "composer/faces/Shaping.h"
#include "composer/render/Raster.h"

#include <string_view>

namespace morvaleth {

// Whether nothing drawn within `reach` pixels of (x, y) can touch the surface.
bool BeyondReach(const PixelSurface& surface, int x, int y, double reach);

// Paints one unit's glyphs in the face at the scale, the cell's top-left
// corner at (x, y) and turned about it, anti-aliased and blended in `color`:
// character by character, or shaped as a whole in the orientation (and
// thickened with `bold`) when `shaped`. Glyphs that cannot reach the surface
// are not rasterized at all, unless `cullOffSurface` is false. Below an
// opacity of 255 the outlines are blended by that much of their coverage (a
// shadow), and glyphs that are pictures are left out.
void PaintGlyphs(const PixelSurface& surface, FT_Library library, OpenFace& face, const FontScale& scale, int x,
                 int y, std::u32string_view codePoints, TColor color, bool shaped, UnitOrientation orientation,
                 bool bold, bool cullOffSurface = true, std::uint8_t opacity = 255);

} // namespace morvaleth
