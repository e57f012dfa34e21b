#pragma once

#include "composer/faces/FontScale.h"
#include "composer/faces/GlyphPath.h"
#include "composer/faces/OpenFace.h"
#include "composer/faces/Shaping.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <string_view>

namespace morvaleth {

// One glyph of a unit at its place on the picture.
struct PlacedGlyph {
    std::uint32_t glyph = 0;
    // The outline, scaled, turned and moved by `offset`, in 26.6 pixels from
    // the pixel (originX, originY) rightwards and upwards; null for a glyph
    // that has none. It lasts until the next glyph is set.
    FT_Outline* outline = nullptr;
    int originX = 0;
    int originY = 0;
    // The pen's place within that pixel, and the turn of the glyph, which
    // the outline carries already.
    FT_Vector offset{};
    FT_Matrix turn{};
    // A glyph that is a picture instead: drawn from the pen's place, its
    // pixels `imageScale` picture pixels wide, turned by `turn`.
    const GlyphImage* image = nullptr;
    double imageScale = 0;
};

// What the glyphs of a unit are handed to as they are set: a rasterizer, or a
// vector device's record of where they go.
class GlyphSink {
public:
    virtual void Glyph(const PlacedGlyph& glyph) = 0;

protected:
    ~GlyphSink() = default;
};

// Sets a unit's code points one after the other in the face at the scale,
// the cell's top-left corner at (x, y) and the line turned about it; each
// glyph moves the pen by its own turned advance. This is how a character of a
// line is set unless it is bold. A face of pictures hands on pictures, scaled
// to the size.
void SetCodePoints(OpenFace& face, const FontScale& scale, int x, int y, std::u32string_view codePoints,
                   GlyphSink& sink);

// Sets a unit shaped as a whole with HarfBuzz, every glyph at its own place
// in the cell, the cell turned about (x, y); a sideways unit's glyphs turned
// a further quarter clockwise, a cluster shrunk into its cell at its shaped
// scale. With `bold` the outlines are thickened by BoldStrength.
void SetShaped(OpenFace& face, const FontScale& scale, int x, int y, std::u32string_view codePoints,
               UnitOrientation orientation, bool bold, GlyphSink& sink);

// The glyph's outline in font units, as the face holds it; with `bold`,
// thickened by a 24th of the em as SetShaped thickens it at a size. Empty for
// a glyph without an outline, or one FreeType cannot load.
GlyphPath UnscaledOutline(OpenFace& face, std::uint32_t glyph, bool bold);

// How far from a shaped unit's cell corner its glyphs can reach, in pixels:
// anywhere in the cell, and thickening moves their points out.
double ShapedReach(const FaceMeasures& measures, const FontScale& scale, std::size_t characters);

} // namespace morvaleth
