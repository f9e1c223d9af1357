#include "platform/net/URLCache.h"

URLCache& URLCache::shared() {
    static URLCache cache;
    return cache;
}

void URLCache::storeCachedResponse(const std::string& url, Data data) {
    std::lock_guard lock(mutex_);
    responses_[url] = std::move(data);
}

std::optional<Data> URLCache::cachedResponseForURL(const std::string& url) const {
    std::lock_guard lock(mutex_);
    auto found = responses_.find(url);
    if (found == responses_.end()) return std::nullopt;
    return found->second;
}

std::size_t URLCache::cachedResponseCount() const {
    std::lock_guard lock(mutex_);
    return responses_.size();
}

std::size_t URLCache::currentMemoryUsage() const {
    std::lock_guard lock(mutex_);
    std::size_t bytes = 0;
    for (const auto& [url, data] : responses_) bytes += data.size();
    return bytes;
}

void URLCache::removeAllCachedResponses() {
    std::lock_guard lock(mutex_);
    responses_.clear();
    ++removeAllCount_;
}

std::int64_t URLCache::removeAllCount() const {
    std::lock_guard lock(mutex_);
    return removeAllCount_;
}

void URLCache::resetRecording() {
    std::lock_guard lock(mutex_);
    removeAllCount_ = 0;
}
