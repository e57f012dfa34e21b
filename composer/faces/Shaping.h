#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvaleth {

// How a unit is set in its cell: in a horizontal line, or in a vertical
// column either standing upright (with the face's vertical alternates) or
// lying on its side.
enum class UnitOrientation { Horizontal, Upright, Sideways };

// How a layout sets its units: along a line, or down a column.
enum class Flow : std::uint8_t { Line, Column };

// How Unicode sets a character in vertical text (UAX #50): upright as in the
// code charts; turned a quarter clockwise; or in a vertical form of its own,
// standing upright or turned where the face has none.
enum class VerticalOrientation : std::uint8_t { Upright, Rotated, TransformedUpright, TransformedRotated };

// The character's Vertical_Orientation property, as the Unicode Character
// Database gives it.
VerticalOrientation UnicodeVerticalOrientation(char32_t c);

// The orientation a character takes in a column: Unicode's, except that a
// half-width form takes the orientation of its full-width form, so that ｱ
// stands like ア and ｰ becomes a vertical bar like ー.
VerticalOrientation ColumnOrientation(char32_t c);

// In vertical text a unit lies on its side, turned a quarter clockwise, when
// its first character is one Unicode turns (Latin letters, digits and the
// other ASCII signs, arrows, dashes, the minus sign, Hebrew, Arabic, ...);
// everything else stands, full-width letters and digits included. A standing
// unit whose character Unicode turns unless the face has a vertical form for
// it (the long-vowel mark, brackets, the wave dash) lies on its side after
// all when the face has none: Shaper::Shape decides that.
UnitOrientation OrientationInColumn(std::u32string_view unit);

// How a unit stands in a flow: every unit of a line horizontal, a unit of a
// column as OrientationInColumn says.
UnitOrientation OrientationIn(Flow flow, std::u32string_view unit);

// Whether a unit goes through shaping rather than being set character by
// character: set in a column, bold, or more than one code point (a cluster is
// drawn as one). A plain character of a line keeps being set on its own, so
// that the pictures made before shaping came in stay as they were.
bool NeedsShaping(Flow flow, bool bold, std::size_t codePoints);

// One glyph of a shaped unit: its id in the face and where its origin (the
// start of its baseline, before any turn) lies, in font units from the top-left
// corner of the unit's cell, x to the right and y downwards. The cell is the
// unit's upright cell; a sideways unit's glyphs are turned a quarter clockwise
// about their own origins, so that their baseline runs downwards.
struct ShapedGlyph {
    std::uint32_t id = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;

    bool operator==(const ShapedGlyph&) const = default;
};

struct ShapedUnit {
    std::vector<ShapedGlyph> glyphs;
    bool sideways = false;
    // The size of the glyphs against the cell's: below 1 for a cluster whose
    // glyphs side by side would reach past its cell, shrunk into it (their
    // places above are shrunk already, about the cell's middle across the
    // flow and its start along it).
    double scale = 1;
};

// A face's vertical extent in font units: the cell of a character is ascent
// plus descent high, its baseline one ascent below the cell's top.
struct CellExtent {
    double ascent = 0;
    double descent = 0;
};

// Shapes units of text in one face with HarfBuzz, reading the face's tables
// through the FreeType face it is made from (which must outlive it, and which
// only the thread that draws with it may use). Vertical text uses the OpenType features for it (`vert`,
// `vrt2`) and sets every unit in an em-square cell, its vertical origin one
// cell ascent above the baseline, whatever the face's own vertical metrics
// say: the stamps stand on a grid, not in a proportional column.
class Shaper {
public:
    // `cell` in the face's font units.
    Shaper(FT_Face face, CellExtent cell);
    Shaper(const Shaper&) = delete;
    Shaper& operator=(const Shaper&) = delete;
    ~Shaper();

    // The glyphs of one unit (a character or a grapheme cluster) set in the
    // orientation. U+FFFD code points become the face's missing glyph;
    // default-ignorable ones (joiners, variation selectors, ...) give no
    // glyph, and a variation selector picks the face's variant of the
    // character before it where the face has one (its cmap format 14 table).
    // A standing unit whose first character Unicode sets as
    // TransformedRotated is set sideways when the face has no vertical form
    // for it. A cluster of more than one code point wider (or, in a column,
    // longer) than its cell is shrunk into it.
    ShapedUnit Shape(std::u32string_view unit, UnitOrientation orientation) const;

    // The glyph the face's character map gives a code point, 0 when it has none.
    std::uint32_t NominalGlyph(char32_t codePoint) const;

private:
    ShapedUnit ShapeAs(std::u32string_view unit, UnitOrientation orientation) const;

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace morvaleth
