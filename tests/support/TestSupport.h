#pragma once

#include "composer/PixelPicture.h"
#include "reference/BitmapCanvas.h"
#include "reference/Canvas.h"
#include "composer/faces/FaceTable.h"
#include "composer/faces/OpenFace.h"

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace morvaleth::testing {

// A folder of its own for one test, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        std::string name = (std::filesystem::temp_directory_path() / "morvaleth-test-XXXXXX").string();
        path_ = ::mkdtemp(name.data());
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What a canvas was asked to draw, with the drawing state at that moment.
struct DrawCall {
    enum class Kind { Polygon, Text };
    Kind kind;
    std::vector<TPoint> points; // a polygon's corners
    TPoint at;                  // a text's position
    std::u32string text;
    TPen pen;
    TBrush brush;
    TFont font;
    // The family of the face a mixed run gave the text, kept here because the
    // run's face set is gone once the run ends.
    std::string face;
};

// A canvas that draws nothing and keeps a record of every call instead.
class RecordingCanvas final : public TCanvas {
public:
    std::vector<DrawCall> calls;
    int fontSelections = 0;

    void Polygon(std::span<const TPoint> points) override
    {
        calls.push_back({DrawCall::Kind::Polygon, {points.begin(), points.end()}, {}, {}, Pen, Brush, Font, {}});
    }
    void TextOut(int x, int y, std::u32string_view text) override
    {
        calls.push_back({DrawCall::Kind::Text, {}, {x, y}, std::u32string(text), Pen, Brush, Font,
                         Font.Face != nullptr ? Font.Face->family : std::string()});
    }

    std::vector<DrawCall> Texts() const
    {
        std::vector<DrawCall> texts;
        for (const DrawCall& call : calls)
            if (call.kind == DrawCall::Kind::Text)
                texts.push_back(call);
        return texts;
    }

protected:
    void FontSelected() override { ++fontSelections; }
};

class RecordingPicture final : public TPicture {
public:
    RecordingCanvas canvas;

    RecordingPicture(int width, int height) : width_(width), height_(height) {}
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetWidth(int width) override { width_ = width; }
    void SetHeight(int height) override { height_ = height; }
    TCanvas& Canvas() override { return canvas; }

private:
    int width_;
    int height_;
};

// A picture's pixels and a canvas drawing on them, for tests that draw one
// call at a time and then look at the pixels or the file.
class DrawnPicture {
public:
    DrawnPicture() : canvas_(bitmap_) {}
    DrawnPicture(const DrawnPicture&) = delete;
    DrawnPicture& operator=(const DrawnPicture&) = delete;

    TBitmapCanvas& Canvas() { return canvas_; }
    PixelPicture& Bitmap() { return bitmap_; }
    operator const PixelPicture&() const { return bitmap_; }

    int Width() const { return bitmap_.Width(); }
    int Height() const { return bitmap_.Height(); }
    void SetWidth(int width) { bitmap_.SetWidth(width); }
    void SetHeight(int height) { bitmap_.SetHeight(height); }
    bool HasPixels() const { return bitmap_.HasPixels(); }
    std::size_t Stride() const { return bitmap_.Stride(); }
    const std::uint8_t* ScanLine(int y) const { return bitmap_.ScanLine(y); }
    TColor Pixel(int x, int y) const { return bitmap_.Pixel(x, y); }

private:
    PixelPicture bitmap_;
    TBitmapCanvas canvas_;
};

// A white picture of that size.
inline std::unique_ptr<DrawnPicture> WhitePicture(int width, int height)
{
    auto picture = std::make_unique<DrawnPicture>();
    picture->SetHeight(height);
    picture->SetWidth(width);
    return picture;
}

// The pixels that are not white, as a box; empty when there are none.
struct InkBox {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool Empty() const { return right < left; }
};

inline InkBox InkOf(const PixelPicture& picture, int fromX = 0, int toX = -1)
{
    if (toX < 0)
        toX = picture.Width();
    InkBox box{picture.Width(), picture.Height(), -1, -1};
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = fromX; x < toX; ++x)
            if (picture.Pixel(x, y) != clWhite) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
    if (box.right < 0)
        return InkBox{};
    return box;
}

} // namespace morvaleth::testing
