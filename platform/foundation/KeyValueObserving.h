#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Value.h"

// Key-value observation, as small as the model and the operations need it.
//
// A class derives from KVOObservable and wraps each change of a property in
// willChangeValueForKey / didChangeValueForKey. Observers register for a key
// or a key path ("studyStats.combinedConfidenceAndDifficulty"; a leading
// "self." is ignored) and are told on the thread that made the change.
//
// - Dependent keys: a class overrides keyPathsForValuesAffectingValueForKey
//   (the platform's keyPathsForValuesAffecting<Key>); observers of the key are
//   then told when any of those key paths changes, recursively.
// - Key paths through child objects: the class names its child objects in
//   observableForKey. Observing "a.b" watches "a" on the object and "b" on the
//   current child; when "a" changes the observation moves to the new child.
// - Values: a class may answer valueForKey with a Value for observers that ask
//   for old or new values; without it the change carries none. Most observers
//   only need to know that something changed.
//
// Registrations are thread-safe; notifications go out without locks held.
// An object nobody observes carries no observer table: the table is made when
// the first observer registers, and until then announcing a change costs one
// atomic load (no allocation, no lock).
// Observers registered with addObserver are held unretained, as the platform
// does: remove them before they go away. Block observations (observe) end when
// their token is destroyed and may outlive the object.

enum KVOOptions : unsigned {
    KVOOptionNone = 0,
    KVOOptionNew = 1u << 0,
    KVOOptionOld = 1u << 1,
    KVOOptionInitial = 1u << 2,  // one call at registration, before addObserver returns
    KVOOptionPrior = 1u << 3,    // also a call before each change (isPrior)
};

struct KVOChange {
    bool isPrior = false;  // the will-change call (only with KVOOptionPrior)
    std::optional<Value> oldValue;
    std::optional<Value> newValue;
};

class KVOObservable;

// The platform's observeValueForKeyPath:ofObject:change:context:.
class KVOObserver {
public:
    virtual ~KVOObserver() = default;
    virtual void observeValueForKeyPath(const std::string& keyPath, KVOObservable& object, const KVOChange& change,
                                        void* context) = 0;
};

namespace kvo_detail {
struct Table;
class PathObservation;
}  // namespace kvo_detail

// A block observation; destroying it (or invalidate) ends the observation.
class KVOObservation {
public:
    ~KVOObservation();
    KVOObservation(const KVOObservation&) = delete;
    KVOObservation& operator=(const KVOObservation&) = delete;
    void invalidate();

private:
    friend class KVOObservable;
    explicit KVOObservation(std::unique_ptr<kvo_detail::PathObservation> path);
    std::unique_ptr<kvo_detail::PathObservation> path_;
};

class KVOObservable {
public:
    using Handler = std::function<void(KVOObservable& object, const KVOChange& change)>;

    KVOObservable();
    // A copy starts without observers.
    KVOObservable(const KVOObservable& other);
    KVOObservable& operator=(const KVOObservable& other);
    virtual ~KVOObservable();

    void addObserver(KVOObserver* observer, const std::string& keyPath, unsigned options = KVOOptionNone,
                     void* context = nullptr);
    // Removes the most recent matching registration; nothing when there is none.
    void removeObserver(KVOObserver* observer, const std::string& keyPath, void* context);
    void removeObserver(KVOObserver* observer, const std::string& keyPath);

    [[nodiscard]] std::unique_ptr<KVOObservation> observe(const std::string& keyPath, unsigned options,
                                                          Handler handler);

    void willChangeValueForKey(std::string_view key);
    void didChangeValueForKey(std::string_view key);

    // Class-level declarations, answered per key.
    virtual std::vector<std::string> keyPathsForValuesAffectingValueForKey(const std::string& key) const;
    virtual std::shared_ptr<KVOObservable> observableForKey(const std::string& key) const;
    virtual std::optional<Value> valueForKey(const std::string& key) const;
    // Follows child objects along the path; nullopt where a link is missing.
    std::optional<Value> valueForKeyPath(const std::string& keyPath) const;

protected:
    // Called after every observer has been told of a did-change of the key.
    virtual void keyValueDidChange(std::string_view key);

private:
    friend class kvo_detail::PathObservation;
    // The observer table, made on first registration (see ensureTable).
    const std::shared_ptr<kvo_detail::Table>& ensureTable();
    // Held through a pointer so that "no table yet" is one atomic word.
    std::atomic<std::shared_ptr<kvo_detail::Table>*> table_{nullptr};
};

// Splits a key path into its keys, dropping leading "self" components.
std::vector<std::string> kvoSplitKeyPath(const std::string& keyPath);
