#include "composer/SubTextOut.h"

#include "composer/SourceReader.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace morvaleth {
namespace {

// Corners far beyond any picture saturate rather than overflow; they stay
// off the picture either way.
int Offset(int base, std::int64_t by)
{
    return int(std::clamp<std::int64_t>(base + by, INT_MIN, INT_MAX));
}

} // namespace

void SubTextOut(int x, int y, std::u32string_view text, int size, TCanvas& picture,
                const StampStyle& style, RandomSource& random, StampFace face)
{
    const int r = random.Draw(10);
    const int h = StampCellHeight(size, random.Draw(size / 2));
    const int tilt = random.Draw(300) - 150;

    LOGFONT font;
    font.lfHeight = h;
    font.lfWidth = 0;
    font.lfEscapement = tilt;
    font.lfOrientation = 0;
    font.lfWeight = face.bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    SetFaceName(font, style.faceName);

    if (style.realMode) {
        picture.Brush.Style = TBrushStyle::bsSolid;
        const int dx = random.Draw(7) - 3;
        const int dy = random.Draw(7) - 3;
        const ScrapColors colors = ScrapColorsFor(r);
        picture.Pen.Color = colors.outline;
        picture.Brush.Color = colors.fill;
        picture.Font.Color = colors.character;
        // Top-left corner exactly on (x, y); the left edge leans by dx, the
        // top and bottom edges drop by dy, the right edge stands upright.
        const TPoint scrap[] = {
            {x, y},
            {Offset(x, dx), Offset(y, h)},
            {Offset(x, std::int64_t(h) + dx), Offset(y, std::int64_t(h) + dy)},
            {Offset(x, std::int64_t(h) + dx), Offset(y, dy)},
        };
        picture.Polygon(scrap);
    } else {
        picture.Font.Color = clBlack;
    }

    picture.Font.Face = face.face;
    picture.Font.Vertical = style.vertical;
    picture.SelectFont(font);
    picture.Brush.Style = TBrushStyle::bsClear;
    if (!IsControlUnit(text))
        picture.TextOut(x, y, text);
    // The face belongs to the run's set, which the picture outlives.
    picture.Font.Face = nullptr;
}

} // namespace morvaleth
