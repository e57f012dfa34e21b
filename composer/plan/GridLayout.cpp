#include "composer/plan/GridLayout.h"

#include "composer/plan/Stamp.h"

#include <algorithm>

namespace morvaleth {

GridLayout::GridLayout(int size, std::int64_t width, std::int64_t height, std::int64_t reach)
    : size_(size), pitch_(GridPitch(size)), width_(width), height_(height), reach_(reach), x_(size), y_(size)
{
}

bool GridLayout::AfterUnit()
{
    x_ += pitch_;
    if (width_ < x_ + pitch_) {
        x_ = size_;
        y_ += pitch_;
        // A line without line ends (a FIFO, /dev/zero, an LF-only file) would
        // keep wrapping below the picture forever; its line end would stop
        // the run anyway, so stopping now changes nothing.
        if (y_ - reach_ >= height_)
            return false;
    }
    return true;
}

std::int64_t GridLayout::MostCells() const
{
    // A unit goes at least every pitch across, and rows at least every pitch
    // down until the last one an endless line reaches.
    const std::int64_t across = width_ / pitch_ + 1;
    const std::int64_t down = (height_ + reach_) / pitch_ + 1;
    return across * down;
}

double GridLayout::Passed() const
{
    return height_ > 0 ? std::clamp(double(y_) / double(height_), 0.0, 1.0) : 1.0;
}

bool GridLayout::AfterLineEnd()
{
    x_ = size_;
    y_ += pitch_;
    return height_ >= y_ + pitch_;
}

VerticalLayout::VerticalLayout(int size, std::int64_t width, std::int64_t height, std::int64_t reach)
    : down_(size, height, width, reach), size_(size), width_(width)
{
}

std::unique_ptr<Layout> MakeLayout(Writing writing, int size, std::int64_t width, std::int64_t height,
                                   std::int64_t reach)
{
    if (writing == Writing::Columns)
        return std::make_unique<VerticalLayout>(size, width, height, reach);
    return std::make_unique<GridLayout>(size, width, height, reach);
}

} // namespace morvaleth
