#pragma once

#include <cstdint>

namespace morvaleth {

// Where the character units of a text go: left to right on a grid whose pitch
// is the composition size plus a tenth, wrapping at the right edge, a row down
// at each line end, stopping at the first line end below the bottom edge.
// Every unit takes one pitch, whatever it is; the random height and tilt of a
// stamp never move the cursor.
class GridLayout {
public:
    // `reach` is how far below its cell's corner any stamp can draw: a line
    // that never ends stops once its rows are that far below the picture,
    // since nothing more of it can show.
    GridLayout(int size, std::int64_t width, std::int64_t height, std::int64_t reach);

    // The top-left corner of the next unit's cell.
    std::int64_t X() const { return x_; }
    std::int64_t Y() const { return y_; }

    // Moves past a unit placed at the cursor; false when the run ends here.
    bool AfterUnit();
    // Moves past a line end; false when the run ends here.
    bool AfterLineEnd();

private:
    std::int64_t size_;
    std::int64_t pitch_;
    std::int64_t width_;
    std::int64_t height_;
    std::int64_t reach_;
    std::int64_t x_;
    std::int64_t y_;
};

} // namespace morvaleth
