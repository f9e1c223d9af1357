#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/foundation/Operation.h"

namespace {

struct Entry {
    std::uint64_t id;
    const void* owner;  // addObserver:selector: observers; nullptr for block observers
    std::optional<std::string> name;
    AnyObject object;
    std::shared_ptr<OperationQueue> queue;
    NotificationCenter::Block block;
    std::atomic<bool> active{true};

    bool matches(const Notification& n) const {
        return (!name || *name == n.name()) && (object.isNil() || object == n.object());
    }
};

}  // namespace

struct NotificationObserver::State {
    std::mutex mutex;
    std::uint64_t nextId = 1;
    std::vector<std::shared_ptr<Entry>> entries;

    template <class Pred>
    void removeIf(Pred pred) {
        std::vector<std::shared_ptr<Entry>> removed;  // released outside the lock
        std::lock_guard lock(mutex);
        for (auto it = entries.begin(); it != entries.end();) {
            if (pred(**it)) {
                (*it)->active = false;
                removed.push_back(std::move(*it));
                it = entries.erase(it);
            } else {
                ++it;
            }
        }
        // `removed` is declared before `lock`, so it goes after the unlock.
    }
};

NotificationObserver::~NotificationObserver() {
    remove();
}

void NotificationObserver::remove() {
    auto center = center_.lock();
    center_.reset();
    if (!center) return;
    center->removeIf([id = id_](const Entry& e) { return e.id == id; });
}

NotificationCenter::NotificationCenter() : state_(std::make_shared<NotificationObserver::State>()) {}
NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter() {
    static auto* center = new std::shared_ptr<NotificationCenter>(new NotificationCenter);
    return **center;
}

std::shared_ptr<NotificationCenter> NotificationCenter::create() {
    return std::shared_ptr<NotificationCenter>(new NotificationCenter);
}

std::shared_ptr<NotificationObserver> NotificationCenter::addObserverForName(std::optional<std::string> name,
                                                                             AnyObject object,
                                                                             std::shared_ptr<OperationQueue> queue,
                                                                             Block block) {
    auto entry = std::make_shared<Entry>();
    entry->owner = nullptr;
    entry->name = std::move(name);
    entry->object = std::move(object);
    entry->queue = std::move(queue);
    entry->block = std::move(block);
    std::lock_guard lock(state_->mutex);
    entry->id = state_->nextId++;
    state_->entries.push_back(entry);
    return std::shared_ptr<NotificationObserver>(new NotificationObserver(state_, entry->id));
}

void NotificationCenter::removeObserver(const std::shared_ptr<NotificationObserver>& token) {
    if (token) token->remove();
}

void NotificationCenter::addObserver(const void* observer, std::optional<std::string> name, AnyObject object,
                                     Block block) {
    auto entry = std::make_shared<Entry>();
    entry->owner = observer;
    entry->name = std::move(name);
    entry->object = std::move(object);
    entry->block = std::move(block);
    std::lock_guard lock(state_->mutex);
    entry->id = state_->nextId++;
    state_->entries.push_back(std::move(entry));
}

void NotificationCenter::removeObserver(const void* observer) {
    if (!observer) return;
    state_->removeIf([observer](const Entry& e) { return e.owner == observer; });
}

void NotificationCenter::removeObserver(const void* observer, const std::optional<std::string>& name,
                                        const AnyObject& object) {
    if (!observer) return;
    state_->removeIf([&](const Entry& e) {
        return e.owner == observer && (!name || e.name == name) && (object.isNil() || e.object == object);
    });
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::shared_ptr<Entry>> matching;
    {
        std::lock_guard lock(state_->mutex);
        for (auto& entry : state_->entries)
            if (entry->matches(notification)) matching.push_back(entry);
    }
    for (auto& entry : matching) {
        if (!entry->active) continue;
        if (entry->queue && entry->queue != OperationQueue::currentQueue()) {
            auto operation = entry->queue->addOperationWithBlock([entry, notification] {
                if (entry->active) entry->block(notification);
            });
            operation->waitUntilFinished();
        } else {
            entry->block(notification);
        }
    }
}

void NotificationCenter::postNotificationName(std::string name, AnyObject object, Value userInfo) {
    post(Notification(std::move(name), std::move(object), std::move(userInfo)));
}
