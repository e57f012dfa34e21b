#pragma once

#include "composer/Color.h"
#include "composer/FontEngine.h"

#include <cstdint>

namespace morvaleth {

// The scrap and character colours of one colour scheme.
struct ScrapColors {
    TColor outline;
    TColor fill;
    TColor character;
};

// The colour scheme for a draw r in [0, 10): grey scraps for 0 to 4, silver
// ones for 5 to 7, black ones with a silver character for 8 and 9.
ScrapColors ScrapColorsFor(int r);

// The cell height of a stamp whose height draw is j: the composition size
// less a quarter, plus j.
constexpr int StampCellHeight(int size, int j)
{
    return size + j - size / 4;
}

// Rows [top, bottom) of the picture: how far a stamp can reach up and down.
struct RowSpan {
    std::int64_t top = 0;
    std::int64_t bottom = 0;
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
    bool bold = false;     // outlines thickened, as a bold cutting
    bool vertical = false; // set as a unit of a column
    std::uint32_t firstCodePoint = 0;
    std::uint32_t codePointCount = 0;
    // Every pixel the stamp can change lies in these rows.
    RowSpan rows;
};

} // namespace morvaleth
