#pragma once

#include "composer/Canvas.h"
#include "composer/RandomSource.h"
#include "composer/Stamp.h"

#include <string>
#include <string_view>

namespace morvaleth {

// What every stamp of a run shares: the composition font's face, real mode,
// and whether the text runs down columns.
struct StampStyle {
    std::string faceName;
    bool realMode = false;
    bool vertical = false;
};

// The face one stamp of a run with mixed faces takes instead of the run's
// face, and whether it is cut from bold print.
struct StampFace {
    const FaceLocation* face = nullptr;
    bool bold = false;
};

// Stamps one character unit with its top-left corner at (x, y): a random
// height from `size` and a random tilt of up to 15 degrees either way, and in
// real mode a slightly skewed paper scrap beneath it. The draws are made in a
// fixed order (scheme, height, tilt, then in real mode the scrap's two
// skews), so that a seed fixes the picture. A control character (a TAB, say)
// takes its draws and its scrap like a space and draws no glyph. This is the stamp on a canvas,
// through the drawing interface; a run plans its stamps (StampPlan) and
// paints them in bands (StampPainter) instead, with the same draws and
// pixels. The stamp's face changes neither the draws nor the places.
void SubTextOut(int x, int y, std::u32string_view text, int size, TCanvas& picture,
                const StampStyle& style, RandomSource& random, StampFace face = {});

} // namespace morvaleth
