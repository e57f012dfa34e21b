#pragma once

#include "composer/Bitmap.h"
#include "composer/FaceSet.h"
#include "composer/RandomSource.h"
#include "composer/RunControl.h"
#include "composer/SourceReader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace morvaleth {

// The inputs of one composition run.
struct CompositionSettings {
    std::string sourcePath;
    std::string widthText = "640";
    std::string heightText = "480";
    std::string faceName = "ＭＳ Ｐゴシック";
    // The composition font's size in points, used as a pixel count: margin,
    // character pitch and line pitch at once.
    std::int32_t size = 20;
    bool realMode = false;
    // Columns from right to left instead of rows from top to bottom.
    bool vertical = false;
    // The faces the stamps take; by default all take the one above.
    FaceChoice faces;
    SourceEncoding encoding = SourceEncoding::Automatic;
    // Fixes the picture; without it the run seeds from the clock.
    std::optional<std::uint32_t> seed;
};

inline constexpr std::int32_t SmallestCompositionSize = 1;
inline constexpr std::int32_t LargestCompositionSize = 65535;

// Composes the source text into a new picture of the requested size. Returns
// no picture when the source path is empty (the caller tells the user).
// Fails with the message of whatever went wrong: a size text that is not an
// integer, a picture that cannot be made, a source that cannot be read; and
// with an Error of kind Cancelled when `control` asks it to stop.
std::unique_ptr<TBitmap> ComposePicture(const CompositionSettings& settings,
                                        const RunControl& control = {});

// The run itself, on a picture already sized: reads the source and stamps
// every character unit on the grid, wrapping rows at the right edge and
// stopping at the first line end below the bottom edge, or in columns from
// the right (see Layout.h). With mixed faces it first finds the set, failing
// when a listed face is not installed or none loads, and tells
// `control.warning` of the faces it leaves out.
void ComposeText(TPicture& picture, SourceReader& source, const CompositionSettings& settings,
                 RandomSource& random, const RunControl& control = {});

} // namespace morvaleth
