#include "composer/plan/Stamp.h"

#include <algorithm>

namespace morvaleth {

// The face source's own stream of the run's seed.
constexpr std::uint32_t FaceStream = 0x6D2B79F5u;
// The look source's.
constexpr std::uint32_t LookStream = 0x9E3779B9u;

namespace {

constexpr TColor Rgb(std::uint32_t rgb)
{
    return MakeColor(std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb));
}

// Outline, paper, ink.
constexpr ScrapColors MagazinePairs[] = {
    {Rgb(0x9B1C1C), Rgb(0xD62828), Rgb(0xFFFFFF)}, // red with white
    {Rgb(0xC9A400), Rgb(0xFFD60A), Rgb(0x111111)}, // yellow with black
    {Rgb(0x12345C), Rgb(0x1D4E89), Rgb(0xFFFFFF)}, // blue with white
    {Rgb(0xA00C5C), Rgb(0xE0177F), Rgb(0xFFF3B0)}, // magenta with cream
    {Rgb(0x1D6E64), Rgb(0x2A9D8F), Rgb(0x000000)}, // teal with black
    {Rgb(0xB0B0B0), Rgb(0xFFFFFF), Rgb(0xD62828)}, // white with red
    {Rgb(0x404040), Rgb(0x111111), Rgb(0xFFD60A)}, // black with yellow
    {Rgb(0xB35C00), Rgb(0xF77F00), Rgb(0x111111)}, // orange with black
};
constexpr ScrapColors NewsprintPairs[] = {
    {Rgb(0xBDB8A8), Rgb(0xF2EFE6), Rgb(0x1A1A1A)},
    {Rgb(0xB3AA93), Rgb(0xE8E0CC), Rgb(0x222222)},
    {Rgb(0xA39C86), Rgb(0xDAD4C0), Rgb(0x3A3A3A)},
    {Rgb(0x5A5A5A), Rgb(0x2B2B2B), Rgb(0xF2EFE6)},
    {Rgb(0x948C74), Rgb(0xC9C1A9), Rgb(0x111111)},
};
constexpr ScrapColors PastelPairs[] = {
    {Rgb(0xC998AC), Rgb(0xF8C8DC), Rgb(0x3D2C50)},
    {Rgb(0x98B6C8), Rgb(0xC8E6F8), Rgb(0x1F3A5F)},
    {Rgb(0xA8C3AC), Rgb(0xD8F3DC), Rgb(0x1B4332)},
    {Rgb(0xCFC191), Rgb(0xFFF1C1), Rgb(0x5C3D00)},
    {Rgb(0xB4A7C5), Rgb(0xE4D7F5), Rgb(0x2E1A47)},
};

int Lightness(TColor c)
{
    // Rec. 601 weights, in thousandths.
    return 299 * RedOf(c) + 587 * GreenOf(c) + 114 * BlueOf(c);
}

} // namespace

std::span<const ScrapColors> PaletteColors(PaletteId palette)
{
    switch (palette) {
    case PaletteId::Magazine:
        return MagazinePairs;
    case PaletteId::Newsprint:
        return NewsprintPairs;
    case PaletteId::Pastel:
        return PastelPairs;
    case PaletteId::Grey:
        break;
    }
    return {};
}

ScrapColors PairColors(PaletteId palette, int pair, bool scrap)
{
    const std::span<const ScrapColors> pairs = PaletteColors(palette);
    const ScrapColors colors = pairs[std::size_t(pair) % pairs.size()];
    if (scrap)
        return colors;
    const TColor ink = Lightness(colors.fill) < Lightness(colors.character) ? colors.fill : colors.character;
    return {ink, ink, ink};
}

std::array<TPoint, TornPoints> TornCorners(const std::array<TPoint, 4>& corners, int cellHeight, std::uint32_t tear)
{
    RandomSource random(tear);
    const int depth = TearDepth(cellHeight);
    std::array<TPoint, TornPoints> points{};
    std::size_t at = 0;
    for (std::size_t side = 0; side < corners.size(); ++side) {
        const TPoint from = corners[side];
        const TPoint to = corners[(side + 1) % corners.size()];
        points[at++] = from;
        const std::int64_t across = std::int64_t(to.x) - from.x;
        const std::int64_t down = std::int64_t(to.y) - from.y;
        const bool upright = (down < 0 ? -down : down) > (across < 0 ? -across : across);
        for (int k = 1; k <= 3; ++k) {
            const int stray = random.Draw(2 * depth + 1) - depth;
            TPoint point{SaturatedOffset(from.x, across * k / 4), SaturatedOffset(from.y, down * k / 4)};
            if (upright)
                point.x = SaturatedOffset(point.x, stray);
            else
                point.y = SaturatedOffset(point.y, stray);
            points[at++] = point;
        }
    }
    return points;
}

LookDraws::LookDraws(const RandomSource& run, const Look& look)
    : random_(SideSeed(run.Seed(), LookStream)),
      pairs_(std::int32_t(PaletteColors(look.palette).size())),
      torn_(look.torn)
{
}

LookDraw LookDraws::Next()
{
    LookDraw draw;
    draw.pair = std::uint8_t(random_.Draw(pairs_));
    // Never 0, which stands for clean cuts.
    const std::uint32_t tear = std::uint32_t(random_.Draw(0x7FFFFFFF)) | 1u;
    draw.tear = torn_ ? tear : 0;
    return draw;
}

int LookReach(const Look& look, int size)
{
    const int tallest = StampCellHeight(size, std::max(size / 2 - 1, 0));
    return (look.torn ? TearDepth(tallest) : 0) + (look.shadow ? ShadowOffset(tallest) + 1 : 0);
}

FaceDraws::FaceDraws(const RandomSource& run, std::size_t faceCount, bool boldCuts)
    : random_(SideSeed(run.Seed(), FaceStream)), faceCount_(std::int32_t(faceCount)), boldCuts_(boldCuts)
{
}

FaceDraw FaceDraws::Next()
{
    FaceDraw draw;
    draw.face = std::size_t(random_.Draw(faceCount_));
    draw.bold = random_.Draw(4) == 0 && boldCuts_;
    return draw;
}

} // namespace morvaleth
