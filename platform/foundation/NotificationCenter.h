#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <typeinfo>

#include "platform/foundation/Value.h"

class OperationQueue;

// The object of a notification: nil, an object held by a std::shared_ptr
// (compared by identity, as the platform compares objects), or a string
// identifier (compared by value; deck identifiers are strings).
class AnyObject {
public:
    AnyObject() = default;
    AnyObject(std::nullptr_t) {}
    template <class T>
    AnyObject(std::shared_ptr<T> object) {
        if (!object) return;
        using U = std::remove_cv_t<T>;
        U* raw = const_cast<U*>(object.get());
        pointer_ = std::shared_ptr<void>(object, raw);
        type_ = std::type_index(typeid(U));
        thrower_ = [raw] { throw raw; };
    }
    AnyObject(std::string identifier) : string_(std::move(identifier)) {}
    AnyObject(const char* identifier) : string_(std::string(identifier)) {}

    bool isNil() const { return !pointer_ && !string_; }
    explicit operator bool() const { return !isNil(); }
    const std::string* string() const { return string_ ? &*string_ : nullptr; }
    const void* identity() const { return pointer_.get(); }

    // The object as a T (the type it was made with or a public base of it), or
    // nullptr.
    template <class T>
    std::shared_ptr<T> as() const {
        if (!pointer_) return nullptr;
        if (type_ == std::type_index(typeid(T))) return std::static_pointer_cast<T>(pointer_);
        try {
            thrower_();
        } catch (T* base) {
            return std::shared_ptr<T>(pointer_, base);
        } catch (...) {
        }
        return nullptr;
    }

    bool operator==(const AnyObject& other) const {
        if (string_ || other.string_) return string_ == other.string_;
        return pointer_.get() == other.pointer_.get();
    }

private:
    std::shared_ptr<void> pointer_;
    std::type_index type_ = std::type_index(typeid(void));
    std::function<void()> thrower_;  // throws the pointer so that `catch` converts it to a base
    std::optional<std::string> string_;
};

class Notification {
public:
    // User-info entries that are objects, not values (the metadata query's
    // arrays of metadata items, say), by key.
    using ObjectUserInfo = std::map<std::string, AnyObject>;

    explicit Notification(std::string name, AnyObject object = {}, Value userInfo = {},
                          ObjectUserInfo objectUserInfo = {})
        : name_(std::move(name)),
          object_(std::move(object)),
          userInfo_(std::move(userInfo)),
          objectUserInfo_(std::move(objectUserInfo)) {}
    const std::string& name() const { return name_; }
    const AnyObject& object() const { return object_; }
    const Value& userInfo() const { return userInfo_; }  // null when there is none
    const ObjectUserInfo& objectUserInfo() const { return objectUserInfo_; }
    // The object entry of the key, or nil.
    AnyObject objectUserInfoForKey(const std::string& key) const {
        auto it = objectUserInfo_.find(key);
        return it == objectUserInfo_.end() ? AnyObject() : it->second;
    }

private:
    std::string name_;
    AnyObject object_;
    Value userInfo_;
    ObjectUserInfo objectUserInfo_;
};

// The token of a block observer: the observation ends when the token is
// destroyed or removed from its center, whichever comes first.
class NotificationObserver {
public:
    ~NotificationObserver();
    NotificationObserver(const NotificationObserver&) = delete;
    NotificationObserver& operator=(const NotificationObserver&) = delete;

private:
    friend class NotificationCenter;
    struct State;
    NotificationObserver(std::weak_ptr<State> center, std::uint64_t id) : center_(std::move(center)), id_(id) {}
    void remove();
    std::weak_ptr<State> center_;
    std::uint64_t id_;
};

// NSNotificationCenter. Posting is synchronous: every matching observer runs
// before post returns, on the posting thread; an observer given an operation
// queue runs there while the poster waits (at once when that queue is the
// current one). A name or object left out matches any. Observers added or
// removed while a notification goes out take effect for the next one.
class NotificationCenter : public std::enable_shared_from_this<NotificationCenter> {
public:
    using Block = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();
    static std::shared_ptr<NotificationCenter> create();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // addObserverForName:object:queue:usingBlock:. Keep the token: destroying
    // it ends the observation.
    [[nodiscard]] std::shared_ptr<NotificationObserver> addObserverForName(std::optional<std::string> name,
                                                                           AnyObject object,
                                                                           std::shared_ptr<OperationQueue> queue,
                                                                           Block block);
    void removeObserver(const std::shared_ptr<NotificationObserver>& token);

    // addObserver:selector:name:object: with the selector as a block, and the
    // observer as an owner key for removal.
    void addObserver(const void* observer, std::optional<std::string> name, AnyObject object, Block block);
    void removeObserver(const void* observer);
    void removeObserver(const void* observer, const std::optional<std::string>& name, const AnyObject& object);

    void post(const Notification& notification);
    void postNotificationName(std::string name, AnyObject object = {}, Value userInfo = {});

private:
    NotificationCenter();
    std::shared_ptr<NotificationObserver::State> state_;
};
