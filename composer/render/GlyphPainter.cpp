#include "composer/render/GlyphPainter.h"

#include "composer/faces/GlyphSetting.h"

#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>

namespace morvaleth {
namespace {

struct SpanTarget {
    const PixelSurface* surface;
    int left;
    int baselineRow;
    TColor color;
};

void BlendSpans(int y, int count, const FT_Span* spans, void* user)
{
    const auto* target = static_cast<const SpanTarget*>(user);
    // Rows count upwards from the baseline in FreeType, downwards on screen.
    const int row = target->baselineRow - 1 - y;
    for (int i = 0; i < count; ++i)
        BlendSpan(*target->surface, target->left + spans[i].x, row, spans[i].len,
                  spans[i].coverage, target->color);
}

// Blends an outline whose origin is the pixel (originX, originY).
void RenderOutline(FT_Library library, const PixelSurface& surface, FT_Outline& outline, int originX,
                   int originY, TColor color)
{
    SpanTarget target{&surface, int(originX), int(originY), color};
    FT_Raster_Params params{};
    params.source = &outline;
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = BlendSpans;
    params.user = &target;
    // The surface in the glyph's pixel coordinates (x right, y up from the
    // origin), kept within what a span can address, and cut down to the
    // pixels the outline's control box touches: the rasterizer sweeps its
    // whole clip box band by band, and nothing outside that box has any
    // coverage.
    FT_BBox box;
    FT_Outline_Get_CBox(&outline, &box);
    params.clip_box.xMin = std::clamp<FT_Pos>(-FT_Pos(originX), -32000, 32000);
    params.clip_box.xMax = std::clamp<FT_Pos>(surface.width - FT_Pos(originX), -32000, 32000);
    params.clip_box.yMin = std::clamp<FT_Pos>(FT_Pos(originY) - surface.height, -32000, 32000);
    params.clip_box.yMax = std::clamp<FT_Pos>(FT_Pos(originY) - surface.top, -32000, 32000);
    params.clip_box.xMin = std::max(params.clip_box.xMin, FT_Pos(box.xMin >> 6));
    params.clip_box.xMax = std::min(params.clip_box.xMax, FT_Pos((box.xMax + 63) >> 6));
    params.clip_box.yMin = std::max(params.clip_box.yMin, FT_Pos(box.yMin >> 6));
    params.clip_box.yMax = std::min(params.clip_box.yMax, FT_Pos((box.yMax + 63) >> 6));
    if (params.clip_box.xMin < params.clip_box.xMax && params.clip_box.yMin < params.clip_box.yMax)
        FT_Outline_Render(library, &outline, &params);
}

// One level of a glyph's picture sampled between its pixels' centres, as
// premultiplied grey and coverage; nothing outside it.
void SampleLevel(const GlyphImage::Level& level, double u, double v, double& grey, double& coverage)
{
    const double left = std::floor(u);
    const double upper = std::floor(v);
    const double across = u - left;
    const double down = v - upper;
    grey = 0;
    coverage = 0;
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
            const double column = left + dx;
            const double row = upper + dy;
            if (column < 0 || row < 0 || column >= level.width || row >= level.height)
                continue;
            const double weight = (dx != 0 ? across : 1 - across) * (dy != 0 ? down : 1 - down);
            const std::uint8_t* pixel =
                &level.pixels[(std::size_t(row) * std::size_t(level.width) + std::size_t(column)) * 2];
            grey += weight * pixel[0];
            coverage += weight * pixel[1];
        }
}

// Paints a glyph that is a picture: every pixel of the surface its turned,
// scaled picture covers takes the picture's grey over it, sampled from the
// level nearest above the stamp's own size.
void PaintImage(const PixelSurface& surface, const PlacedGlyph& glyph)
{
    const GlyphImage& image = *glyph.image;
    // Each level halves the one before: the one whose pixels come nearest to
    // the picture's without being smaller.
    std::size_t levelIndex = 0;
    double scale = glyph.imageScale;
    while (levelIndex + 1 < image.levels.size() && scale * 2 <= 1) {
        ++levelIndex;
        scale *= 2;
    }
    const GlyphImage::Level& level = image.levels[levelIndex];
    const double shrink = double(1u << levelIndex);
    const double left = image.left / shrink;
    const double top = image.top / shrink;

    // The glyph's origin on the surface (y downwards) and its turn (y upwards).
    const double originX = glyph.originX + glyph.offset.x / 64.0;
    const double originY = glyph.originY - glyph.offset.y / 64.0;
    const double xx = glyph.turn.xx / 65536.0, xy = glyph.turn.xy / 65536.0;
    const double yx = glyph.turn.yx / 65536.0, yy = glyph.turn.yy / 65536.0;
    const double determinant = xx * yy - xy * yx;
    if (determinant == 0 || scale <= 0)
        return;
    // A point of the level, u across and v down from its top-left corner,
    // lies at glyph coordinates ((left + u) scale, (top - v) scale).
    const auto toSurface = [&](double u, double v, double& x, double& y) {
        const double gx = (left + u) * scale;
        const double gy = (top - v) * scale;
        x = originX + xx * gx + xy * gy;
        y = originY - (yx * gx + yy * gy);
    };
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (const double u : {0.0, double(level.width)})
        for (const double v : {0.0, double(level.height)}) {
            double x = 0;
            double y = 0;
            toSurface(u, v, x, y);
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
    const int fromRow = int(std::max<double>(surface.top, std::floor(minY)));
    const int toRow = int(std::min<double>(surface.height, std::ceil(maxY)));
    const int fromColumn = int(std::max(0.0, std::floor(minX)));
    const int toColumn = int(std::min<double>(surface.width, std::ceil(maxX)));
    for (int row = fromRow; row < toRow; ++row) {
        std::uint8_t* pixel = surface.Row(row) + std::size_t(std::max(fromColumn, 0)) * 3;
        for (int column = fromColumn; column < toColumn; ++column, pixel += 3) {
            // The pixel's centre back in glyph coordinates, then in the level.
            const double dx = column + 0.5 - originX;
            const double dy = originY - (row + 0.5);
            const double gx = (yy * dx - xy * dy) / determinant;
            const double gy = (xx * dy - yx * dx) / determinant;
            double grey = 0;
            double coverage = 0;
            SampleLevel(level, gx / scale - left - 0.5, top - gy / scale - 0.5, grey, coverage);
            if (coverage <= 0)
                continue;
            const double keep = 1 - coverage / 255;
            for (int channel = 0; channel < 3; ++channel)
                pixel[channel] = std::uint8_t(std::clamp(std::lround(pixel[channel] * keep + grey), 0L, 255L));
        }
    }
}

// Rasterizes each glyph as it is set.
class OutlinePainter final : public GlyphSink {
public:
    OutlinePainter(FT_Library library, const PixelSurface& surface, TColor color)
        : library_(library), surface_(surface), color_(color)
    {
    }

    void Glyph(const PlacedGlyph& glyph) override
    {
        if (glyph.image != nullptr)
            PaintImage(surface_, glyph);
        else
            RenderOutline(library_, surface_, *glyph.outline, glyph.originX, glyph.originY, color_);
    }

private:
    FT_Library library_;
    const PixelSurface& surface_;
    TColor color_;
};

} // namespace

bool BeyondReach(const PixelSurface& surface, int x, int y, double reach)
{
    return x + reach < 0 || y + reach < surface.top || x - reach >= surface.width || y - reach >= surface.height;
}

void PaintGlyphs(const PixelSurface& surface, FT_Library library, OpenFace& face, const FontScale& scale, int x,
                 int y, std::u32string_view codePoints, TColor color, bool shaped, UnitOrientation orientation,
                 bool bold, bool cullOffSurface)
{
    if (surface.bits == nullptr || codePoints.empty())
        return;
    OutlinePainter painter(library, surface, color);
    if (shaped) {
        // Thickening moves each outline point by up to half the strength.
        const double strength = bold ? BoldStrength(scale.emSize) / 64.0 : 0;
        if (BeyondReach(surface, x, y, scale.Reach(face.Measures(), codePoints.size()) + scale.ascent + strength))
            return;
        SetShaped(face, scale, x, y, codePoints, orientation, bold, painter);
        return;
    }
    // No glyph can reach farther from (x, y) than the baseline's drop, an
    // advance per character and the face's own extent.
    if (cullOffSurface && BeyondReach(surface, x, y, scale.Reach(face.Measures(), codePoints.size())))
        return;
    SetCodePoints(face, scale, x, y, codePoints, painter);
}

} // namespace morvaleth
