#include "composer/render/GlyphPainter.h"

#include "composer/faces/GlyphSetting.h"

#include FT_OUTLINE_H

#include <algorithm>

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

// Rasterizes each glyph as it is set.
class OutlinePainter final : public GlyphSink {
public:
    OutlinePainter(FT_Library library, const PixelSurface& surface, TColor color)
        : library_(library), surface_(surface), color_(color)
    {
    }

    void Glyph(const PlacedGlyph& glyph) override
    {
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
