#include "composer/plan/Stamp.h"

namespace morvaleth {

// The face source's own stream of the run's seed.
constexpr std::uint32_t FaceStream = 0x6D2B79F5u;

FaceDraws::FaceDraws(const RandomSource& run, std::size_t faceCount, bool boldCuts)
    : random_(SideSeed(run.Seed(), FaceStream)), faceCount_(std::int32_t(faceCount)), boldCuts_(boldCuts)
{
}

FaceDraw FaceDraws::Next()
{
    FaceDraw draw;
    draw.face = std::size_t(random_.Draw(faceCount_));
    draw.bold = random_.Draw(4) == 0 && boldCuts_;
    return draw;
}

} // namespace morvaleth
