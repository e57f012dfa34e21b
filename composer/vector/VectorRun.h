#pragma once

#include "composer/RunControl.h"
#include "composer/faces/FaceTable.h"
#include "composer/plan/StampPlan.h"
#include "composer/vector/Device.h"

namespace morvaleth {

// Hands every stamp of the plan that can touch the picture's rows [0,
// `height`) to the device in run order, each glyph placed exactly where the
// raster picture places it, and each face before its first stamp handed on;
// stamps wholly above or below the picture (a long line wrapping on below
// its bottom edge) draw nothing there and are left out. `list` may hold
// stamps planned already; the stamps are planned in lots and none is kept.
// The device has been begun and is not finished here. A cancelled run fails
// with a Cancelled error.
void TraceRun(StampPlan& plan, StampList& list, const FaceTable& faces, std::int64_t height, StampDevice& device,
              const RunControl& control);

} // namespace morvaleth
