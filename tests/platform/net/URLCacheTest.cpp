#include <gtest/gtest.h>

#include "platform/net/URLCache.h"

TEST(URLCache, RemoveAllDropsEveryResponseAndIsCounted) {
    URLCache& cache = URLCache::shared();
    cache.removeAllCachedResponses();
    cache.resetRecording();
    cache.storeCachedResponse("https://example.org/a", Data{1, 2, 3});
    cache.storeCachedResponse("https://example.org/b", Data{4});
    EXPECT_EQ(2u, cache.cachedResponseCount());
    EXPECT_EQ(4u, cache.currentMemoryUsage());
    EXPECT_EQ((Data{4}), cache.cachedResponseForURL("https://example.org/b"));
    cache.removeAllCachedResponses();
    cache.removeAllCachedResponses();
    EXPECT_EQ(0u, cache.cachedResponseCount());
    EXPECT_FALSE(cache.cachedResponseForURL("https://example.org/a"));
    EXPECT_EQ(2, cache.removeAllCount());
}
