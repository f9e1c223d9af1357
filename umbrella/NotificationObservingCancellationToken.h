#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/NotificationCenter.h"

class OperationQueue;

// Ends a block observation of a notification center exactly once: on
// removeObserver() or when the token is destroyed, whichever comes first.
// Whoever keeps the token keeps the observation.
class NotificationObservingCancellationToken {
public:
    NotificationObservingCancellationToken(std::shared_ptr<NotificationCenter> center,
                                           std::shared_ptr<NotificationObserver> token)
        : center_(std::move(center)), token_(std::move(token)) {}
    ~NotificationObservingCancellationToken() { removeObserver(); }
    NotificationObservingCancellationToken(const NotificationObservingCancellationToken&) = delete;
    NotificationObservingCancellationToken& operator=(const NotificationObservingCancellationToken&) = delete;

    // Removes the observer from its center; later calls do nothing.
    void removeObserver();

    std::shared_ptr<NotificationCenter> center() const;
    const std::shared_ptr<NotificationObserver>& token() const { return token_; }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<NotificationCenter> center_;
    std::shared_ptr<NotificationObserver> token_;
};

// Observes the center with a block (addObserverForName:object:queue:usingBlock:)
// and returns the token that ends the observation.
std::shared_ptr<NotificationObservingCancellationToken> addObserver(NotificationCenter& center,
                                                                    std::optional<std::string> name, AnyObject object,
                                                                    std::shared_ptr<OperationQueue> queue,
                                                                    NotificationCenter::Block block);
