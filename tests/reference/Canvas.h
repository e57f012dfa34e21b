#pragma once

#include "composer/Color.h"
#include "composer/faces/Shaping.h"
#include "reference/LogFont.h"

#include <span>
#include <string_view>

namespace morvaleth {

enum class TBrushStyle { bsSolid, bsClear };

// The pen is always 1 pixel wide and solid; only its colour changes.
struct TPen {
    TColor Color = clBlack;
};

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = TBrushStyle::bsSolid;
};

struct FaceLocation;

// The colour is held apart from the description: selecting a font keeps it.
// So are the face already found for it, when there is one (its name is then
// not looked up), and how text is set (along a line or down a column): both
// take effect at the next selection.
struct TFont {
    LOGFONT Handle;
    TColor Color = clBlack;
    const FaceLocation* Face = nullptr;
    Flow Setting = Flow::Line;
};

// The drawing state of a picture and the operations the engine draws with.
// Drawing outside the picture, or on a picture without pixels, changes nothing.
class TCanvas {
public:
    TPen Pen;
    TBrush Brush;
    TFont Font;

    TCanvas() = default;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;
    virtual ~TCanvas() = default;

    // Makes a font from the description and uses it for text from now on. The
    // font made for the previous selection is released.
    void SelectFont(const LOGFONT& description)
    {
        Font.Handle = description;
        FontSelected();
    }

    // A closed polygon through the points, the last joined to the first: the
    // outline in the pen colour and, with a solid brush, the inside filled with
    // the brush colour by the even-odd rule.
    virtual void Polygon(std::span<const TPoint> points) = 0;

    // Draws the text's code points with its cell's top-left corner at (x, y),
    // turned about that corner by the font's escapement, in the font colour.
    // U+FFFD, which stands for bytes that did not convert, draws the face's
    // missing-glyph shape. With a clear brush only the glyphs' own pixels
    // change.
    virtual void TextOut(int x, int y, std::u32string_view text) = 0;

protected:
    virtual void FontSelected() {}
};

// What the run on a canvas needs of a picture: its size and a canvas.
class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;
    virtual ~TPicture() = default;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Setting the value the picture already has does nothing. A failure
    // leaves the picture as it was.
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;
    virtual TCanvas& Canvas() = 0;
};

} // namespace morvaleth
