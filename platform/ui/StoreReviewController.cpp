#include "platform/ui/StoreReviewController.h"

namespace {

struct Requests {
    std::mutex mutex;
    std::vector<Window*> scenes;
};

Requests& requestsStore() {
    static Requests* store = new Requests;
    return *store;
}

}  // namespace

void StoreReviewController::requestReviewInScene(Window* scene) {
    auto& store = requestsStore();
    std::lock_guard lock(store.mutex);
    store.scenes.push_back(scene);
}

std::vector<Window*> StoreReviewController::requests() {
    auto& store = requestsStore();
    std::lock_guard lock(store.mutex);
    return store.scenes;
}

std::size_t StoreReviewController::requestCount() { return requests().size(); }

void StoreReviewController::reset() {
    auto& store = requestsStore();
    std::lock_guard lock(store.mutex);
    store.scenes.clear();
}
