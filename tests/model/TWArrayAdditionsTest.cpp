#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/TWArrayAdditions.h"

namespace {

using Strings = std::vector<std::string>;
using S = std::optional<std::string>;

class TWArrayAdditions : public ::testing::Test {
protected:
    void SetUp() override { Random::seed(20240331); }
    void TearDown() override { Random::seedFromSystem(); }
    const Strings abc{"a", "b", "c"};
};

TEST_F(TWArrayAdditions, BoundsSafeReading) {
    struct Case {
        std::int64_t index;
        S element;
        Strings tail;
    } cases[] = {
        {-1, std::nullopt, {}}, {0, "a", {"a", "b", "c"}},     {2, "c", {"c"}},
        {3, std::nullopt, {}},  {INT64_MIN, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(c.element, twBoundsSafeObjectAtIndex(abc, c.index));
        EXPECT_EQ(c.tail, twSubarrayStartingAtIndex(abc, c.index));
    }
    EXPECT_EQ(S("a"), twFirstObject(abc));
    EXPECT_EQ(std::nullopt, twFirstObject(Strings{}));
}

TEST_F(TWArrayAdditions, NeighboursWithAndWithoutRotation) {
    struct Case {
        std::string object;
        bool rotate;
        S after, before;
    } cases[] = {
        {"a", false, "b", std::nullopt}, {"a", true, "b", "c"}, {"b", false, "c", "a"},
        {"c", false, std::nullopt, "b"}, {"c", true, "a", "b"}, {"x", true, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.object + (c.rotate ? " rotating" : ""));
        EXPECT_EQ(c.after, twObjectAfter(abc, c.object, c.rotate));
        EXPECT_EQ(c.before, twObjectBefore(abc, c.object, c.rotate));
    }
    // The first equal element counts; a single element is its own neighbour when rotating.
    EXPECT_EQ(S("x"), twObjectAfter(Strings{"a", "x", "a", "y"}, std::string("a"), false));
    EXPECT_EQ(S("a"), twObjectAfter(Strings{"a"}, std::string("a"), true));
    EXPECT_EQ(std::nullopt, twObjectAfter(Strings{}, std::string("a"), true));
    EXPECT_EQ(std::nullopt, twObjectBefore(Strings{}, std::string("a"), true));

    // A nil object has no neighbours, even when the array holds a nil.
    std::vector<std::shared_ptr<int>> pointers{nullptr, std::make_shared<int>(1)};
    EXPECT_EQ(std::nullopt, twObjectAfter(pointers, std::shared_ptr<int>(), true));
}

TEST_F(TWArrayAdditions, TrimsStringsAndMapsDroppingNil) {
    EXPECT_EQ((Strings{"a", "b c"}), twArrayByTrimmingStringsAndRemovingEmptyOnes({" a\n", "  ", "", "\tb c ", "\n"}));

    const std::vector<int> numbers{1, 2, 3, 4};
    auto evens =
        twMap(numbers, [](int n) { return n % 2 == 0 ? std::optional<std::string>(std::to_string(n)) : std::nullopt; });
    EXPECT_EQ((Strings{"2", "4"}), evens);
    auto pointers = twMap(numbers, [](int n) { return n > 2 ? std::make_shared<int>(n) : nullptr; });
    ASSERT_EQ(2u, pointers.size());
    EXPECT_EQ(3, *pointers[0]);
    EXPECT_TRUE(twMap(std::vector<int>{}, [](int n) { return std::optional<int>(n); }).empty());
}

TEST_F(TWArrayAdditions, AddsOnlyWhatIsNotNil) {
    Strings array;
    twAddObjectIfNotNil(array, S("a"));
    twAddObjectIfNotNil(array, S());
    twAddObjectIfNotNil(array, std::string("b"));
    EXPECT_EQ((Strings{"a", "b"}), array);

    std::vector<std::shared_ptr<int>> pointers;
    twAddObjectIfNotNil(pointers, std::shared_ptr<int>());
    twAddObjectIfNotNil(pointers, std::make_shared<int>(7));
    ASSERT_EQ(1u, pointers.size());
}

TEST_F(TWArrayAdditions, ShuffleIsARepeatablePermutation) {
    Strings empty;
    twShuffle(empty);
    EXPECT_TRUE(empty.empty());
    Strings one{"a"};
    twShuffle(one);
    EXPECT_EQ(Strings{"a"}, one);

    std::vector<int> original(50);
    for (int i = 0; i < 50; ++i) original[static_cast<std::size_t>(i)] = i;
    auto first = original;
    Random::seed(7);
    twShuffle(first);
    auto second = original;
    Random::seed(7);
    twShuffle(second);
    EXPECT_EQ(first, second);
    EXPECT_NE(original, first);
    std::sort(first.begin(), first.end());
    EXPECT_EQ(original, first);

    // Longer than one block of draws: the order is the one the numbers drawn one by one give.
    std::vector<int> longer(600), byHand;
    for (int i = 0; i < 600; ++i) longer[static_cast<std::size_t>(i)] = i;
    byHand = longer;
    Random::seed(11);
    twShuffle(longer);
    Random::seed(11);
    for (std::size_t i = 0; i < byHand.size(); ++i)
        std::swap(byHand[i], byHand[i + Random::next32() % (byHand.size() - i)]);
    EXPECT_EQ(byHand, longer);
}

TEST_F(TWArrayAdditions, ShuffleGivesEveryOrderEvenly) {
    // A shuffle that draws from the whole array at every step favours some
    // orders of three elements by over 10%; the forward shuffle does not.
    std::map<std::vector<int>, int> seen;
    constexpr int kRounds = 60000;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<int> v{1, 2, 3};
        twShuffle(v);
        ++seen[v];
    }
    ASSERT_EQ(6u, seen.size());
    for (const auto& [order, times] : seen) EXPECT_NEAR(kRounds / 6, times, kRounds / 6 * 0.05);
}

TEST_F(TWArrayAdditions, RandomPicksAndRemovals) {
    EXPECT_EQ(std::nullopt, twRandomObject(Strings{}));
    Strings seen;
    for (int i = 0; i < 100; ++i) {
        auto pick = twRandomObject(abc);
        ASSERT_TRUE(pick);
        if (std::find(seen.begin(), seen.end(), *pick) == seen.end()) seen.push_back(*pick);
    }
    EXPECT_EQ(3u, seen.size());

    Strings array = abc, removed;
    while (auto element = twRemoveRandomObject(array)) removed.push_back(*element);
    EXPECT_TRUE(array.empty());
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(abc, removed);
}

TEST_F(TWArrayAdditions, RandomSubsets) {
    auto sorted = [](Strings v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    struct Case {
        const char* name;
        Strings array;
        std::int64_t count;
        Strings except;
        Strings expected;  // sorted; empty with expectedSize set means "any of that size"
        std::size_t expectedSize;
    } cases[] = {
        {"more asked than allowed", {"a", "b", "c"}, 4, {"b"}, {"a", "c"}, 2},
        {"negative count takes all", {"a", "b", "c"}, -1, {}, {"a", "b", "c"}, 3},
        {"equal elements once", {"a", "a", "b", "a"}, 10, {}, {"a", "b"}, 2},
        {"all excluded", {"a", "b"}, 2, {"a", "b"}, {}, 0},
        {"empty array", {}, 3, {}, {}, 0},
        {"zero count", {"a", "b"}, 0, {}, {}, 0},
        {"count limits", {"a", "b", "c", "d", "e"}, 2, {"e"}, {}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto result = twSubarrayWithRandomObjectsExcept(c.array, c.count, c.except);
        EXPECT_EQ(c.expectedSize, result.size());
        if (!c.expected.empty()) {
            EXPECT_EQ(c.expected, sorted(result));
        }
        for (const auto& e : result) EXPECT_EQ(c.except.end(), std::find(c.except.begin(), c.except.end(), e));
        auto ordered = sorted(result);
        EXPECT_EQ(ordered.end(), std::adjacent_find(ordered.begin(), ordered.end()));
    }

    // The block sees what has been chosen so far: at most one vowel.
    auto isVowel = [](const std::string& s) { return s == "a" || s == "e"; };
    for (int round = 0; round < 20; ++round) {
        auto result = twSubarrayWithRandomObjectsExcludingObjectsMatching<std::string>(
            {"a", "b", "e", "c"}, -1, [&](const std::string& element, const Strings& chosen) {
                return isVowel(element) && std::any_of(chosen.begin(), chosen.end(), isVowel);
            });
        EXPECT_EQ(3u, result.size());
        EXPECT_EQ(1, std::count_if(result.begin(), result.end(), isVowel));
    }

    // Nil elements are never chosen.
    auto one = std::make_shared<int>(1);
    std::vector<std::shared_ptr<int>> pointers{nullptr, one, nullptr};
    auto picked = twSubarrayWithRandomObjectsExcludingObjectsMatching<std::shared_ptr<int>>(pointers, 3, nullptr);
    ASSERT_EQ(1u, picked.size());
    EXPECT_EQ(one, picked[0]);
}

TEST_F(TWArrayAdditions, RandomSubsetOrderVaries) {
    // The subset comes in drawing order, not in array order.
    std::map<Strings, int> orders;
    for (int round = 0; round < 200; ++round) ++orders[twSubarrayWithRandomObjectsExcept(abc, 3, Strings{})];
    EXPECT_EQ(6u, orders.size());
}

}  // namespace
