#include "platform/foundation/Random.h"

#include <mutex>
#include <random>

namespace {

std::mutex gMutex;

std::mt19937_64& engine() {
    static std::mt19937_64 e{std::random_device{}()};
    return e;
}

}  // namespace

std::uint32_t Random::next32() {
    std::lock_guard lock(gMutex);
    return static_cast<std::uint32_t>(engine()() >> 32);
}

void Random::next32(std::uint32_t* values, std::size_t count) {
    std::lock_guard lock(gMutex);
    for (std::size_t i = 0; i < count; ++i) values[i] = static_cast<std::uint32_t>(engine()() >> 32);
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
    std::lock_guard lock(gMutex);
    engine().seed(seed);
}

void Random::seedFromSystem() {
    std::lock_guard lock(gMutex);
    engine().seed(std::random_device{}());
}
