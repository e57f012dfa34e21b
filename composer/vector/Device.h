#pragma once

#include "composer/Color.h"
#include "composer/Look.h"
#include "composer/PictureNotes.h"
#include "composer/faces/GlyphPath.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace morvaleth {

// A face of the run, handed to a device once, before the first stamp in it.
struct DeviceFace {
    std::uint16_t id = 0; // the number stamps name it by
    std::string file;     // the font file, and the face's index in it
    int index = 0;
    std::string family;
    int unitsPerEm = 0;
    // The cell of a character, in font units: a stamp's cell height is
    // ascent + descent at its size.
    double ascent = 0;
    double descent = 0;
};

// One glyph of a stamp, placed exactly where the raster picture places it.
struct DeviceGlyph {
    std::uint32_t glyph = 0; // in the stamp's face, after shaping
    // The glyph's origin on the picture, in pixels, y downwards.
    double x = 0;
    double y = 0;
    // From the outline's font units (x right, y up) to picture pixels about
    // the origin: X = x + xx * u + xy * v, Y = y + yx * u + yy * v. It holds
    // the stamp's size, its tilt and a sideways glyph's quarter turn.
    double xx = 0, xy = 0, yx = 0, yy = 0;
};

// One stamp as the raster picture shows it, in the terms a vector output
// draws it in at any scale.
struct DeviceStamp {
    int x = 0; // the cell's top-left corner before the tilt, in pixels
    int y = 0;
    int cellHeight = 0;
    int tilt = 0;   // tenths of a degree, counter-clockwise about (x, y)
    int scheme = 0; // the colour scheme draw, 0 to 9
    // In real mode: the scrap, a polygon filled by the even-odd rule and
    // outlined one pixel wide, its corners in drawing order; `edge` is its
    // outline as drawn, the corners themselves or, torn, every point of its
    // torn sides.
    bool scrap = false;
    std::array<TPoint, 4> corners{};
    std::span<const TPoint> edge;
    // How far the stamp's shadow falls, right and down, in pixels; 0 for
    // none. It is drawn first, in black: under a scrap three layers of the
    // edge's shape offset by shadow - 1, shadow and shadow + 1, each
    // ShadowLayerCoverage / 255 opaque; without a scrap two layers of the
    // glyphs offset by shadow and shadow + 1, GlyphShadowOpacity / 255 each.
    int shadow = 0;
    TColor outline = clBlack;
    TColor fill = clBlack;
    TColor character = clBlack;
    std::uint16_t face = 0;
    // Outlines thickened as a bold cutting: see GlyphOutlines.
    bool bold = false;
    // What the stamp reads as: empty for a blank or a control character.
    std::u32string_view codePoints;
    std::span<const DeviceGlyph> glyphs;
};

// Outlines on request, while a device is handed a stamp.
class GlyphOutlines {
public:
    // The glyph's outline in the face; with `bold`, thickened by a 24th of
    // the face's em as the raster picture thickens a bold cutting. Empty for
    // a glyph without one.
    virtual const GlyphPath& Outline(std::uint16_t face, std::uint32_t glyph, bool bold) = 0;

protected:
    ~GlyphOutlines() = default;
};

// Where a run's stamps go when they are drawn as vector shapes rather than
// painted into rows of pixels: a PDF, an SVG, a test's record. The calls come
// from one thread, in this order: Begin, then for every stamp in run order
// (a later stamp covers an earlier one) its faces not yet handed and the
// stamp, then Finish after the last stamp of a run that succeeded.
class StampDevice {
public:
    virtual ~StampDevice() = default;

    // The picture's size in pixels, and the page the letter is pasted on: a
    // colour, or none at all.
    virtual void Begin(int width, int height, const Background& page) = 0;
    virtual void Face(const DeviceFace& face) = 0;
    virtual void Stamp(const DeviceStamp& stamp, GlyphOutlines& outlines) = 0;
    // How the picture was made, complete only now that the text is read;
    // a device keeps it where its format can.
    virtual void Finish(const PictureNotes& notes) = 0;
};

} // namespace morvaleth
