#pragma once

#include "composer/Canvas.h"
#include "composer/FaceFallback.h"
#include "composer/Raster.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace morvaleth {

// Text drawing for one picture: the faces it has used, opened once and kept,
// and the one font made from the last description selected. The font's face
// draws every character it has; a unit it lacks is drawn by the first face of
// its chain (FaceChain) that has it, at the same cell height.
class FontEngine {
public:
    FontEngine();
    FontEngine(const FontEngine&) = delete;
    FontEngine& operator=(const FontEngine&) = delete;
    ~FontEngine();

    // Makes the font for the description; the previous one is released.
    // Fails with "ﾌｫﾝﾄ '%s' を開けません" when no installed face can stand for
    // the name (no fonts at all, or the face's file cannot be opened).
    void SelectFont(const LOGFONT& description);

    // Draws one unit's code points with the selected font, its cell's
    // top-left corner at (x, y) and turned about it by the escapement. Glyphs
    // are anti-aliased and blended in `color`; with `cellFill` the turned cell
    // is filled first. U+FFFD, and characters no installed face has, draw the
    // chosen face's missing-glyph shape. With `cullOffSurface`, text that
    // cannot reach the surface is not rasterized at all.
    void DrawText(const PixelSurface& surface, int x, int y, std::u32string_view text, TColor color,
                  std::optional<TColor> cellFill, bool cullOffSurface);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace morvaleth
