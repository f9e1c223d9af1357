#include "model/TWMainQueueCalls.h"

#include "platform/foundation/Dispatch.h"

void twAsyncCallCompletionHandlerOnMainQueue(const std::function<void()>& block) {
    if (!block) return;
    DispatchQueue::main().async(block);
}

void twAsyncCallCompletionHandlerOnMainQueue(const std::function<void(const Error& error)>& block, const Error& error) {
    if (!block) return;
    DispatchQueue::main().async([block, error] { block(error); });
}

void twAsyncCallCompletionHandlerOnMainQueue(const std::function<void(const Error& error, bool flag)>& block,
                                             const Error& error, bool flag) {
    if (!block) return;
    DispatchQueue::main().async([block, error, flag] { block(error, flag); });
}
