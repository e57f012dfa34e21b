#pragma once

#include <cstddef>
#include <cstdint>

namespace morvaleth {

// A face's measures in font units: its cell (ascent + descent, internal
// leading included), the box every glyph's outline lies in, how far any
// outline point lies from the glyph origin, and its widest advance.
struct FaceMeasures {
    double ascent = 0;
    double descent = 0;
    double boxLeft = 0, boxBottom = 0, boxRight = 0, boxTop = 0;
    double reach = 0;
    double maxAdvance = 0;
    int unitsPerEm = 1;
};

// A turn as FreeType's 16.16 matrix: xx, xy, yx, yy.
struct TurnMatrix {
    long xx = 0x10000, xy = 0, yx = 0, yy = 0x10000;
};

// The matrix that turns counter-clockwise by `radians`, each entry rounded to
// the nearest 1/65536.
TurnMatrix TurnBy(double radians);

// A face at a size, turned by a tilt: what drawing a glyph and bounding a
// stamp both need, worked out the same way for both.
struct FontScale {
    long emSize = 0;   // 26.6 pixels
    double ascent = 0; // pixels
    double cosine = 1;
    double sine = 0;
    TurnMatrix turn;

    // How far from the cell's top-left corner a text of `characters`
    // characters can reach, in pixels, whatever its glyphs.
    double Reach(const FaceMeasures& face, std::size_t characters) const;

    // The rows a text of `characters` characters with its cell's corner on
    // row y can draw on, from the face's glyph box turned by the tilt, with a
    // margin for the rasterizer's rounding.
    void TextRows(const FaceMeasures& face, int y, std::size_t characters, std::int64_t& top,
                  std::int64_t& bottom) const;
};

// The face at an em of `emPixels` pixels (at most 12000, which keeps every
// glyph inside the rasterizer's coordinates), turned counter-clockwise by
// `tilt` tenths of a degree.
FontScale ScaleForEm(const FaceMeasures& face, double emPixels, int tilt);

// The face sized so that its cell (ascent + descent) is `cellHeight` pixels
// high: a stamp's face in every face alike, fallback faces included.
FontScale ScaleForCell(const FaceMeasures& face, int cellHeight, int tilt);

// How far a bold cutting moves a glyph's outline out, in 26.6 pixels: a 24th
// of the em, at least 1/64 pixel.
constexpr long BoldStrength(long emSize)
{
    return emSize / 24 > 1 ? emSize / 24 : 1;
}

} // namespace morvaleth
