#pragma once

#include <cstddef>
#include <cstdint>

// The process's one random source. Seeded from the system at start; tests seed
// it to make shuffles and draws repeatable. Safe to call from any thread: each
// thread draws from a generator of its own without a lock, and a seed given on
// one thread holds for all (each starts the seed's sequence at its next draw).
class Random {
public:
    // A uniformly distributed 32-bit number.
    static std::uint32_t next32();
    // The next `count` numbers next32 would give, drawn at once.
    static void next32(std::uint32_t* values, std::size_t count);
    // A uniform number in [0, upperBound), without modulo bias; 0 for a bound of 0.
    static std::uint32_t uniform(std::uint32_t upperBound);
    // Makes the sequence repeatable from here on.
    static void seed(std::uint64_t seed);
    // Back to an unpredictable sequence.
    static void seedFromSystem();
};
