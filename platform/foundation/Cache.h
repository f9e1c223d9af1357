#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

// An in-memory cache of objects by key (the platform's NSCache): safe to use
// from any thread at once, and free to drop entries at will. It holds at most
// `countLimit` objects (0: no limit); storing one more evicts the entry that
// was used least recently (stored or looked up). Under memory pressure the
// system may evict any entry at any time, so a lookup that misses is normal and
// callers must be able to make the object again.
//
// Nothing here sees the process's memory; tests play the system's part with
// evictObjectForKey() and evictAllObjects(), which remove entries as the
// system would (the entries simply disappear).
template <class Key, class Object, class Hash = std::hash<Key>>
class Cache {
public:
    explicit Cache(std::string name = {}) : name_(std::move(name)) {}
    Cache(const Cache&) = delete;
    Cache& operator=(const Cache&) = delete;

    std::string name() const {
        std::lock_guard lock(mutex_);
        return name_;
    }
    void setName(std::string name) {
        std::lock_guard lock(mutex_);
        name_ = std::move(name);
    }
    std::size_t countLimit() const {
        std::lock_guard lock(mutex_);
        return countLimit_;
    }
    // A lower limit evicts at once what no longer fits.
    void setCountLimit(std::size_t limit) {
        std::lock_guard lock(mutex_);
        countLimit_ = limit;
        trimLocked();
    }

    // The object stored under the key, or nullptr.
    std::shared_ptr<Object> objectForKey(const Key& key) const {
        std::lock_guard lock(mutex_);
        auto it = index_.find(key);
        if (it == index_.end()) return nullptr;
        entries_.splice(entries_.end(), entries_, it->second);
        return it->second->second;
    }
    // Stores the object under the key, replacing what was there; a null
    // object removes the entry.
    void setObject(std::shared_ptr<Object> object, const Key& key) {
        if (!object) {
            removeObjectForKey(key);
            return;
        }
        std::lock_guard lock(mutex_);
        auto it = index_.find(key);
        if (it != index_.end()) {
            it->second->second = std::move(object);
            entries_.splice(entries_.end(), entries_, it->second);
            return;
        }
        entries_.emplace_back(key, std::move(object));
        index_.emplace(key, std::prev(entries_.end()));
        trimLocked();
    }
    void removeObjectForKey(const Key& key) {
        std::lock_guard lock(mutex_);
        auto it = index_.find(key);
        if (it == index_.end()) return;
        entries_.erase(it->second);
        index_.erase(it);
    }
    void removeAllObjects() {
        std::lock_guard lock(mutex_);
        entries_.clear();
        index_.clear();
    }

    // How many objects are held now.
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return entries_.size();
    }

    // Tests: the system evicts the entry of that key, or every entry.
    void evictObjectForKey(const Key& key) { removeObjectForKey(key); }
    void evictAllObjects() { removeAllObjects(); }

private:
    using Entry = std::pair<Key, std::shared_ptr<Object>>;

    void trimLocked() {
        if (countLimit_ == 0) return;
        while (entries_.size() > countLimit_) {
            index_.erase(entries_.front().first);
            entries_.pop_front();
        }
    }

    mutable std::mutex mutex_;
    std::string name_;
    std::size_t countLimit_ = 0;
    // Least recently used first; lookups move an entry to the end.
    mutable std::list<Entry> entries_;
    std::unordered_map<Key, typename std::list<Entry>::iterator, Hash> index_;
};
