#pragma once

#include "composer/Writing.h"
#include "composer/faces/Shaping.h"

#include <cstdint>
#include <memory>

namespace morvaleth {

// The top-left corner of a unit's cell on the picture.
struct CellPlace {
    std::int64_t x = 0;
    std::int64_t y = 0;

    bool operator==(const CellPlace&) const = default;
};

// Where the character units of a text go, and where reading stops. The plan
// asks it where the next unit goes and moves it on past each unit and each
// line end; every unit takes one place, whatever it is, and the random height
// and tilt of a stamp never move it.
class Layout {
public:
    virtual ~Layout() = default;

    // Whether the picture holds even one unit; a layout without room gets
    // no stamp at all.
    virtual bool HasRoom() const = 0;
    // The top-left corner of the next unit's cell.
    virtual CellPlace Place() const = 0;
    // Moves past a unit placed at the cursor; false when reading stops here.
    virtual bool AfterUnit() = 0;
    // Moves past a line end; false when reading stops here.
    virtual bool AfterLineEnd() = 0;
    // How many units the row (or column) the cursor is in still takes, the
    // next one included, before the layout wraps: at least one.
    virtual std::int64_t CellsLeftInRow() const = 0;

    // How the units are set in their cells.
    virtual Flow UnitFlow() const = 0;
    // The row above which no cell placed from now on has its corner;
    // INT64_MIN when any row may still get one until reading stops.
    virtual std::int64_t SettledRow() const = 0;
    // Whether rows settle as reading goes on. A layout that settles none
    // (columns) holds every stamp until reading stops.
    virtual bool SettlesRows() const = 0;
    // At least as many cells as reading can place before it stops, however
    // long the text: the most stamps the picture can take.
    virtual std::int64_t MostCells() const = 0;
    // How far reading has come through the picture, 0 to 1.
    virtual double Passed() const = 0;
};

// The layout of that writing for a picture of that size, the grid's pitch
// following the composition size. `reach` is how far below its cell's corner
// any stamp can draw: a line that never ends stops once nothing more of it
// can show.
std::unique_ptr<Layout> MakeLayout(Writing writing, int size, std::int64_t width, std::int64_t height,
                                   std::int64_t reach);

} // namespace morvaleth
