#include "composer/Bitmap.h"

#include "composer/BmpWriter.h"
#include "composer/Error.h"
#include "composer/FileSave.h"
#include "composer/FontEngine.h"
#include "composer/PictureFile.h"
#include "composer/Raster.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

namespace morvaleth {

class TBitmap::RasterCanvas final : public TCanvas {
public:
    explicit RasterCanvas(TBitmap& owner) : owner_(owner) {}

    void Polygon(std::span<const TPoint> points) override
    {
        const PixelSurface surface = owner_.Surface();
        if (points.empty() || surface.bits == nullptr)
            return;
        if (Brush.Style == TBrushStyle::bsSolid) {
            constexpr std::size_t InlinePoints = 16;
            PointF inlineBuffer[InlinePoints];
            std::vector<PointF> heapBuffer;
            PointF* corners = inlineBuffer;
            if (points.size() > InlinePoints) {
                heapBuffer.resize(points.size());
                corners = heapBuffer.data();
            }
            for (std::size_t i = 0; i < points.size(); ++i)
                corners[i] = {double(points[i].x), double(points[i].y)};
            FillPolygon(surface, std::span(corners, points.size()), Brush.Color);
        }
        for (std::size_t i = 0; i < points.size(); ++i)
            DrawLine(surface, points[i], points[(i + 1) % points.size()], Pen.Color);
    }

    void TextOut(int x, int y, std::string_view text, TextEncoding encoding) override
    {
        const PixelSurface surface = owner_.Surface();
        if (surface.bits == nullptr)
            return;
        if (!fontMade_)
            FontSelected();
        std::optional<TColor> cellFill;
        if (Brush.Style == TBrushStyle::bsSolid)
            cellFill = Brush.Color;
        fonts_.DrawText(surface, x, y, text, encoding, Font.Color, cellFill, culling_);
    }

    void SetCulling(bool enabled) { culling_ = enabled; }

protected:
    void FontSelected() override
    {
        fonts_.SelectFont(Font.Handle);
        fontMade_ = true;
    }

private:
    TBitmap& owner_;
    FontEngine fonts_;
    bool fontMade_ = false;
    bool culling_ = true;
};

TBitmap::TBitmap() : canvas_(std::make_unique<RasterCanvas>(*this)) {}

TBitmap::~TBitmap() = default;

TCanvas& TBitmap::Canvas()
{
    return *canvas_;
}

void TBitmap::SetOffPictureCulling(bool enabled)
{
    canvas_->SetCulling(enabled);
}

PixelSurface TBitmap::Surface()
{
    return {pixels_.get(), width_, height_, stride_};
}

void TBitmap::SetWidth(int width)
{
    if (width != width_)
        Resize(width, height_);
}

void TBitmap::SetHeight(int height)
{
    if (height != height_)
        Resize(width_, height);
}

void TBitmap::Resize(int width, int height)
{
    // Refuse before allocating: the rows and the header of a BMP file must fit
    // in the 31 bits its size fields allow.
    const Error outOfResources("ｼｽﾃﾑ ﾘｿｰｽが足りません");
    if (width < 0 || height < 0)
        throw outOfResources;
    // Divided rather than multiplied: the rows of the widest and tallest
    // pictures take more bytes than 64 bits count.
    const std::int64_t stride = RowBytes(width);
    if (height > 0 && stride > (INT_MAX - BmpHeaderBytes) / height)
        throw outOfResources;

    std::unique_ptr<std::uint8_t[]> pixels;
    if (width > 0 && height > 0) {
        const std::size_t bytes = std::size_t(stride) * std::size_t(height);
        pixels.reset(new (std::nothrow) std::uint8_t[bytes]);
        if (!pixels)
            throw outOfResources;
        std::memset(pixels.get(), 0xFF, bytes);
        const std::size_t rowPixels = std::size_t(width) * 3;
        if (rowPixels != std::size_t(stride))
            for (int y = 0; y < height; ++y)
                std::memset(pixels.get() + std::size_t(y) * stride + rowPixels, 0, stride - rowPixels);
        if (pixels_) {
            const std::size_t keptBytes = std::size_t(std::min(width, width_)) * 3;
            for (int y = 0; y < std::min(height, height_); ++y)
                std::memcpy(pixels.get() + std::size_t(y) * stride, ScanLine(y), keptBytes);
        }
    }
    pixels_ = std::move(pixels);
    width_ = width;
    height_ = height;
    stride_ = std::size_t(stride);
}

TColor TBitmap::Pixel(int x, int y) const
{
    if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_)
        return NoColor;
    const std::uint8_t* pixel = ScanLine(y) + std::size_t(x) * 3;
    return MakeColor(pixel[2], pixel[1], pixel[0]);
}

void TBitmap::SaveToFile(const std::string& path) const
{
    const PictureFormat format = FormatForFileName(path);
    ReplaceFile(path, [this, format](const ByteSink& sink) { WritePicture(*this, format, sink); });
}

} // namespace morvaleth
