#pragma once

#include "composer/Composition.h"
#include "composer/RunControl.h"
#include "composer/plan/RandomSource.h"
#include "composer/text/SourceReader.h"
#include "reference/Canvas.h"

namespace morvaleth {

// The run on a canvas, one stamp after the other through the drawing
// interface: reads the source and stamps every character unit where the
// layout puts it, with the faces of a mixed set drawn from their own source.
// Lets tests see every drawing call of a run, and compare the engine's
// pictures with the first version's way of drawing them.
void ComposeText(TPicture& picture, SourceReader& source, const CompositionSettings& settings, RandomSource& random,
                 const RunControl& control = {});

} // namespace morvaleth
