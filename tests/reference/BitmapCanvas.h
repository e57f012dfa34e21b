#pragma once

#include "composer/PixelPicture.h"
#include "composer/faces/FaceTable.h"
#include "composer/faces/OpenFace.h"
#include "reference/Canvas.h"

#include <optional>

namespace morvaleth {

// The drawing state of the first version's drawing interface over a
// picture's pixels: pen, brush and a font selected by its description,
// drawing one call at a time. The font made from a description is the
// face its name stands for with that face's fallback chain; a unit the face
// lacks is drawn whole by the first face of the chain that has it, at the
// same cell height.
class TBitmapCanvas final : public TCanvas {
public:
    explicit TBitmapCanvas(PixelPicture& picture, GlyphLoading loading = GlyphLoading::Cached)
        : picture_(picture), handles_(loading)
    {
    }

    void Polygon(std::span<const TPoint> points) override;
    void TextOut(int x, int y, std::u32string_view text) override;

    // Lets tests compare pictures drawn with and without skipping the
    // rasterizing of text that lies wholly outside the picture.
    void SetOffPictureCulling(bool enabled) { culling_ = enabled; }

protected:
    // Fails with "ﾌｫﾝﾄ '%s' を開けません" when no installed face can stand
    // for the description's name (or the face given with it does not open).
    void FontSelected() override;

private:
    PixelPicture& picture_;
    FaceTable faces_;
    FaceHandles handles_;
    std::optional<FaceChainId> chain_;
    Flow setting_ = Flow::Line;
    bool fontMade_ = false;
    bool culling_ = true;
};

// The picture of the first version's drawing interface: its pixels and the
// canvas that draws on them.
class TBitmap final : public TPicture {
public:
    explicit TBitmap(GlyphLoading loading = GlyphLoading::Cached) : canvas_(pixels_, loading) {}

    int Width() const override { return pixels_.Width(); }
    int Height() const override { return pixels_.Height(); }
    void SetWidth(int width) override { pixels_.SetWidth(width); }
    void SetHeight(int height) override { pixels_.SetHeight(height); }
    TBitmapCanvas& Canvas() override { return canvas_; }

    const PixelPicture& Pixels() const { return pixels_; }

private:
    PixelPicture pixels_;
    TBitmapCanvas canvas_;
};

} // namespace morvaleth
