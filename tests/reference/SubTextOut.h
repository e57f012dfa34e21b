#pragma once

#include "composer/faces/FaceChain.h"
#include "composer/faces/Shaping.h"
#include "composer/plan/RandomSource.h"
#include "reference/Canvas.h"

#include <string>
#include <string_view>

namespace morvaleth {

// What every stamp of a run shares: the composition font's face, real mode,
// and how the layout sets its units.
struct StampStyle {
    std::string faceName;
    bool realMode = false;
    Flow setting = Flow::Line;
};

// The face one stamp of a run with mixed faces takes instead of the run's
// face, and whether it is cut from bold print.
struct StampFace {
    const FaceLocation* face = nullptr;
    bool bold = false;
};

// Stamps one character unit with its top-left corner at (x, y) through the
// drawing interface: a random height from `size` and a random tilt of up to
// 15 degrees either way, and in real mode a slightly skewed paper scrap
// beneath it, with the stamp's own draws and rules (plan/Stamp.h). A control
// character (a TAB, say) takes its draws and its scrap like a space and draws
// no glyph. The stamp's face changes neither the draws nor the places.
void SubTextOut(int x, int y, std::u32string_view text, int size, TCanvas& picture, const StampStyle& style,
                RandomSource& random, StampFace face = {});

} // namespace morvaleth
