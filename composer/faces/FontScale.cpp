#include "composer/faces/FontScale.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace morvaleth {
namespace {

// FreeType's span coordinates are 16-bit; a font must stay well inside them.
constexpr double LargestEmPixels = 12000;

} // namespace

TurnMatrix TurnBy(double radians)
{
    const double cosine = std::cos(radians);
    const double sine = std::sin(radians);
    return {std::lround(cosine * 0x10000), std::lround(-sine * 0x10000), std::lround(sine * 0x10000),
            std::lround(cosine * 0x10000)};
}

double FontScale::Reach(const FaceMeasures& face, std::size_t characters) const
{
    const double pixelsPerUnit = emSize / 64.0 / face.unitsPerEm;
    return ascent + 2 + pixelsPerUnit * (face.reach + double(characters) * face.maxAdvance);
}

void FontScale::TextRows(const FaceMeasures& face, int y, std::size_t characters, std::int64_t& top,
                         std::int64_t& bottom) const
{
    // A glyph's point (px, py) lands at screen row originY - (px sin + py cos)
    // pixels, and each advance moves the origin up by advance sin: the
    // extremes lie at the box's corners, with no advance or with all of them.
    const double pixelsPerUnit = emSize / 64.0 / face.unitsPerEm;
    const double firstOrigin = y + ascent * cosine;
    const double allAdvances = double(characters - 1) * face.maxAdvance * pixelsPerUnit * sine;
    double highest = firstOrigin;
    double lowest = firstOrigin;
    for (const double px : {face.boxLeft, face.boxRight})
        for (const double py : {face.boxBottom, face.boxTop})
            for (const double advanced : {0.0, allAdvances}) {
                const double row = firstOrigin - advanced - (px * sine + py * cosine) * pixelsPerUnit;
                highest = std::min(highest, row);
                lowest = std::max(lowest, row);
            }
    // The origin is floored, offsets and advances are rounded to 1/64 pixel,
    // and anti-aliasing touches the pixel a point falls in.
    const double margin = 3 + double(characters);
    top = std::int64_t(std::floor(highest - margin));
    bottom = std::int64_t(std::ceil(lowest + margin)) + 1;
}

FontScale ScaleForEm(const FaceMeasures& face, double emPixels, int tilt)
{
    FontScale scale;
    scale.emSize = std::max(std::lround(std::min(emPixels, LargestEmPixels) * 64), 1L);
    scale.ascent = face.ascent * (scale.emSize / 64.0) / face.unitsPerEm;
    const double radians = tilt / 10.0 * std::numbers::pi / 180.0;
    scale.cosine = std::cos(radians);
    scale.sine = std::sin(radians);
    scale.turn = TurnBy(radians);
    return scale;
}

FontScale ScaleForCell(const FaceMeasures& face, int cellHeight, int tilt)
{
    return ScaleForEm(face, cellHeight * double(face.unitsPerEm) / (face.ascent + face.descent), tilt);
}

} // namespace morvaleth
