#include "model/FCOperationWithProgress.h"

#include <utility>

#include "platform/foundation/Dispatch.h"

namespace {

std::optional<Value> optionalStringValue(const std::optional<std::string>& s) {
    if (!s) return Value();
    return Value(*s);
}

}  // namespace

// DispatchQueue::main().sync runs the block at once on the main thread and
// waits for the main thread everywhere else, which is exactly the hand-off the
// Part asks for.

void FCOperationWithProgress::setProgressOnMainThread(double progress) {
    DispatchQueue::main().sync([&] {
        setProgress(progress);
        if (auto block = didUpdateProgress()) block(progress);
    });
}

void FCOperationWithProgress::setCurrentStepOnMainThread(const std::optional<std::string>& currentStep) {
    DispatchQueue::main().sync([&] {
        setCurrentStep(currentStep);
        if (auto block = didUpdateCurrentStep()) block(currentStep);
    });
}

void FCOperationWithProgress::setTitleOnMainThread(const std::optional<std::string>& title) {
    DispatchQueue::main().sync([&] { setTitle(title); });
}

void FCOperationWithProgress::setHeadlineOnMainThread(const std::optional<std::string>& headline) {
    DispatchQueue::main().sync([&] { setHeadline(headline); });
}

void FCOperationWithProgress::setErrorMessageOnMainThread(const std::optional<std::string>& errorMessage) {
    DispatchQueue::main().sync([&] { setErrorMessage(errorMessage); });
}

void FCOperationWithProgress::setString(std::optional<std::string>& field, const std::optional<std::string>& value,
                                        const char* key) {
    willChangeValueForKey(key);
    {
        std::lock_guard lock(mutex_);
        field = value;
    }
    didChangeValueForKey(key);
}

std::optional<std::string> FCOperationWithProgress::identifier() const {
    std::lock_guard lock(mutex_);
    return identifier_;
}
void FCOperationWithProgress::setIdentifier(const std::optional<std::string>& identifier) {
    setString(identifier_, identifier, "identifier");
}

std::optional<std::string> FCOperationWithProgress::title() const {
    std::lock_guard lock(mutex_);
    return title_;
}
void FCOperationWithProgress::setTitle(const std::optional<std::string>& title) {
    setString(title_, title, "title");
}

std::optional<std::string> FCOperationWithProgress::headline() const {
    std::lock_guard lock(mutex_);
    return headline_;
}
void FCOperationWithProgress::setHeadline(const std::optional<std::string>& headline) {
    setString(headline_, headline, "headline");
}

std::optional<std::string> FCOperationWithProgress::currentStep() const {
    std::lock_guard lock(mutex_);
    return currentStep_;
}
void FCOperationWithProgress::setCurrentStep(const std::optional<std::string>& currentStep) {
    setString(currentStep_, currentStep, "currentStep");
}

std::optional<std::string> FCOperationWithProgress::errorMessage() const {
    std::lock_guard lock(mutex_);
    return errorMessage_;
}
void FCOperationWithProgress::setErrorMessage(const std::optional<std::string>& errorMessage) {
    setString(errorMessage_, errorMessage, "errorMessage");
}

std::optional<std::string> FCOperationWithProgress::logoPath() const {
    std::lock_guard lock(mutex_);
    return logoPath_;
}
void FCOperationWithProgress::setLogoPath(const std::optional<std::string>& logoPath) {
    setString(logoPath_, logoPath, "logoPath");
}

double FCOperationWithProgress::progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}
void FCOperationWithProgress::setProgress(double progress) {
    willChangeValueForKey("progress");
    {
        std::lock_guard lock(mutex_);
        progress_ = progress;
    }
    didChangeValueForKey("progress");
}

FCOperationWithProgress::ProgressBlock FCOperationWithProgress::didUpdateProgress() const {
    std::lock_guard lock(mutex_);
    return didUpdateProgress_;
}
void FCOperationWithProgress::setDidUpdateProgress(ProgressBlock block) {
    ProgressBlock old;  // released after the lock
    std::lock_guard lock(mutex_);
    old = std::exchange(didUpdateProgress_, std::move(block));
}

FCOperationWithProgress::CurrentStepBlock FCOperationWithProgress::didUpdateCurrentStep() const {
    std::lock_guard lock(mutex_);
    return didUpdateCurrentStep_;
}
void FCOperationWithProgress::setDidUpdateCurrentStep(CurrentStepBlock block) {
    CurrentStepBlock old;  // released after the lock
    std::lock_guard lock(mutex_);
    old = std::exchange(didUpdateCurrentStep_, std::move(block));
}

std::optional<Value> FCOperationWithProgress::valueForKey(const std::string& key) const {
    if (key == "identifier") return optionalStringValue(identifier());
    if (key == "title") return optionalStringValue(title());
    if (key == "headline") return optionalStringValue(headline());
    if (key == "currentStep") return optionalStringValue(currentStep());
    if (key == "errorMessage") return optionalStringValue(errorMessage());
    if (key == "logoPath") return optionalStringValue(logoPath());
    if (key == "progress") return Value(progress());
    return Operation::valueForKey(key);
}
