#pragma once

#include "composer/RunControl.h"
#include "composer/faces/FaceTable.h"
#include "composer/plan/StampPlan.h"
#include "composer/vector/Device.h"

namespace morvaleth {

// Hands every stamp of the plan to the device in run order, each glyph placed
// exactly where the raster picture places it, and each face before its first
// stamp. `list` may hold stamps planned already; the stamps are planned in
// lots and none is kept. The device has been begun and is not finished here.
// A cancelled run fails with a Cancelled error.
void TraceRun(StampPlan& plan, StampList& list, const FaceTable& faces, StampDevice& device,
              const RunControl& control);

} // namespace morvaleth
