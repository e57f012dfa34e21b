#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace morvaleth {

// A sheet of paper standing upright, in millimetres. B4 and B5 are the
// Japanese (JIS) sizes; letter and legal are 8.5 × 11 and 8.5 × 14 inches.
struct PaperSize {
    std::string_view name;
    double widthMm = 0;
    double heightMm = 0;
};

// Every paper --paper names, in the order the help lists them.
std::span<const PaperSize> PaperSizes();
// "A4, A5, ..., legal", for help and messages.
std::string PaperNames();

// The paper a name stands for, in any case. Fails with "用紙 'name' はありません
// (A4, ...)", a usage error, for any other name.
PaperSize PaperNamed(std::string_view name);

// The resolutions a picture may be given, in dots per inch: below the
// smallest a character of a few points has no pixel left, above the largest
// a sheet of paper has more pixels than any printer puts on it.
inline constexpr int SmallestDotsPerInch = 10;
inline constexpr int LargestDotsPerInch = 9600;
// What a paper is composed at when no resolution is given.
inline constexpr int PaperDotsPerInch = 300;
// What a vector picture without a resolution takes a pixel to be: the
// screen's 96 pixels per inch, as SVG and CSS take a pixel.
inline constexpr int ScreenDotsPerInch = 96;

// The resolution a --dpi text gives. Fails with "解像度 'text' は使えません (10
// から 9600 dpi まで)", a usage error, for anything but a whole number in range.
int DotsPerInchFrom(std::string_view text);

struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize&) const = default;
};

// The paper's pixels at the resolution, each side rounded to the nearest
// pixel; lying on its side when `landscape`.
PixelSize PaperPixels(const PaperSize& paper, int dotsPerInch, bool landscape);

// A font size of `points` on paper in pixels at the resolution, rounded to
// the nearest pixel and at least 1: 20 points are 83 pixels at 300 dpi.
std::int32_t PixelsOfPoints(std::int32_t points, int dotsPerInch);

// `pixels` at the resolution in points (1/72 inch), as a page's size is given.
double PointsOfPixels(double pixels, int dotsPerInch);

// The resolution in pixels per metre, as PNG and BMP record it: 11811 for
// 300 dpi.
std::uint32_t PixelsPerMetre(int dotsPerInch);

} // namespace morvaleth
