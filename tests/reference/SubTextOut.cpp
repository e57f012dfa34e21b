#include "reference/SubTextOut.h"

#include "composer/plan/Stamp.h"
#include "composer/text/SourceReader.h"

namespace morvaleth {

void SubTextOut(int x, int y, std::u32string_view text, int size, TCanvas& picture, const StampStyle& style,
                RandomSource& random, StampFace face)
{
    const StampDraws draws = DrawStamp(random, size, style.realMode);

    LOGFONT font;
    font.lfHeight = draws.cellHeight;
    font.lfWidth = 0;
    font.lfEscapement = draws.tilt;
    font.lfOrientation = 0;
    font.lfWeight = face.bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    SetFaceName(font, style.faceName);

    if (style.realMode) {
        picture.Brush.Style = TBrushStyle::bsSolid;
        const ScrapColors colors = ScrapColorsFor(draws.scheme);
        picture.Pen.Color = colors.outline;
        picture.Brush.Color = colors.fill;
        picture.Font.Color = colors.character;
        picture.Polygon(ScrapCorners(x, y, draws.cellHeight, draws.dx, draws.dy));
    } else {
        picture.Font.Color = clBlack;
    }

    picture.Font.Face = face.face;
    picture.Font.Setting = style.setting;
    picture.SelectFont(font);
    picture.Brush.Style = TBrushStyle::bsClear;
    if (!IsControlUnit(text))
        picture.TextOut(x, y, text);
    // The face belongs to the run's set, which the picture outlives.
    picture.Font.Face = nullptr;
}

} // namespace morvaleth
