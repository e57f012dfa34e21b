#pragma once

#include <cstdint>

namespace morvaleth {

// The top-left corner of a unit's cell on the picture.
struct CellPlace {
    std::int64_t x = 0;
    std::int64_t y = 0;

    bool operator==(const CellPlace&) const = default;
};

// Where the units of a text go, one after the other. A layout starts at its
// first place; after each unit and each line end it moves on, and says when
// reading stops. RowsDone() counts the picture's rows that no later stamp can
// reach any more.

// The grid: rows from top to bottom, units from left to right. The margin at
// the left and the top, the character pitch and the line pitch are `size`,
// the pitches plus a gap of a tenth of it. A row wraps when the next cell
// would pass the right edge. Reading stops at the first line end below the
// bottom edge, and in an endless line as soon as the rows are so far below
// the picture that no stamp of theirs can reach it (`reach` pixels).
class GridLayout {
public:
    GridLayout(std::int32_t size, std::int64_t width, std::int64_t height, std::int64_t reach);

    // The first line is always read, however small the picture.
    bool HasRoom() const { return true; }
    CellPlace Place() const { return {x_, y_}; }
    bool AfterUnit();
    bool AfterLineEnd();
    std::int64_t RowsDone() const { return y_ - reach_; }

private:
    std::int64_t size_;
    std::int64_t pitch_;
    std::int64_t width_;
    std::int64_t height_;
    std::int64_t reach_;
    std::int64_t x_;
    std::int64_t y_;
};

// Vertical writing: the grid turned a quarter. Columns run from the right
// edge to the left and units from top to bottom; the margin is `size` at the
// top and at the right, and both pitches are size plus its tenth, as in the
// grid. A column wraps at the bottom edge. Reading stops at the first line end
// after which the next column would not fit inside the left edge, and in an
// endless line as soon as the columns have left the picture so far that no
// stamp of theirs can reach it (`reach` pixels, as in the grid).
class VerticalLayout {
public:
    VerticalLayout(std::int32_t size, std::int64_t width, std::int64_t height, std::int64_t reach);

    // Whether the picture holds even one column; a picture too narrow for it
    // (or a size larger than the picture) gets no stamp at all.
    bool HasRoom() const { return width_ >= size_ + pitch_; }

    // Where the next unit goes.
    CellPlace Place() const { return {width_ - column_ - size_, y_}; }

    // Moves on after a unit: down the column, or to the top of the next column
    // when the next cell would pass the bottom edge. False when reading stops.
    bool AfterUnit();

    // Moves to the top of the next column. False when reading stops.
    bool AfterLineEnd();

    // Every column reaches from top to bottom: no row is done before the end.
    std::int64_t RowsDone() const { return 0; }

private:
    std::int64_t size_;
    std::int64_t pitch_;
    std::int64_t width_;
    std::int64_t height_;
    std::int64_t reach_;
    // How far the current column's right side lies from the right edge, less
    // the margin: the grid's y turned a quarter.
    std::int64_t column_;
    std::int64_t y_;
};

} // namespace morvaleth
