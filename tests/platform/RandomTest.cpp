#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "platform/foundation/Random.h"

namespace {

class RandomTest : public ::testing::Test {
protected:
    void TearDown() override { Random::seedFromSystem(); }
};

// `count` numbers drawn in blocks of the given sizes, in turn, then singly.
std::vector<std::uint32_t> draw(std::size_t count, const std::vector<std::size_t>& blocks) {
    std::vector<std::uint32_t> drawn;
    for (std::size_t block : blocks) {
        std::vector<std::uint32_t> numbers(block);
        Random::next32(numbers.data(), numbers.size());
        drawn.insert(drawn.end(), numbers.begin(), numbers.end());
    }
    while (drawn.size() < count) drawn.push_back(Random::next32());
    return drawn;
}

}  // namespace

TEST_F(RandomTest, ASeedGivesOneSequenceOnEveryThreadWhetherDrawnSinglyOrInBlocks) {
    Random::seed(99);
    const auto singly = draw(9, {});
    EXPECT_NE(singly[0], singly[1]);

    // Blocks of odd and even sizes, starting between two numbers made at once.
    const std::vector<std::vector<std::size_t>> splits = {{9}, {1, 8}, {3, 3, 3}, {2, 5}, {0, 4}};
    for (const auto& blocks : splits) {
        Random::seed(99);
        EXPECT_EQ(singly, draw(9, blocks));
    }

    // A seed given here holds on a thread that drew before it.
    std::vector<std::uint32_t> onThread, beforeSeed;
    std::thread other([&] {
        beforeSeed = draw(3, {});
        Random::seed(99);
        onThread = draw(9, {2, 3});
    });
    other.join();
    EXPECT_EQ(singly, onThread);

    // Back to the system: another sequence.
    Random::seedFromSystem();
    EXPECT_NE(singly, draw(9, {}));
}
