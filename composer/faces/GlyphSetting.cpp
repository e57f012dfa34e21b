#include "composer/faces/GlyphSetting.h"

#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <numbers>

namespace morvaleth {
namespace {

FT_Matrix MatrixOf(const TurnMatrix& turn)
{
    return {turn.xx, turn.xy, turn.yx, turn.yy};
}

// The pen's pixel, floored, and its place within it in 26.6, y upwards. Far
// away pens are refused: the rasterizer's own coordinates are 16-bit.
bool PlaceAt(double penX, double penY, PlacedGlyph& placed)
{
    const double originX = std::floor(penX);
    const double originY = std::floor(penY);
    if (std::abs(originX) > 1e9 || std::abs(originY) > 1e9)
        return false;
    placed.originX = int(originX);
    placed.originY = int(originY);
    placed.offset = {FT_Pos(std::lround((penX - originX) * 64)), FT_Pos(-std::lround((penY - originY) * 64))};
    return true;
}

int MoveTo(const FT_Vector* to, void* user)
{
    auto& path = *static_cast<GlyphPath*>(user);
    path.verbs.push_back(GlyphPath::Verb::Move);
    path.points.push_back({double(to->x), double(to->y)});
    return 0;
}

int LineTo(const FT_Vector* to, void* user)
{
    auto& path = *static_cast<GlyphPath*>(user);
    path.verbs.push_back(GlyphPath::Verb::Line);
    path.points.push_back({double(to->x), double(to->y)});
    return 0;
}

int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user)
{
    auto& path = *static_cast<GlyphPath*>(user);
    path.verbs.push_back(GlyphPath::Verb::Quadratic);
    path.points.push_back({double(control->x), double(control->y)});
    path.points.push_back({double(to->x), double(to->y)});
    return 0;
}

int CubicTo(const FT_Vector* first, const FT_Vector* second, const FT_Vector* to, void* user)
{
    auto& path = *static_cast<GlyphPath*>(user);
    path.verbs.push_back(GlyphPath::Verb::Cubic);
    path.points.push_back({double(first->x), double(first->y)});
    path.points.push_back({double(second->x), double(second->y)});
    path.points.push_back({double(to->x), double(to->y)});
    return 0;
}

} // namespace

GlyphPath UnscaledOutline(OpenFace& face, std::uint32_t glyph, bool bold)
{
    GlyphPath path;
    FT_Face loaded = face.Face();
    if (FT_Load_Glyph(loaded, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
        loaded->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return path;
    FT_Outline& outline = loaded->glyph->outline;
    // The same share of the em as BoldStrength takes at any size.
    if (bold)
        FT_Outline_Embolden(&outline, std::max<FT_Pos>(loaded->units_per_EM / 24, 1));
    static constexpr FT_Outline_Funcs Steps{&MoveTo, &LineTo, &ConicTo, &CubicTo, 0, 0};
    if (FT_Outline_Decompose(&outline, &Steps, &path) != 0)
        return GlyphPath{};
    return path;
}

void SetCodePoints(OpenFace& face, const FontScale& scale, int x, int y, std::u32string_view codePoints,
                   GlyphSink& sink)
{
    if (codePoints.empty() || !face.SizeTo(scale.emSize))
        return;
    PlacedGlyph placed;
    placed.turn = MatrixOf(scale.turn);
    // The cell's top-left corner is (x, y); the baseline starts one ascent
    // below it, both turned about (x, y). Screen y grows downwards.
    double penX = x + scale.ascent * scale.sine;
    double penY = y + scale.ascent * scale.cosine;
    for (const char32_t c : codePoints) {
        if (!PlaceAt(penX, penY, placed))
            return;
        placed.glyph = face.GlyphOf(c);
        placed.outline = nullptr;
        if (face.DrawsImages()) {
            placed.image = face.Image(placed.glyph);
            if (placed.image == nullptr)
                continue;
            placed.imageScale = scale.emSize / 64.0 / placed.image->pixelsPerEm;
            sink.Glyph(placed);
            const double advance = placed.image->advance * placed.imageScale;
            penX += advance * scale.cosine;
            penY -= advance * scale.sine;
            continue;
        }
        FT_Outline cached{};
        FT_Vector advance{};
        if (!face.LoadGlyph(placed.glyph, placed.turn, placed.offset, cached, placed.outline, advance))
            continue;
        if (placed.outline != nullptr)
            sink.Glyph(placed);
        penX += advance.x / 64.0;
        penY -= advance.y / 64.0;
    }
}

void SetShaped(OpenFace& face, const FontScale& scale, int x, int y, std::u32string_view codePoints,
               UnitOrientation orientation, bool bold, GlyphSink& sink)
{
    if (codePoints.empty())
        return;
    const ShapedUnit& unit = face.Shaped(codePoints, orientation);
    // A cluster shrunk into its cell has its glyphs at a smaller em; their
    // places are in the cell's own units all the same.
    const long glyphEm = unit.scale == 1 ? scale.emSize : std::max(std::lround(scale.emSize * unit.scale), 1L);
    if (!face.SizeTo(glyphEm))
        return;
    const long strength = bold ? BoldStrength(glyphEm) : 0;
    const double pixelsPerUnit = scale.emSize / 64.0 / face.Measures().unitsPerEm;
    PlacedGlyph placed;
    placed.turn = MatrixOf(unit.sideways ? TurnBy(std::atan2(scale.sine, scale.cosine) - std::numbers::pi / 2)
                                         : scale.turn);
    for (const ShapedGlyph& glyph : unit.glyphs) {
        const double across = glyph.x * pixelsPerUnit;
        const double down = glyph.y * pixelsPerUnit;
        if (!PlaceAt(x + across * scale.cosine + down * scale.sine, y - across * scale.sine + down * scale.cosine,
                     placed))
            break;
        placed.glyph = glyph.id;
        placed.outline = nullptr;
        if (face.DrawsImages()) {
            placed.image = face.Image(glyph.id);
            placed.imageScale = placed.image == nullptr ? 0 : glyphEm / 64.0 / placed.image->pixelsPerEm;
            if (placed.image != nullptr)
                sink.Glyph(placed);
            continue;
        }
        FT_Outline cached{};
        FT_Vector advance{};
        if (!face.LoadGlyph(glyph.id, placed.turn, placed.offset, cached, placed.outline, advance) ||
            placed.outline == nullptr)
            continue;
        if (strength > 0)
            FT_Outline_Embolden(placed.outline, strength);
        sink.Glyph(placed);
    }
}

double ShapedReach(const FaceMeasures& measures, const FontScale& scale, std::size_t characters)
{
    return scale.Reach(measures, characters) + scale.ascent + BoldStrength(scale.emSize) / 64.0 + 1;
}

} // namespace morvaleth
