#pragma once

#include <cstdint>
#include <vector>

namespace morvaleth {

// A glyph's outline in font units, y upwards: closed contours, each opened
// by a Move and made of straight lines and quadratic and cubic Bézier
// curves, which take 1, 1, 2 and 3 points.
struct GlyphPath {
    enum class Verb : std::uint8_t { Move, Line, Quadratic, Cubic };
    struct Point {
        double x = 0;
        double y = 0;
        bool operator==(const Point&) const = default;
    };
    std::vector<Verb> verbs;
    std::vector<Point> points;
};

} // namespace morvaleth
