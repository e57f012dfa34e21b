#include "reference/BitmapCanvas.h"

#include "composer/render/GlyphPainter.h"
#include "composer/render/Raster.h"

#include FT_ADVANCES_H

#include <optional>

namespace morvaleth {
namespace {

// The cell height of a description with lfHeight 0, which asks for a default.
constexpr int DefaultCellPixels = 16;

// lfHeight > 0 is the cell height in pixels, < 0 the em size, 0 a default.
FontScale ScaleOfDescription(const FaceMeasures& face, const LOGFONT& description)
{
    if (description.lfHeight < 0)
        return ScaleForEm(face, -double(description.lfHeight), description.lfEscapement);
    return ScaleForCell(face, description.lfHeight > 0 ? description.lfHeight : DefaultCellPixels,
                        description.lfEscapement);
}

// The text's cell turned about (x, y): as wide as its advances, as high as
// the face's ascent and descent.
void FillCell(const PixelSurface& surface, OpenFace& face, const FontScale& scale, int x, int y,
              std::u32string_view text, TColor color)
{
    FT_Face ftFace = face.Face();
    const double pixelsPerUnit = scale.emSize / 64.0 / ftFace->units_per_EM;
    const double cellHeight = (face.Measures().ascent + face.Measures().descent) * pixelsPerUnit;
    double width = 0;
    for (const char32_t c : text) {
        FT_Fixed advance = 0;
        if (FT_Get_Advance(ftFace, face.GlyphOf(c), FT_LOAD_NO_HINTING, &advance) == 0)
            width += advance / 65536.0;
    }
    const PointF corners[] = {
        {double(x), double(y)},
        {x + width * scale.cosine, y - width * scale.sine},
        {x + width * scale.cosine + cellHeight * scale.sine, y - width * scale.sine + cellHeight * scale.cosine},
        {x + cellHeight * scale.sine, y + cellHeight * scale.cosine},
    };
    FillPolygon(surface, corners, color);
}

} // namespace

void TBitmapCanvas::Polygon(std::span<const TPoint> points)
{
    PaintPolygon(picture_.Surface(), points,
                 Brush.Style == TBrushStyle::bsSolid ? std::optional<TColor>(Brush.Color) : std::nullopt, Pen.Color);
}

void TBitmapCanvas::FontSelected()
{
    chain_.reset();
    setting_ = Font.Setting;
    fontMade_ = true;
    chain_ = Font.Face != nullptr ? faces_.ChainFor(*Font.Face) : faces_.ChainFor(FaceNameOf(Font.Handle));
}

void TBitmapCanvas::TextOut(int x, int y, std::u32string_view text)
{
    const PixelSurface surface = picture_.Surface();
    if (surface.bits == nullptr || text.empty())
        return;
    if (!fontMade_)
        FontSelected();
    if (!chain_)
        return;
    // The chosen face draws what it has; a unit it lacks is drawn whole by the
    // first face of its chain that has it.
    OpenFace* drawing = &handles_.Open(faces_, faces_.FaceFor(*chain_, text));
    const LOGFONT& description = Font.Handle;
    const FontScale scale = ScaleOfDescription(drawing->Measures(), description);
    const bool bold = description.lfWeight > FW_NORMAL;
    if (Brush.Style == TBrushStyle::bsSolid) {
        // Text on a filled cell is always set glyph by glyph.
        if (!drawing->SizeTo(scale.emSize))
            return;
        FillCell(surface, *drawing, scale, x, y, text, Brush.Color);
        PaintGlyphs(surface, handles_.Library(), *drawing, scale, x, y, text, Font.Color, false,
                    UnitOrientation::Horizontal, false, false);
        return;
    }
    PaintGlyphs(surface, handles_.Library(), *drawing, scale, x, y, text, Font.Color, NeedsShaping(setting_, bold, text.size()),
                OrientationIn(setting_, text), bold, culling_);
}

} // namespace morvaleth
