#include "platform/cloud/MetadataQuery.h"

#include <unordered_map>
#include <utility>

#include "platform/cloud/FolderMetadataQueryBackend.h"
#include "platform/foundation/RunLoop.h"

// --- Predicate ---

MetadataQueryPredicate MetadataQueryPredicate::orOfLikePatterns(std::string attribute,
                                                                std::vector<std::string> patterns) {
    MetadataQueryPredicate predicate;
    predicate.attribute_ = std::move(attribute);
    predicate.patterns_ = std::move(patterns);
    return predicate;
}

bool MetadataQueryPredicate::like(std::string_view text, std::string_view pattern) {
    // Greedy wildcard match with one back-tracking point: linear for one '*',
    // at worst text × pattern.
    std::size_t t = 0, p = 0, starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++t;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool MetadataQueryPredicate::matches(const MetadataItem& item) const {
    if (patterns_.empty()) return true;
    const auto value = item.stringForAttribute(attribute_);
    if (!value) return false;
    for (const auto& pattern : patterns_) {
        if (like(*value, pattern)) return true;
    }
    return false;
}

// --- Held changes ---

namespace {

std::string identityOf(const MetadataItem& item) {
    if (auto url = item.urlForAttribute(NSMetadataItemURLKey)) return url->path();
    return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(&item));
}

// Items in the order they came, one per identity.
class OrderedItems {
public:
    void put(const MetadataItemPtr& item) {
        const std::string key = identityOf(*item);
        if (auto it = index_.find(key); it != index_.end()) {
            list_[it->second] = item;
            return;
        }
        index_.emplace(key, list_.size());
        list_.push_back(item);
    }
    bool erase(const MetadataItem& item) {
        auto it = index_.find(identityOf(item));
        if (it == index_.end()) return false;
        list_[it->second] = nullptr;
        index_.erase(it);
        return true;
    }
    MetadataItemArray items() const {
        MetadataItemArray out;
        for (const auto& item : list_) {
            if (item) out.push_back(item);
        }
        return out;
    }
    bool empty() const { return index_.empty(); }

private:
    std::vector<MetadataItemPtr> list_;
    std::unordered_map<std::string, std::size_t> index_;
};

AnyObject arrayObject(MetadataItemArray items) {
    return AnyObject(std::make_shared<const MetadataItemArray>(std::move(items)));
}

}  // namespace

struct MetadataQuery::Held {
    bool hasTyped = false;
    OrderedItems added, changed, removed;
    MetadataItemArray results;
    std::vector<std::pair<Notification::ObjectUserInfo, MetadataItemArray>> raw;

    void merge(const MetadataItemArray& a, const MetadataItemArray& c, const MetadataItemArray& r,
               MetadataItemArray newResults) {
        hasTyped = true;
        for (const auto& item : a) {
            if (removed.erase(*item)) {
                changed.put(item);
            } else {
                added.put(item);
            }
        }
        for (const auto& item : c) {
            if (added.erase(*item)) {
                added.put(item);
            } else {
                changed.put(item);
            }
        }
        for (const auto& item : r) {
            if (!added.erase(*item)) {
                changed.erase(*item);
                removed.put(item);
            }
        }
        results = std::move(newResults);
    }
};

// --- Reporter ---

class MetadataQuery::Reporter : public MetadataQueryReporter {
public:
    Reporter(std::weak_ptr<MetadataQuery> query, std::uint64_t generation)
        : query_(std::move(query)), generation_(generation) {}

    void gatheringFinished(MetadataItemArray results) override {
        send([g = generation_, results = std::move(results)](MetadataQuery& q) mutable {
            q.applyGatheringFinished(g, std::move(results));
        });
    }
    void updated(MetadataItemArray added, MetadataItemArray changed, MetadataItemArray removed,
                 MetadataItemArray results) override {
        send([g = generation_, a = std::move(added), c = std::move(changed), r = std::move(removed),
              results = std::move(results)](MetadataQuery& q) mutable {
            q.applyUpdate(g, std::move(a), std::move(c), std::move(r), std::move(results));
        });
    }
    void updatedWithUserInfo(Notification::ObjectUserInfo userInfo, MetadataItemArray results) override {
        send([g = generation_, info = std::move(userInfo), results = std::move(results)](MetadataQuery& q) mutable {
            q.applyRawUpdate(g, std::move(info), std::move(results));
        });
    }

private:
    void send(std::function<void(MetadataQuery&)> block) {
        if (auto query = query_.lock()) query->perform(std::move(block));
    }
    std::weak_ptr<MetadataQuery> query_;
    const std::uint64_t generation_;
};

// --- Query ---

namespace {
std::mutex gFactoryMutex;
MetadataQuery::BackendFactory gFactory;
}  // namespace

void MetadataQuery::setDefaultBackendFactory(BackendFactory factory) {
    std::lock_guard lock(gFactoryMutex);
    gFactory = std::move(factory);
}

std::shared_ptr<MetadataQuery> MetadataQuery::create(std::shared_ptr<MetadataQueryBackend> backend) {
    if (!backend) {
        BackendFactory factory;
        {
            std::lock_guard lock(gFactoryMutex);
            factory = gFactory;
        }
        backend = factory ? factory() : std::make_shared<FolderMetadataQueryBackend>();
    }
    return std::shared_ptr<MetadataQuery>(new MetadataQuery(std::move(backend)));
}

MetadataQuery::MetadataQuery(std::shared_ptr<MetadataQueryBackend> backend) : backend_(std::move(backend)) {}

MetadataQuery::~MetadataQuery() {
    stopQuery();
}

void MetadataQuery::setSearchScopes(std::vector<std::string> scopes) {
    std::lock_guard lock(mutex_);
    scopes_ = std::move(scopes);
}

std::vector<std::string> MetadataQuery::searchScopes() const {
    std::lock_guard lock(mutex_);
    return scopes_;
}

void MetadataQuery::setPredicate(MetadataQueryPredicate predicate) {
    std::lock_guard lock(mutex_);
    predicate_ = std::move(predicate);
}

MetadataQueryPredicate MetadataQuery::predicate() const {
    std::lock_guard lock(mutex_);
    return predicate_;
}

bool MetadataQuery::startQuery() {
    std::shared_ptr<Reporter> reporter;
    std::vector<std::string> scopes;
    {
        std::lock_guard lock(mutex_);
        if (started_) return false;
        started_ = true;
        gathering_ = true;
        stopped_ = false;
        disableCount_ = 0;
        held_.reset();
        results_.clear();
        loop_ = RunLoop::current().shared_from_this();
        reporter = std::make_shared<Reporter>(weak_from_this(), ++generation_);
        scopes = scopes_;
    }
    NotificationCenter::defaultCenter().post(
        Notification(NSMetadataQueryDidStartGatheringNotification, AnyObject(shared_from_this())));
    backend_->start(scopes, std::move(reporter));
    return true;
}

void MetadataQuery::stopQuery() {
    {
        std::lock_guard lock(mutex_);
        if (!started_) return;
        started_ = false;
        gathering_ = false;
        stopped_ = true;
        ++generation_;
        held_.reset();
    }
    backend_->stop();
}

bool MetadataQuery::isStarted() const {
    std::lock_guard lock(mutex_);
    return started_;
}

bool MetadataQuery::isGathering() const {
    std::lock_guard lock(mutex_);
    return gathering_;
}

bool MetadataQuery::isStopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

void MetadataQuery::disableUpdates() {
    std::lock_guard lock(mutex_);
    ++disableCount_;
}

void MetadataQuery::enableUpdates() {
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        if (disableCount_ > 0 && --disableCount_ == 0) post = held_ != nullptr;
    }
    if (post) perform([](MetadataQuery& q) { q.postHeld(); });
}

MetadataItemArray MetadataQuery::results() const {
    std::lock_guard lock(mutex_);
    return results_;
}

std::size_t MetadataQuery::resultCount() const {
    std::lock_guard lock(mutex_);
    return results_.size();
}

MetadataItemArray MetadataQuery::matching(MetadataItemArray items) const {
    MetadataQueryPredicate predicate = this->predicate();
    std::erase_if(items, [&](const MetadataItemPtr& item) { return !item || !predicate.matches(*item); });
    return items;
}

void MetadataQuery::perform(std::function<void(MetadataQuery&)> block) {
    std::shared_ptr<RunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        loop = loop_;
    }
    if (!loop) return;
    loop->perform({RunLoop::kCommonModes}, [weak = weak_from_this(), block = std::move(block)] {
        if (auto self = weak.lock()) block(*self);
    });
}

void MetadataQuery::applyGatheringFinished(std::uint64_t generation, MetadataItemArray results) {
    results = matching(std::move(results));
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_) return;
        gathering_ = false;
        results_ = std::move(results);
    }
    NotificationCenter::defaultCenter().post(
        Notification(NSMetadataQueryDidFinishGatheringNotification, AnyObject(shared_from_this())));
}

void MetadataQuery::applyUpdate(std::uint64_t generation, MetadataItemArray added, MetadataItemArray changed,
                                MetadataItemArray removed, MetadataItemArray results) {
    added = matching(std::move(added));
    changed = matching(std::move(changed));
    removed = matching(std::move(removed));
    results = matching(std::move(results));
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_) return;
        if (disableCount_ > 0 || held_) {
            if (!held_) held_ = std::make_unique<Held>();
            held_->merge(added, changed, removed, std::move(results));
            return;
        }
        results_ = std::move(results);
    }
    NotificationCenter::defaultCenter().post(
        Notification(NSMetadataQueryDidUpdateNotification, AnyObject(shared_from_this()), Value(),
                     {{NSMetadataQueryUpdateAddedItemsKey, arrayObject(added)},
                      {NSMetadataQueryUpdateChangedItemsKey, arrayObject(changed)},
                      {NSMetadataQueryUpdateRemovedItemsKey, arrayObject(removed)}}));
}

void MetadataQuery::applyRawUpdate(std::uint64_t generation, Notification::ObjectUserInfo userInfo,
                                   MetadataItemArray results) {
    results = matching(std::move(results));
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_) return;
        if (disableCount_ > 0 || held_) {
            if (!held_) held_ = std::make_unique<Held>();
            held_->raw.emplace_back(std::move(userInfo), std::move(results));
            return;
        }
        results_ = std::move(results);
    }
    NotificationCenter::defaultCenter().post(Notification(NSMetadataQueryDidUpdateNotification,
                                                          AnyObject(shared_from_this()), Value(), std::move(userInfo)));
}

void MetadataQuery::postHeld() {
    std::unique_ptr<Held> held;
    {
        std::lock_guard lock(mutex_);
        if (disableCount_ > 0 || !held_) return;
        held = std::move(held_);
    }
    // Typed changes first, as one update; updates of the backend's own making
    // after them, in order. Each goes through the same path, so an observer
    // that pauses the query meanwhile holds the rest again.
    std::uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        generation = generation_;
    }
    if (held->hasTyped) {
        applyUpdate(generation, held->added.items(), held->changed.items(), held->removed.items(),
                    std::move(held->results));
    }
    for (auto& [info, results] : held->raw) applyRawUpdate(generation, std::move(info), std::move(results));
}
