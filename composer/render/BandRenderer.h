#pragma once

#include "composer/Look.h"
#include "composer/RowSink.h"
#include "composer/RunControl.h"
#include "composer/faces/FaceTable.h"
#include "composer/plan/StampPlan.h"
#include "composer/render/RenderOptions.h"

namespace morvaleth {

// The second and third stages of a run: plans a stretch of rows at a time,
// paints its bands on the render threads, each band replaying in run order
// only the stamps that touch it, and hands the finished rows to the sink top
// to bottom. The next stretch is planned, and its bands queued, while the
// threads paint the current one, so that none of them waits for the plan or
// for the end of a stretch. Progress is reported as stretches finish. The sink has been
// begun with this width and height; it is not finished here. A failure in any
// band fails the run with that band's error (the topmost failing band's); a
// cancelled run fails with a Cancelled error.
// `list` may hold stamps planned already. The stamps are pasted on the
// background; on a transparent one each band's opacity goes to the sink's
// AlphaRows before its rows.
void RenderRun(StampPlan& plan, StampList& list, const FaceTable& faces, int width, int height, RowSink& sink,
               const RunControl& control, const RenderOptions& options = {}, const Background& background = {});

} // namespace morvaleth
