#pragma once

#include "composer/Canvas.h"
#include "composer/Raster.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace morvaleth {

// The installed face that stands for a face name: the face of that name, or
// the one the engine's alias file maps it to, or else an installed face with
// Japanese glyphs. Empty when no usable face is installed at all.
struct FaceLocation {
    std::string file;
    int index = 0;
    std::string family;
};
FaceLocation FindFace(std::string_view faceName);

// The alias file the engine loaded, or empty when it found none.
std::string FontAliasFile();

// Text drawing for one picture: the faces it has used, opened once and kept,
// and the one font made from the last description selected.
class FontEngine {
public:
    FontEngine();
    FontEngine(const FontEngine&) = delete;
    FontEngine& operator=(const FontEngine&) = delete;
    ~FontEngine();

    // Makes the font for the description; the previous one is released.
    // Fails with "ﾌｫﾝﾄ '%s' を開けません" when no installed face can stand for
    // the name (no fonts at all, or the face's file cannot be opened). With
    // `face`, that face is used and the description's name is not looked up.
    // A weight above normal thickens the outlines.
    void SelectFont(const LOGFONT& description, const FaceLocation* face = nullptr);

    // Draws text with the selected font, its cell's top-left corner at (x, y)
    // and turned about it by the escapement. Glyphs are anti-aliased and
    // blended in `color`; with `cellFill` the turned cell is filled first.
    // Bytes that do not convert, and characters the face lacks, draw the
    // face's missing-glyph shape. With `cullOffSurface`, text that cannot
    // reach the surface is not rasterized at all. With `vertical` the text is
    // set as one unit of a column (see OrientationInColumn); a unit of several
    // characters is shaped as one.
    void DrawText(const PixelSurface& surface, int x, int y, std::string_view text,
                  TextEncoding encoding, TColor color, std::optional<TColor> cellFill,
                  bool cullOffSurface, bool vertical = false);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace morvaleth
