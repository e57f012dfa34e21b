#include "composer/PhysicalSize.h"

#include "composer/Messages.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace morvaleth {
namespace {

constexpr double MillimetresPerInch = 25.4;

constexpr PaperSize Papers[] = {
    {"A4", 210, 297},
    {"A5", 148, 210},
    {"A3", 297, 420},
    {"B4", 257, 364},
    {"B5", 182, 257},
    {"postcard", 100, 148},
    {"letter", 8.5 * MillimetresPerInch, 11 * MillimetresPerInch},
    {"legal", 8.5 * MillimetresPerInch, 14 * MillimetresPerInch},
};

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

int RoundedPixels(double millimetres, int dotsPerInch)
{
    return int(std::lround(millimetres / MillimetresPerInch * dotsPerInch));
}

} // namespace

std::span<const PaperSize> PaperSizes()
{
    return Papers;
}

std::string PaperNames()
{
    std::string names;
    for (const PaperSize& paper : Papers)
        names += (names.empty() ? "" : ", ") + std::string(paper.name);
    return names;
}

PaperSize PaperNamed(std::string_view name)
{
    for (const PaperSize& paper : Papers)
        if (SameIgnoringCase(paper.name, name))
            return paper;
    throw Failure(Message::UnknownPaper, {name, PaperNames()});
}

int DotsPerInchFrom(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < SmallestDotsPerInch ||
        value > LargestDotsPerInch)
        throw Failure(Message::UnusableResolution,
                      {text, std::to_string(SmallestDotsPerInch), std::to_string(LargestDotsPerInch)});
    return value;
}

PixelSize PaperPixels(const PaperSize& paper, int dotsPerInch, bool landscape)
{
    const PixelSize upright{RoundedPixels(paper.widthMm, dotsPerInch), RoundedPixels(paper.heightMm, dotsPerInch)};
    return landscape ? PixelSize{upright.height, upright.width} : upright;
}

std::int32_t PixelsOfPoints(std::int32_t points, int dotsPerInch)
{
    return std::int32_t(std::max<long long>(1, std::llround(double(points) * dotsPerInch / 72)));
}

double PointsOfPixels(double pixels, int dotsPerInch)
{
    return pixels * 72 / dotsPerInch;
}

std::uint32_t PixelsPerMetre(int dotsPerInch)
{
    return std::uint32_t(std::lround(dotsPerInch * 1000 / MillimetresPerInch));
}

} // namespace morvaleth
