#include "platform/foundation/Cache.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using IntCache = Cache<std::int64_t, std::string>;

std::shared_ptr<std::string> text(const std::string& s) {
    return std::make_shared<std::string>(s);
}

TEST(Cache, StoringBeyondTheCountLimitEvictsTheLeastRecentlyUsedEntry) {
    IntCache cache("test.cache");
    EXPECT_EQ("test.cache", cache.name());
    cache.setCountLimit(3);
    for (int i = 1; i <= 3; ++i) cache.setObject(text(std::to_string(i)), i);
    ASSERT_TRUE(cache.objectForKey(1));  // 1 is now the most recently used
    cache.setObject(text("4"), 4);
    EXPECT_EQ(3u, cache.count());
    EXPECT_FALSE(cache.objectForKey(2));
    EXPECT_EQ("1", *cache.objectForKey(1));
    EXPECT_EQ("4", *cache.objectForKey(4));

    // Replacing keeps one entry; a lower limit trims at once; null removes.
    cache.setObject(text("one"), 1);
    EXPECT_EQ("one", *cache.objectForKey(1));
    EXPECT_EQ(3u, cache.count());
    cache.setCountLimit(1);
    EXPECT_EQ(1u, cache.count());
    EXPECT_TRUE(cache.objectForKey(1));
    cache.setObject(nullptr, 1);
    EXPECT_EQ(0u, cache.count());

    cache.setCountLimit(0);  // no limit
    for (int i = 0; i < 200; ++i) cache.setObject(text("x"), i);
    EXPECT_EQ(200u, cache.count());
}

TEST(Cache, TheSystemMayEvictAnyEntry) {
    IntCache cache;
    cache.setObject(text("a"), 1);
    cache.setObject(text("b"), 2);
    cache.evictObjectForKey(1);
    EXPECT_FALSE(cache.objectForKey(1));
    EXPECT_TRUE(cache.objectForKey(2));
    cache.evictAllObjects();
    EXPECT_EQ(0u, cache.count());
}

TEST(Cache, ManyThreadsStoreAndLookUpAtOnce) {
    IntCache cache;
    cache.setCountLimit(64);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&cache, t] {
            for (int i = 0; i < 2000; ++i) {
                const std::int64_t key = (t * 7919 + i) % 100;
                cache.setObject(text(std::to_string(key)), key);
                if (auto found = cache.objectForKey((key + 13) % 100)) {
                    EXPECT_EQ(std::to_string((key + 13) % 100), *found);
                }
                if (i % 97 == 0) cache.removeObjectForKey(key);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_LE(cache.count(), 64u);
}

}  // namespace
