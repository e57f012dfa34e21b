#pragma once

#include "composer/plan/Layout.h"

#include <algorithm>
#include <cstdint>

namespace morvaleth {

// Rows: the character units of a text go left to right on a grid whose pitch
// is the composition size plus a tenth, wrapping at the right edge, a row down
// at each line end, stopping at the first line end below the bottom edge.
// Every unit takes one pitch, whatever it is; the random height and tilt of a
// stamp never move the cursor.
class GridLayout final : public Layout {
public:
    // `reach` is how far below its cell's corner any stamp can draw: a line
    // that never ends stops once its rows are that far below the picture,
    // since nothing more of it can show.
    GridLayout(int size, std::int64_t width, std::int64_t height, std::int64_t reach);

    // The top-left corner of the next unit's cell.
    std::int64_t X() const { return x_; }
    std::int64_t Y() const { return y_; }
    CellPlace Place() const override { return {x_, y_}; }
    // The first line is always read, however small the picture.
    bool HasRoom() const override { return true; }
    bool AfterUnit() override;
    bool AfterLineEnd() override;
    // A unit stays in the row while the one after it would still fit.
    std::int64_t CellsLeftInRow() const override { return std::max<std::int64_t>((width_ - x_) / pitch_, 1); }
    Flow UnitFlow() const override { return Flow::Line; }
    // Rows only go down.
    std::int64_t SettledRow() const override { return y_; }
    bool SettlesRows() const override { return true; }
    // Every row as full as the width allows, down to where an endless line
    // stops.
    std::int64_t MostCells() const override;
    double Passed() const override;

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
class VerticalLayout final : public Layout {
public:
    VerticalLayout(int size, std::int64_t width, std::int64_t height, std::int64_t reach);

    // Whether the picture holds even one column; a picture too narrow for it
    // (or a size larger than the picture) gets no stamp at all.
    bool HasRoom() const override { return width_ >= size_ + size_ + size_ / 10; }

    // Where the next unit goes: the grid's x runs down the column, its y
    // leftwards from the right edge.
    CellPlace Place() const override { return {width_ - down_.Y() - size_, down_.X()}; }

    // Moves on after a unit: down the column, or to the top of the next column
    // when the next cell would pass the bottom edge. False when reading stops.
    bool AfterUnit() override { return down_.AfterUnit(); }

    // Moves to the top of the next column. False when reading stops.
    bool AfterLineEnd() override { return down_.AfterLineEnd(); }
    std::int64_t CellsLeftInRow() const override { return down_.CellsLeftInRow(); }

    Flow UnitFlow() const override { return Flow::Column; }
    // Every column spans the picture's height.
    std::int64_t SettledRow() const override { return INT64_MIN; }
    bool SettlesRows() const override { return false; }
    std::int64_t MostCells() const override { return HasRoom() ? down_.MostCells() : 0; }
    double Passed() const override { return down_.Passed(); }

private:
    // The grid on the picture turned a quarter: as wide as the picture is
    // high, and as high as it is wide.
    GridLayout down_;
    std::int64_t size_;
    std::int64_t width_;
};

} // namespace morvaleth
