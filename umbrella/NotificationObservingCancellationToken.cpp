#include "umbrella/NotificationObservingCancellationToken.h"

void NotificationObservingCancellationToken::removeObserver() {
    std::shared_ptr<NotificationCenter> center;
    {
        std::lock_guard lock(mutex_);
        center.swap(center_);
    }
    if (center) center->removeObserver(token_);
}

std::shared_ptr<NotificationCenter> NotificationObservingCancellationToken::center() const {
    std::lock_guard lock(mutex_);
    return center_;
}

std::shared_ptr<NotificationObservingCancellationToken> addObserver(NotificationCenter& center,
                                                                    std::optional<std::string> name, AnyObject object,
                                                                    std::shared_ptr<OperationQueue> queue,
                                                                    NotificationCenter::Block block) {
    auto token = center.addObserverForName(std::move(name), std::move(object), std::move(queue), std::move(block));
    return std::make_shared<NotificationObservingCancellationToken>(center.shared_from_this(), std::move(token));
}
