#pragma once

#include "composer/Error.h"
#include "composer/RunControl.h"
#include "composer/Writing.h"
#include "composer/faces/FaceChoice.h"
#include "composer/faces/FaceSet.h"
#include "composer/faces/FaceTable.h"
#include "composer/plan/LineOrder.h"
#include "composer/plan/RandomSource.h"
#include "composer/plan/Stamp.h"
#include "composer/text/SourceReader.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvaleth {

class Layout;

// The most code points one stamp draws: the longest unit the line order gives.
inline constexpr std::size_t MaxStampCodePoints = LineOrder::LongestUnit;

// Planned stamps in run order, with the code points they draw. Their memory
// is kept from stretch to stretch, so that a run in its steady state
// allocates nothing per stamp.
struct StampList {
    std::vector<Stamp> stamps;
    std::u32string codePoints;

    std::u32string_view CodePointsOf(const Stamp& stamp) const
    {
        return std::u32string_view(codePoints).substr(stamp.firstCodePoint, stamp.codePointCount);
    }

    // Makes this list the stamps of `from` that reach below `row`, in their
    // order, with their code points.
    void CarryOver(const StampList& from, std::int64_t row);
};

// What every stamp of a run shares.
struct PlanStyle {
    int size = 20;
    bool realMode = false;
    std::string faceName;
    Writing writing = Writing::Rows;
    FaceChoice faces{};
    // The most memory the planned stamps may hold at once; 0: a quarter of
    // the machine's.
    std::size_t mostStampBytes = 0;
    Look look{};
};

// The first stage of a run: reads the source's units in the order they take
// their places (LineOrder), places them with the layout and makes each one a
// stamp, drawing its random numbers in the run's
// fixed order (DrawStamp), so that a seed fixes the picture. No pixels are
// touched. The plan goes on a stretch at a time, in row order, so that its
// memory does not grow with the text or the picture; a layout that settles no
// row (columns) holds every stamp until the plan is done, and a picture that
// could take more stamps than the memory allowed for them is refused when
// the plan is made, from the most cells it has and the text's length where
// that is known, naming what to change. The memory the stamps hold is
// counted as they are planned. With mixed faces
// the set is found when the plan is made (failing when a listed face is not
// installed or none loads), and each stamp's face and bold come from
// FaceDraws, which leaves the main source's draws alone.
class StampPlan {
public:
    StampPlan(const PlanStyle& style, SourceReader& source, RandomSource& random, FaceTable& faces,
              std::int64_t width, std::int64_t height);
    ~StampPlan();

    // Plans until every stamp that can touch a row above `row` is in the
    // list, or the text ends. Fails with a Cancelled error when asked to stop.
    void PlanThrough(std::int64_t row, StampList& list, const RunControl& control);

    // Plans until the list holds at least `count` stamps, or the text ends.
    void PlanSome(std::size_t count, StampList& list, const RunControl& control);

    // The grid's pitch, and how far any stamp can reach from its cell's
    // corner, up or down (known from the first unit on; 0 before it).
    int Pitch() const { return GridPitch(style_.size); }
    std::int64_t LongestReach() const;

    // The faces of the mixed set left out because their files do not load.
    const std::vector<std::string>& SkippedFaces() const { return skippedFaces_; }

    // Whether the last unit has been planned.
    bool Done() const { return done_; }
    // How far the plan has come, 0 to 1: through the picture's cells, or
    // through a text of known length, whichever is farther.
    double Progress() const;

    // The rows above which no stamp planned from now on can draw.
    std::int64_t SettledRows() const;
    // Whether rows settle as the plan goes on; in columns none does before
    // the plan is done.
    bool SettlesRows() const;

private:
    template <typename Enough>
    void PlanWhile(StampList& list, const RunControl& control, Enough enough);
    void PlanUnit(std::u32string_view unit, StampList& list);
    void ReachFace(FaceId face);
    Error TooManyStamps() const;

    PlanStyle style_;
    // Read through order_; asked how much of it is read.
    SourceReader& source_;
    RandomSource& random_;
    FaceTable& faces_;
    std::unique_ptr<Layout> layout_;
    LineOrder order_;
    // The mixed set's faces, in the order a face draw counts them, and their
    // chains.
    std::vector<FaceLocation> faceSet_;
    std::vector<FaceChainId> setChains_;
    std::vector<std::string> skippedFaces_;
    std::optional<FaceDraws> faceDraws_;
    // Only for a look other than the default.
    std::optional<LookDraws> lookDraws_;
    int lookReach_ = 0;
    std::size_t mostStampBytes_;
    std::int64_t width_;
    std::int64_t height_;
    bool faceResolved_ = false;
    FaceChainId chain_ = 0;
    // How far above its cell's corner any stamp of the run can draw, in the
    // faces used so far.
    std::int64_t upwardReach_ = 0;
    // Which faces upwardReach_ already allows for.
    std::vector<bool> faceReached_;
    bool done_ = false;
};

// The height of the tallest stamp's cell at this composition size.
int TallestCellHeight(int size);

// How far below its cell's corner any stamp of this size can draw: the
// tallest cell turned by the steepest tilt, and its scrap.
std::int64_t LowestStampReach(int size);

} // namespace morvaleth
