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

// The UTC time of day in milliseconds since midnight, 0 to 86,399,999.
std::uint32_t MillisecondsSinceMidnightUtc();

} // namespace morvaleth
