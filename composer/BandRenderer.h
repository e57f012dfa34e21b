#pragma once

#include "composer/RowSink.h"
#include "composer/RunControl.h"
#include "composer/StampPlan.h"

namespace morvaleth {

// How the render stage splits its work. Neither changes the picture.
struct RenderOptions {
    // Render threads, the calling one included; 0: one per core.
    int threads = 0;
    // Rows per band; 0: chosen from the picture's width.
    int bandRows = 0;
    // The most memory the planned stamps may hold at once; 0: a quarter of
    // the machine's. A run that needs more fails as out of resources.
    std::size_t mostStampBytes = 0;
};

// The second and third stages of a run: plans a stretch of rows at a time,
// paints its bands on the render threads, each band replaying in run order
// only the stamps that touch it, and hands the finished rows to the sink top
// to bottom. The next stretch is planned, and its bands queued, while the
// threads paint the current one, so that none of them waits for the plan or
// for the end of a stretch. Progress is reported as stretches finish. The sink has been
// begun with this width and height; it is not finished here. A failure in any
// band fails the run with that band's error (the topmost failing band's); a
// cancelled run fails with a Cancelled error.
// `list` may hold stamps planned already.
void RenderRun(StampPlan& plan, StampList& list, const FaceTable& faces, int width, int height, RowSink& sink,
               const RunControl& control, const RenderOptions& options = {});

} // namespace morvaleth
