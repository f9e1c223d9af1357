#include "platform/foundation/Random.h"

#include <atomic>
#include <mutex>
#include <random>

namespace {

// xoshiro256** (Blackman and Vigna): 256 bits of state, a period of
// 2^256 - 1, and every bit of its output passes the usual statistical
// batteries. Each 64-bit output gives two numbers, its high half first.
class Generator {
public:
    // The state from a 64-bit seed, spread by SplitMix64 as the authors advise.
    void seed(std::uint64_t seed) {
        for (auto& word : state_) {
            seed += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
        hasLow_ = false;
    }

    std::uint32_t next32() {
        if (hasLow_) {
            hasLow_ = false;
            return low_;
        }
        const std::uint64_t value = next64();
        low_ = static_cast<std::uint32_t>(value);
        hasLow_ = true;
        return static_cast<std::uint32_t>(value >> 32);
    }

    void next32(std::uint32_t* values, std::size_t count) {
        std::size_t i = 0;
        if (count > 0 && hasLow_) values[i++] = next32();
        for (; i + 2 <= count; i += 2) {
            const std::uint64_t value = next64();
            values[i] = static_cast<std::uint32_t>(value >> 32);
            values[i + 1] = static_cast<std::uint32_t>(value);
        }
        if (i < count) values[i] = next32();
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    std::uint64_t next64() {
        const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotl(state_[3], 45);
        return result;
    }

    std::uint64_t state_[4] = {1, 2, 3, 4};
    std::uint32_t low_ = 0;
    bool hasLow_ = false;
};

// Each thread draws from a generator of its own, so that a draw takes no lock
// and threads never wait for each other. A seed is the process's: it is kept
// here with a count of the seedings, and a thread whose generator was seeded
// before the latest seeding takes the new seed (or a system seed of its own)
// at its next draw. After seed(s), every thread draws the sequence that s
// gives, from its start.
std::mutex gSeedMutex;
std::uint64_t gSeed = 0;      // guarded by gSeedMutex
bool gSeedFromSystem = true;  // guarded by gSeedMutex
std::atomic<std::uint64_t> gSeedings{1};

std::uint64_t systemSeed() {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) | device();
}

struct ThreadGenerator {
    Generator generator;
    std::uint64_t seedings = 0;  // the seeding this generator follows; 0 none yet

    Generator& current() {
        if (gSeedings.load(std::memory_order_acquire) != seedings) [[unlikely]]
            reseed();
        return generator;
    }

    void reseed() {
        std::lock_guard lock(gSeedMutex);
        seedings = gSeedings.load(std::memory_order_relaxed);
        generator.seed(gSeedFromSystem ? systemSeed() : gSeed);
    }
};

Generator& generator() {
    thread_local ThreadGenerator g;
    return g.current();
}

void setSeed(bool fromSystem, std::uint64_t seed) {
    std::lock_guard lock(gSeedMutex);
    gSeedFromSystem = fromSystem;
    gSeed = seed;
    gSeedings.fetch_add(1, std::memory_order_release);
}

}  // namespace

std::uint32_t Random::next32() {
    return generator().next32();
}

void Random::next32(std::uint32_t* values, std::size_t count) {
    generator().next32(values, count);
}

std::uint32_t Random::uniform(std::uint32_t upperBound) {
    if (upperBound < 2) return 0;
    // Rejection sampling: drop the values that would make the modulo uneven.
    std::uint32_t min = static_cast<std::uint32_t>(-upperBound) % upperBound;
    while (true) {
        std::uint32_t r = next32();
        if (r >= min) return r % upperBound;
    }
}

void Random::seed(std::uint64_t seed) {
    setSeed(false, seed);
}

void Random::seedFromSystem() {
    setSeed(true, 0);
}
