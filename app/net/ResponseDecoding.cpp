#include "app/net/ResponseDecoding.h"

#include <map>
#include <mutex>

namespace ResponseDecoding {

AFHTTPOperationClass makeClass(std::string name, std::set<std::string> contentTypes, std::set<std::string> extensions) {
    return AFHTTPOperationClass(
        std::move(name), &AFHTTPRequestOperation::classObject(), std::nullopt,
        std::optional<std::set<std::string>>(std::move(contentTypes)),
        [extensions = std::move(extensions)](const AFHTTPOperationClass&, const URLRequest& request) {
            return request.url() && extensions.count(request.url()->pathExtension()) > 0;
        });
}

std::shared_ptr<DispatchQueue> processingQueue(const std::string& label) {
    static std::mutex mutex;
    static auto* queues = new std::map<std::string, std::shared_ptr<DispatchQueue>>;
    std::lock_guard lock(mutex);
    auto& queue = (*queues)[label];
    if (!queue) queue = DispatchQueue::create(label, DispatchQueue::Attributes::Concurrent);
    return queue;
}

void installCompletion(AFHTTPRequestOperation& operation, std::shared_ptr<DispatchQueue> queue, bool checkFirst,
                       std::function<std::any(AFHTTPRequestOperation&)> decode,
                       AFHTTPRequestOperation::ResponseObjectSuccessBlock success,
                       AFHTTPRequestOperation::FailureBlock failure) {
    std::weak_ptr<Operation> weak = operation.weak_from_this();
    auto deliver = [](const std::shared_ptr<DispatchQueue>& target, std::function<void()> block) {
        if (target)
            target->async(std::move(block));
        else
            DispatchQueue::main().async(std::move(block));
    };
    auto fail = [deliver, failure](const std::shared_ptr<AFHTTPRequestOperation>& self, const Error& error) {
        if (failure) deliver(self->failureCallbackQueue(), [self, failure, error] { failure(self, error); });
    };
    operation.setCompletionBlock([weak, queue, checkFirst, decode, success, deliver, fail] {
        auto self = std::static_pointer_cast<AFHTTPRequestOperation>(weak.lock());
        if (!self) return;
        if (checkFirst)
            if (Error error = self->error()) return fail(self, error);
        queue->async([self, checkFirst, decode, success, deliver, fail] {
            if (!checkFirst)
                if (Error error = self->error()) return fail(self, error);
            std::any object = decode(*self);
            if (Error error = self->error()) return fail(self, error);
            if (success) deliver(self->successCallbackQueue(), [self, success, object] { success(self, object); });
        });
    });
}

}  // namespace ResponseDecoding
