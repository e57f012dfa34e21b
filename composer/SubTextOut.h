#pragma once

#include "composer/Canvas.h"
#include "composer/RandomSource.h"

#include <string>
#include <string_view>

namespace morvaleth {

// What every stamp of a run shares: the composition font's face and real mode.
struct StampStyle {
    std::string faceName;
    bool realMode = false;
};

// The scrap and character colours of one colour scheme.
struct ScrapColors {
    TColor outline;
    TColor fill;
    TColor character;
};

// The colour scheme for a draw r in [0, 10): grey scraps for 0 to 4, silver
// ones for 5 to 7, black ones with a silver character for 8 and 9.
ScrapColors ScrapColorsFor(int r);

// The cell height of a character whose height draw is j.
constexpr int CharacterHeight(int size, int j)
{
    return size + j - size / 4;
}

// Stamps one character unit with its top-left corner at (x, y): a random
// height from `size` and a random tilt of up to 15 degrees either way, and in
// real mode a slightly skewed paper scrap beneath it. The draws are made in a
// fixed order (scheme, height, tilt, then in real mode the scrap's two
// skews), so that a seed fixes the picture. A control character (a TAB, say)
// takes its draws and its scrap like a space and draws no glyph.
void SubTextOut(int x, int y, std::u32string_view text, int size, TCanvas& picture,
                const StampStyle& style, RandomSource& random);

} // namespace morvaleth
