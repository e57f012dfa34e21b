#pragma once

#include <cstdint>

namespace morvaleth {

// A linear congruential generator (multiplier 134775813, increment 1, modulo
// 2^32), the source of every random choice of a composition run. Each run
// owns one, so runs are independent and a fixed seed repeats a picture.
class RandomSource {
public:
    explicit RandomSource(std::uint32_t seed = 0) : seed_(seed) {}

    // Seeds from the time of day in UTC, in milliseconds since midnight.
    void Reseed();
    void SetSeed(std::uint32_t seed) { seed_ = seed; }
    std::uint32_t Seed() const { return seed_; }

    // Steps the seed, then returns the upper 32 bits of seed × n: a number in
    // [0, n) for n ≥ 1, and 0 for n = 0. Every call steps the seed.
    std::int32_t Draw(std::int32_t n)
    {
        seed_ = seed_ * 134775813u + 1u;
        return std::int32_t((std::uint64_t(seed_) * std::uint32_t(n)) >> 32);
    }

private:
    std::uint32_t seed_;
};

// The seed of a random source of a run's own for one kind of choice (the
// faces of a mixed set, say): the run's seed mixed with the kind's stream
// number and spread over all 32 bits (MurmurHash3's finaliser), so that the
// side source does not walk the main source's sequence a few steps behind or
// ahead of it, and a seed fixes every source.
constexpr std::uint32_t SideSeed(std::uint32_t runSeed, std::uint32_t stream)
{
    std::uint32_t v = runSeed ^ stream;
    v ^= v >> 16;
    v *= 0x85EBCA6Bu;
    v ^= v >> 13;
    v *= 0xC2B2AE35u;
    v ^= v >> 16;
    return v;
}

// The UTC time of day in milliseconds since midnight, 0 to 86,399,999.
std::uint32_t MillisecondsSinceMidnightUtc();

} // namespace morvaleth
