#include "composer/plan/RandomSource.h"

#include <chrono>

namespace morvaleth {

std::uint32_t MillisecondsSinceMidnightUtc()
{
    using namespace std::chrono;
    const auto now = time_point_cast<milliseconds>(system_clock::now());
    return std::uint32_t((now - floor<days>(now)).count());
}

void RandomSource::Reseed()
{
    seed_ = MillisecondsSinceMidnightUtc();
}

} // namespace morvaleth
