#include "platform/foundation/KeyValueObserving.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>

namespace kvo_detail {

// One phase of a change: true before it (will), false after it (did).
using Signal = std::function<void(bool prior)>;

struct Entry {
    Signal signal;
    std::atomic<bool> active{true};
};

// An object's observers: shared so that observations which outlive the object
// can still unregister safely.
struct Table {
    struct Registration {
        KVOObserver* observer;
        std::string keyPath;
        void* context;
        std::unique_ptr<PathObservation> path;
    };

    std::mutex mutex;
    std::atomic<bool> alive{true};
    std::uint64_t nextId = 1;
    std::map<std::string, std::map<std::uint64_t, std::shared_ptr<Entry>>, std::less<>> entries;
    // Entries in the map, readable without the lock: announcing a change of
    // an object whose observers all went away takes no lock.
    std::atomic<std::size_t> entryCount{0};
    std::vector<Registration> registrations;

    std::uint64_t add(const std::string& key, Signal signal) {
        auto entry = std::make_shared<Entry>();
        entry->signal = std::move(signal);
        std::lock_guard lock(mutex);
        std::uint64_t id = nextId++;
        entries[key].emplace(id, std::move(entry));
        entryCount.fetch_add(1, std::memory_order_relaxed);
        return id;
    }

    void remove(const std::string& key, std::uint64_t id) {
        std::shared_ptr<Entry> removed;  // released after the lock
        std::lock_guard lock(mutex);
        auto keyIt = entries.find(key);
        if (keyIt == entries.end()) return;
        auto it = keyIt->second.find(id);
        if (it == keyIt->second.end()) return;
        removed = std::move(it->second);
        removed->active = false;
        keyIt->second.erase(it);
        entryCount.fetch_sub(1, std::memory_order_relaxed);
        if (keyIt->second.empty()) entries.erase(keyIt);
    }

    // In registration order.
    std::vector<std::shared_ptr<Entry>> entriesFor(std::string_view key) {
        std::vector<std::shared_ptr<Entry>> out;
        if (entryCount.load(std::memory_order_relaxed) == 0) return out;
        std::lock_guard lock(mutex);
        auto keyIt = entries.find(key);
        if (keyIt == entries.end()) return out;
        out.reserve(keyIt->second.size());
        for (auto& [id, entry] : keyIt->second) out.push_back(entry);
        return out;
    }
};

// Watches one key path on one object and raises `signal` whenever the value at
// the path will change or did change: when its first key changes (directly or
// through a dependent key path), or when the rest of the path changes on the
// current child object.
class PathObservation {
public:
    PathObservation(KVOObservable& object, std::vector<std::string> keys, std::shared_ptr<Signal> signal, int depth);
    ~PathObservation();
    PathObservation(const PathObservation&) = delete;
    PathObservation& operator=(const PathObservation&) = delete;

private:
    struct ChildSlot {
        std::mutex mutex;
        bool detached = false;
        std::unique_ptr<PathObservation> child;
    };
    static void rebind(ChildSlot& slot, KVOObservable& object, const std::string& key,
                       const std::vector<std::string>& rest, const std::shared_ptr<Signal>& signal, int depth);

    static constexpr int kMaxDepth = 32;

    std::shared_ptr<Table> table_;
    std::string key_;
    std::uint64_t entryId_ = 0;
    std::vector<std::unique_ptr<PathObservation>> dependents_;
    std::shared_ptr<ChildSlot> slot_;
};

PathObservation::PathObservation(KVOObservable& object, std::vector<std::string> keys, std::shared_ptr<Signal> signal,
                                 int depth)
    : table_(object.ensureTable()), key_(keys.front()) {
    if (depth > kMaxDepth) {
        std::fprintf(stderr, "KVO: dependent key paths of \"%s\" nest too deep (a cycle?); not followed\n",
                     key_.c_str());
        return;
    }
    std::vector<std::string> rest(keys.begin() + 1, keys.end());
    if (!rest.empty()) {
        slot_ = std::make_shared<ChildSlot>();
        std::lock_guard lock(slot_->mutex);
        rebind(*slot_, object, key_, rest, signal, depth);
    }

    // The object is touched only while its table is alive: a block observation
    // may outlive it and still hear from a child.
    auto onChange = std::make_shared<Signal>([weakTable = std::weak_ptr<Table>(table_), object = &object, key = key_,
                                              rest, signal, slot = slot_, depth](bool prior) {
        if (!prior && slot) {
            auto table = weakTable.lock();
            if (!table || !table->alive) return;
            std::lock_guard lock(slot->mutex);
            if (!slot->detached) rebind(*slot, *object, key, rest, signal, depth);
        }
        (*signal)(prior);
    });
    entryId_ = table_->add(key_, [onChange](bool prior) { (*onChange)(prior); });

    for (const auto& affecting : object.keyPathsForValuesAffectingValueForKey(key_)) {
        auto affectingKeys = kvoSplitKeyPath(affecting);
        if (affectingKeys.empty()) continue;
        dependents_.push_back(std::make_unique<PathObservation>(object, std::move(affectingKeys), onChange, depth + 1));
    }
}

PathObservation::~PathObservation() {
    if (entryId_) table_->remove(key_, entryId_);
    dependents_.clear();
    if (slot_) {
        std::unique_ptr<PathObservation> child;
        {
            std::lock_guard lock(slot_->mutex);
            slot_->detached = true;
            child = std::move(slot_->child);
        }
    }
}

void PathObservation::rebind(ChildSlot& slot, KVOObservable& object, const std::string& key,
                             const std::vector<std::string>& rest, const std::shared_ptr<Signal>& signal, int depth) {
    auto old = std::move(slot.child);
    old.reset();
    if (auto child = object.observableForKey(key))
        slot.child = std::make_unique<PathObservation>(*child, rest, signal, depth + 1);
}

// The signal at the top of an observation: turns phases into KVOChange calls
// with the values the observer asked for.
std::shared_ptr<Signal> makeRootSignal(const std::shared_ptr<Table>& table, KVOObservable* object,
                                       const std::string& keyPath, unsigned options, KVOObservable::Handler deliver) {
    struct Pending {
        std::mutex mutex;
        std::vector<std::optional<Value>> oldValues;  // one per will-change not yet matched
    };
    auto pending = std::make_shared<Pending>();
    return std::make_shared<Signal>([weakTable = std::weak_ptr<Table>(table), object, keyPath, options, pending,
                                     deliver = std::move(deliver)](bool prior) {
        auto table = weakTable.lock();
        if (!table || !table->alive) return;
        KVOChange change;
        if (prior) {
            if (options & KVOOptionOld) {
                change.oldValue = object->valueForKeyPath(keyPath);
                std::lock_guard lock(pending->mutex);
                pending->oldValues.push_back(change.oldValue);
            }
            if (!(options & KVOOptionPrior)) return;
            change.isPrior = true;
        } else {
            if (options & KVOOptionOld) {
                std::lock_guard lock(pending->mutex);
                if (!pending->oldValues.empty()) {
                    change.oldValue = std::move(pending->oldValues.back());
                    pending->oldValues.pop_back();
                }
            }
            if (options & KVOOptionNew) change.newValue = object->valueForKeyPath(keyPath);
        }
        deliver(*object, change);
    });
}

}  // namespace kvo_detail

using kvo_detail::PathObservation;
using kvo_detail::Table;

std::vector<std::string> kvoSplitKeyPath(const std::string& keyPath) {
    std::vector<std::string> keys;
    std::size_t start = 0;
    while (start <= keyPath.size()) {
        std::size_t dot = keyPath.find('.', start);
        if (dot == std::string::npos) dot = keyPath.size();
        std::string key = keyPath.substr(start, dot - start);
        if (!key.empty() && !(key == "self" && keys.empty())) keys.push_back(std::move(key));
        start = dot + 1;
    }
    return keys;
}

KVOObservation::KVOObservation(std::unique_ptr<PathObservation> path) : path_(std::move(path)) {}
KVOObservation::~KVOObservation() = default;
void KVOObservation::invalidate() {
    path_.reset();
}

KVOObservable::KVOObservable() = default;
KVOObservable::KVOObservable(const KVOObservable&) {}
KVOObservable& KVOObservable::operator=(const KVOObservable&) {
    return *this;
}

KVOObservable::~KVOObservable() {
    std::unique_ptr<std::shared_ptr<Table>> holder(table_.load(std::memory_order_acquire));
    if (!holder) return;
    const std::shared_ptr<Table>& table = *holder;
    table->alive = false;
    std::vector<Table::Registration> registrations;
    decltype(Table::entries) entries;
    {
        std::lock_guard lock(table->mutex);
        registrations = std::move(table->registrations);
        entries = std::move(table->entries);
    }
    // Destroyed here, outside the lock: they unregister from this and other tables.
}

const std::shared_ptr<Table>& KVOObservable::ensureTable() {
    std::shared_ptr<Table>* existing = table_.load(std::memory_order_acquire);
    if (existing) return *existing;
    auto* made = new std::shared_ptr<Table>(std::make_shared<Table>());
    if (table_.compare_exchange_strong(existing, made, std::memory_order_acq_rel)) return *made;
    delete made;  // another thread made it first
    return *existing;
}

void KVOObservable::addObserver(KVOObserver* observer, const std::string& keyPath, unsigned options, void* context) {
    auto keys = kvoSplitKeyPath(keyPath);
    if (!observer || keys.empty()) return;
    auto deliver = [observer, keyPath, context](KVOObservable& object, const KVOChange& change) {
        observer->observeValueForKeyPath(keyPath, object, change, context);
    };
    const auto& table = ensureTable();
    auto signal = kvo_detail::makeRootSignal(table, this, keyPath, options, deliver);
    auto path = std::make_unique<PathObservation>(*this, std::move(keys), signal, 0);
    {
        std::lock_guard lock(table->mutex);
        table->registrations.push_back({observer, keyPath, context, std::move(path)});
    }
    if (options & KVOOptionInitial) {
        KVOChange change;
        if (options & KVOOptionNew) change.newValue = valueForKeyPath(keyPath);
        deliver(*this, change);
    }
}

void KVOObservable::removeObserver(KVOObserver* observer, const std::string& keyPath, void* context) {
    std::shared_ptr<Table>* table = table_.load(std::memory_order_acquire);
    if (!table) return;
    std::unique_ptr<PathObservation> removed;
    std::lock_guard lock((*table)->mutex);
    auto& regs = (*table)->registrations;
    for (auto it = regs.rbegin(); it != regs.rend(); ++it) {
        if (it->observer == observer && it->keyPath == keyPath && it->context == context) {
            removed = std::move(it->path);
            regs.erase(std::next(it).base());
            break;
        }
    }
    // `removed` unregisters after the lock is let go (declared before it).
}

void KVOObservable::removeObserver(KVOObserver* observer, const std::string& keyPath) {
    std::shared_ptr<Table>* table = table_.load(std::memory_order_acquire);
    if (!table) return;
    std::unique_ptr<PathObservation> removed;
    std::lock_guard lock((*table)->mutex);
    auto& regs = (*table)->registrations;
    for (auto it = regs.rbegin(); it != regs.rend(); ++it) {
        if (it->observer == observer && it->keyPath == keyPath) {
            removed = std::move(it->path);
            regs.erase(std::next(it).base());
            break;
        }
    }
}

std::unique_ptr<KVOObservation> KVOObservable::observe(const std::string& keyPath, unsigned options, Handler handler) {
    auto keys = kvoSplitKeyPath(keyPath);
    if (!handler || keys.empty()) return nullptr;
    auto signal = kvo_detail::makeRootSignal(ensureTable(), this, keyPath, options, handler);
    std::unique_ptr<KVOObservation> token(
        new KVOObservation(std::make_unique<PathObservation>(*this, std::move(keys), signal, 0)));
    if (options & KVOOptionInitial) {
        KVOChange change;
        if (options & KVOOptionNew) change.newValue = valueForKeyPath(keyPath);
        handler(*this, change);
    }
    return token;
}

void KVOObservable::willChangeValueForKey(std::string_view key) {
    std::shared_ptr<Table>* table = table_.load(std::memory_order_acquire);
    if (!table) return;
    for (auto& entry : (*table)->entriesFor(key))
        if (entry->active) entry->signal(true);
}

void KVOObservable::didChangeValueForKey(std::string_view key) {
    if (std::shared_ptr<Table>* table = table_.load(std::memory_order_acquire))
        for (auto& entry : (*table)->entriesFor(key))
            if (entry->active) entry->signal(false);
    keyValueDidChange(key);
}

std::vector<std::string> KVOObservable::keyPathsForValuesAffectingValueForKey(const std::string&) const {
    return {};
}
std::shared_ptr<KVOObservable> KVOObservable::observableForKey(const std::string&) const {
    return nullptr;
}
std::optional<Value> KVOObservable::valueForKey(const std::string&) const {
    return std::nullopt;
}
void KVOObservable::keyValueDidChange(std::string_view) {}

std::optional<Value> KVOObservable::valueForKeyPath(const std::string& keyPath) const {
    auto keys = kvoSplitKeyPath(keyPath);
    if (keys.empty()) return std::nullopt;
    const KVOObservable* object = this;
    std::shared_ptr<KVOObservable> hold;
    for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
        hold = object->observableForKey(keys[i]);
        if (!hold) return std::nullopt;
        object = hold.get();
    }
    return object->valueForKey(keys.back());
}
