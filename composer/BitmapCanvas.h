#pragma once

#include "composer/Bitmap.h"
#include "composer/Canvas.h"
#include "composer/FontEngine.h"

namespace morvaleth {

// The drawing state of the old drawing interface over a picture's pixels:
// pen, brush and a font selected by its description, drawing one call at a
// time. The canvas holds its own font engine; the picture stays plain pixels.
class TBitmapCanvas final : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap& picture) : picture_(picture) {}

    void Polygon(std::span<const TPoint> points) override;
    void TextOut(int x, int y, std::u32string_view text) override;

    // Lets tests compare pictures drawn with and without skipping the
    // rasterizing of text that lies wholly outside the picture.
    void SetOffPictureCulling(bool enabled) { culling_ = enabled; }

protected:
    void FontSelected() override;

private:
    TBitmap& picture_;
    FontEngine fonts_;
    bool fontMade_ = false;
    bool culling_ = true;
    bool vertical_ = false;
};

// A picture in memory with a canvas drawing on it: what the run on a canvas
// draws on when its pixels are wanted.
class TCanvasPicture final : public TPicture {
public:
    TCanvasPicture() : canvas_(bitmap_) {}

    int Width() const override { return bitmap_.Width(); }
    int Height() const override { return bitmap_.Height(); }
    void SetWidth(int width) override { bitmap_.SetWidth(width); }
    void SetHeight(int height) override { bitmap_.SetHeight(height); }
    TBitmapCanvas& Canvas() override { return canvas_; }

    const TBitmap& Bitmap() const { return bitmap_; }

private:
    TBitmap bitmap_;
    TBitmapCanvas canvas_;
};

} // namespace morvaleth
