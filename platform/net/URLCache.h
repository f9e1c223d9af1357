#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"

// The process's cache of URL responses, by URL. Nothing in this platform's
// loading fills it on its own; screens drop it when memory runs low, and each
// "remove all" is counted so that their tests can see it happen.
//
// Thread-safe.
class URLCache {
public:
    static URLCache& shared();

    void storeCachedResponse(const std::string& url, Data data);
    // The cached bytes, or nothing.
    std::optional<Data> cachedResponseForURL(const std::string& url) const;
    std::size_t cachedResponseCount() const;
    std::size_t currentMemoryUsage() const;

    // Drops every cached response.
    void removeAllCachedResponses();
    // How many times removeAllCachedResponses was called (since resetRecording).
    std::int64_t removeAllCount() const;
    void resetRecording();

private:
    mutable std::mutex mutex_;
    std::map<std::string, Data> responses_;
    std::int64_t removeAllCount_ = 0;
};
