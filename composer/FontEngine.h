#pragma once

#include "composer/Canvas.h"
#include "composer/FaceFallback.h"
#include "composer/Raster.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace morvaleth {

// The number of a face in a run's face table.
using FaceId = std::uint16_t;
// The number of a face name's chain in a run's face table.
using FaceChainId = std::uint16_t;

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

// A face at a cell height, turned by an escapement: what drawing a glyph and
// bounding a stamp both need, worked out the same way for both.
struct FontScale {
    long emSize = 0;     // 26.6 pixels
    double ascent = 0;   // pixels
    double cosine = 1;
    double sine = 0;
    long matrix[4] = {0x10000, 0, 0, 0x10000}; // 16.16: xx, xy, yx, yy

    // How far from the cell's top-left corner a text of `characters`
    // characters can reach, in pixels, whatever its glyphs.
    double Reach(const FaceMeasures& face, std::size_t characters) const;

    // The rows a text of `characters` characters with its cell's corner on
    // row y can draw on, from the face's glyph box turned by the escapement,
    // with a margin for the rasterizer's rounding.
    void TextRows(const FaceMeasures& face, int y, std::size_t characters, std::int64_t& top,
                  std::int64_t& bottom) const;
};
// lfHeight > 0 is the cell height in pixels, < 0 the em size, 0 a default.
FontScale ScaleFor(const FaceMeasures& face, int lfHeight, int escapement);

// The faces of one run: one chain per face name, and the faces its units are
// drawn in, each known by its file and index and opened once to be measured;
// the stamps carry their number. Render threads open their own handles of the
// same files. Location, Measures and Name may be asked from any thread while
// one thread adds faces; what they return stays valid as faces are added.
class FaceTable {
public:
    FaceTable();
    FaceTable(const FaceTable&) = delete;
    FaceTable& operator=(const FaceTable&) = delete;
    ~FaceTable();

    // The face that stands for the name, added on its first request. Fails
    // with "ﾌｫﾝﾄ '%s' を開けません" when no installed face can stand for it.
    FaceId Resolve(std::string_view faceName);
    // The chain of a face name, added on its first request; fails as Resolve
    // does when its chosen face cannot be opened.
    FaceChainId ChainFor(std::string_view faceName);
    // The chain of a face already found (one of a mixed set): that face, then
    // its family name's fallbacks. Fails as Resolve does when the face itself
    // cannot be opened.
    FaceChainId ChainFor(const FaceLocation& face);
    // The face of the chain that draws the unit (the chosen face for an empty
    // one). Allocates only when the unit needs a face not yet used.
    FaceId FaceFor(FaceChainId chain, std::u32string_view unit);

    const FaceLocation& Location(FaceId face) const;
    // The name the face was asked for by.
    std::string_view Name(FaceId face) const;
    const FaceMeasures& Measures(FaceId face) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// How a font engine comes by a glyph's outline at a size and a turn.
enum class GlyphLoading {
    // The outline is loaded unscaled once per face and then scaled and turned
    // with FreeType's own fixed-point rounding: the same points as below, for
    // a fraction of the work.
    Cached,
    // FreeType loads, scales and turns the glyph at every use.
    EachUse,
};

// Text drawing for one picture or one render thread: the faces it has used,
// opened once and kept, and the one font made from the last selection.
class FontEngine {
public:
    explicit FontEngine(GlyphLoading loading = GlyphLoading::Cached);
    FontEngine(const FontEngine&) = delete;
    FontEngine& operator=(const FontEngine&) = delete;
    ~FontEngine();

    // Makes the font for the description; the previous one is released.
    // Fails with "ﾌｫﾝﾄ '%s' を開けません" when no installed face can stand for
    // the name (no fonts at all, or the face's file cannot be opened). With
    // `face`, that face is used and the description's name is not looked up.
    // A weight above normal thickens the outlines.
    void SelectFont(const LOGFONT& description, const FaceLocation* face = nullptr);

    // Makes the font for a face of the run's table at that scale; the face
    // is opened on its first use and kept. Fails as SelectFont does.
    void SelectFace(const FaceTable& faces, FaceId face, const FontScale& scale);

    // Draws one unit's code points with the selected font, its cell's
    // top-left corner at (x, y) and turned about it by the escapement. After
    // SelectFont a unit the face lacks is drawn by the first face of its
    // chain that has it, at the same cell height. Glyphs are anti-aliased and
    // blended in `color`; with `cellFill` the turned cell is filled first.
    // U+FFFD, and characters no installed face has, draw the face's
    // missing-glyph shape. With `cullOffSurface`, text that cannot reach the
    // surface is not rasterized at all. With `vertical` the text is set as
    // one unit of a column (see OrientationInColumn); a unit set in a column
    // or in bold is shaped as one.
    void DrawText(const PixelSurface& surface, int x, int y, std::u32string_view text, TColor color,
                  std::optional<TColor> cellFill, bool cullOffSurface, bool vertical = false);

    // The same in the selected face alone.
    void DrawCodePoints(const PixelSurface& surface, int x, int y, std::u32string_view codePoints,
                        TColor color, std::optional<TColor> cellFill, bool cullOffSurface);

    // Draws one unit shaped as a whole with HarfBuzz in the selected face and
    // scale: with `vertical` as a unit of a column (see OrientationInColumn),
    // with `bold` its outlines thickened by a 24th of the em. Shapes are kept
    // per face, unit and orientation.
    void DrawShaped(const PixelSurface& surface, int x, int y, std::u32string_view codePoints, TColor color,
                    bool vertical, bool bold);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace morvaleth
