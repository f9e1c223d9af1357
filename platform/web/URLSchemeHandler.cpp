#include "platform/web/URLSchemeHandler.h"

namespace {

[[noreturn]] void raiseInconsistency(const std::string& reason) {
    throw NamedException("NSInternalInconsistencyException", reason);
}

}  // namespace

void URLSchemeTask::checkOpen(const char* operation) const {
    if (stopped_) raiseInconsistency(std::string(operation) + ": This task has already been stopped");
    if (finished_ || failure_) raiseInconsistency(std::string(operation) + ": This task has already been completed");
}

void URLSchemeTask::didReceiveResponse(const Response& response) {
    std::lock_guard lock(mutex_);
    checkOpen("didReceiveResponse");
    if (response_) raiseInconsistency("didReceiveResponse: A response has already been sent for this task");
    response_ = response;
}

void URLSchemeTask::didReceiveData(const Data& data) {
    std::lock_guard lock(mutex_);
    checkOpen("didReceiveData");
    if (!response_) raiseInconsistency("didReceiveData: No response has been sent for this task");
    data_.insert(data_.end(), data.begin(), data.end());
}

void URLSchemeTask::didFinish() {
    {
        std::lock_guard lock(mutex_);
        checkOpen("didFinish");
        if (!response_) raiseInconsistency("didFinish: No response has been sent for this task");
        finished_ = true;
    }
    ended();
}

void URLSchemeTask::didFailWithError(const Error& error) {
    {
        std::lock_guard lock(mutex_);
        checkOpen("didFailWithError");
        failure_ = error;
    }
    ended();
}

void URLSchemeTask::setEndHandler(std::function<void()> handler) {
    {
        std::lock_guard lock(mutex_);
        endHandler_ = std::move(handler);
        if (!finished_ && !failure_) return;
    }
    ended();
}

void URLSchemeTask::ended() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        handler = std::move(endHandler_);
        endHandler_ = nullptr;
    }
    if (handler) handler();
}

std::optional<URLSchemeTask::Response> URLSchemeTask::response() const {
    std::lock_guard lock(mutex_);
    return response_;
}

Data URLSchemeTask::receivedData() const {
    std::lock_guard lock(mutex_);
    return data_;
}

bool URLSchemeTask::isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

std::optional<Error> URLSchemeTask::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

bool URLSchemeTask::isStopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

void URLSchemeTask::markStopped() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
}
