#pragma once

#include "composer/Color.h"
#include "composer/faces/FaceTable.h"
#include "composer/faces/Shaping.h"
#include "composer/plan/RandomSource.h"

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>

// The rules of one stamp, in one place for the plan, the painter and
// whatever else draws a stamp: its draws and their order, its cell height,
// its colours and the corners of its scrap.

namespace morvaleth {

// The grid's pitch: the composition size plus a tenth of it, across and down.
constexpr int GridPitch(int size)
{
    return size + size / 10;
}

// The cell height of a stamp whose height draw is j: the composition size
// less a quarter, plus j.
constexpr int StampCellHeight(int size, int j)
{
    return size + j - size / 4;
}

// base + by, saturated to the int range: corners far beyond any picture stay
// off it instead of wrapping round onto it.
constexpr int SaturatedOffset(int base, std::int64_t by)
{
    const std::int64_t sum = base + by;
    return sum < INT_MIN ? INT_MIN : sum > INT_MAX ? INT_MAX : int(sum);
}

// The scrap and character colours of one colour scheme.
struct ScrapColors {
    TColor outline;
    TColor fill;
    TColor character;
};

// The colour scheme for a draw r in [0, 10): grey scraps for 0 to 4, silver
// ones for 5 to 7, black ones with a silver character for 8 and 9.
constexpr ScrapColors ScrapColorsFor(int r)
{
    if (r <= 4)
        return {clSilver, clGray, clBlack};
    if (r <= 7)
        return {clGray, clSilver, clBlack};
    return {clSilver, clBlack, clSilver};
}

// A paper scrap about h by h: its top-left corner exactly on (x, y), its left
// edge leaning by dx, its top and bottom edges dropping by dy from left to
// right, its right edge upright. In this order.
constexpr std::array<TPoint, 4> ScrapCorners(int x, int y, int h, int dx, int dy)
{
    return {{
        {x, y},
        {SaturatedOffset(x, dx), SaturatedOffset(y, h)},
        {SaturatedOffset(x, std::int64_t(h) + dx), SaturatedOffset(y, std::int64_t(h) + dy)},
        {SaturatedOffset(x, std::int64_t(h) + dx), SaturatedOffset(y, dy)},
    }};
}

// What the run's random source decides for one stamp.
struct StampDraws {
    int scheme = 0; // r, 0 to 9
    int cellHeight = 0;
    int tilt = 0; // tenths of a degree, -150 to 149
    int dx = 0;   // the scrap's skews, -3 to 3, drawn in real mode only
    int dy = 0;
};

// The draws of one stamp, in their fixed order: the scheme, the height, the
// tilt, and in real mode the scrap's two skews, dx first. A seed thus fixes
// the whole picture.
inline StampDraws DrawStamp(RandomSource& random, int size, bool realMode)
{
    StampDraws draws;
    draws.scheme = random.Draw(10);
    draws.cellHeight = StampCellHeight(size, random.Draw(size / 2));
    draws.tilt = random.Draw(300) - 150;
    if (realMode) {
        draws.dx = random.Draw(7) - 3;
        draws.dy = random.Draw(7) - 3;
    }
    return draws;
}

// What a stamp of a run with mixed faces takes from the face set.
struct FaceDraw {
    std::size_t face = 0;
    bool bold = false;

    bool operator==(const FaceDraw&) const = default;
};

// The per-stamp face draws of a run. They come from a random source of their
// own, seeded from the run's seed before its first draw, so that the main
// source's draws (and with them every position, height, tilt and scrap) are
// the same with or without mixed faces, and the seed still fixes the whole
// picture.
class FaceDraws {
public:
    FaceDraws(const RandomSource& run, std::size_t faceCount, bool boldCuts);

    // Two draws per stamp, whatever the options, so that turning the bold on
    // or off leaves every stamp's face as it was: the face, then bold in one
    // case of four.
    FaceDraw Next();

private:
    RandomSource random_;
    std::int32_t faceCount_;
    bool boldCuts_;
};

// One character unit as it will be painted: everything its pixels depend on,
// decided by the plan. The unit's code points live in the plan's pool.
struct Stamp {
    int x = 0; // the cell's top-left corner before the tilt
    int y = 0;
    int cellHeight = 0;
    int tilt = 0;   // tenths of a degree, counter-clockwise
    int scheme = 0; // the colour scheme draw r, 0 to 9
    bool scrap = false;
    int dx = 0; // the scrap's skews, in real mode
    int dy = 0;
    FaceId face = 0;
    bool bold = false; // outlines thickened, as a bold cutting
    Flow flow = Flow::Line;
    std::uint32_t firstCodePoint = 0;
    std::uint32_t codePointCount = 0;
    // Every pixel the stamp can change lies in rows [top, bottom).
    std::int64_t top = 0;
    std::int64_t bottom = 0;

    ScrapColors Colors() const { return scrap ? ScrapColorsFor(scheme) : ScrapColors{clBlack, clBlack, clBlack}; }
    std::array<TPoint, 4> Corners() const { return ScrapCorners(x, y, cellHeight, dx, dy); }
    // Whether the unit is shaped as a whole rather than set glyph by glyph.
    bool Shaped() const { return NeedsShaping(flow, bold, codePointCount); }
};

} // namespace morvaleth
