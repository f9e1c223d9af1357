#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Operation.h"

// The base of long-running background operations whose progress a
// screen shows. Every visible change happens on the main thread: the five
// *OnMainThread setters do their work at once on the main thread and, called
// on any other thread, hand it to the main queue synchronously and return only
// when the main thread has done it. So key-value observers of the properties
// ("title", "headline", "currentStep", "progress", "errorMessage") are always
// told on the main thread, and updates arrive in the order they were made.
// A subclass must not call the setters while the main thread waits for the
// operation: the two would wait for each other.
class FCOperationWithProgress : public Operation {
public:
    using ProgressBlock = std::function<void(double progress)>;
    using CurrentStepBlock = std::function<void(const std::optional<std::string>& currentStep)>;

    FCOperationWithProgress() = default;

    // Set on the main thread; the progress callback then runs with the new value.
    void setProgressOnMainThread(double progress);
    // Set on the main thread; the current-step callback then runs with the new text.
    void setCurrentStepOnMainThread(const std::optional<std::string>& currentStep);
    void setTitleOnMainThread(const std::optional<std::string>& title);
    void setHeadlineOnMainThread(const std::optional<std::string>& headline);
    void setErrorMessageOnMainThread(const std::optional<std::string>& errorMessage);

    // Plain accessors. The setters announce the change to key-value observers
    // on the calling thread; the callbacks run only from the *OnMainThread setters.
    std::optional<std::string> identifier() const;
    void setIdentifier(const std::optional<std::string>& identifier);
    std::optional<std::string> title() const;
    void setTitle(const std::optional<std::string>& title);
    std::optional<std::string> headline() const;
    void setHeadline(const std::optional<std::string>& headline);
    std::optional<std::string> currentStep() const;
    void setCurrentStep(const std::optional<std::string>& currentStep);
    std::optional<std::string> errorMessage() const;
    void setErrorMessage(const std::optional<std::string>& errorMessage);
    std::optional<std::string> logoPath() const;
    void setLogoPath(const std::optional<std::string>& logoPath);
    double progress() const;
    void setProgress(double progress);

    // The callbacks are copied in and out under a lock (atomic properties).
    ProgressBlock didUpdateProgress() const;
    void setDidUpdateProgress(ProgressBlock block);
    CurrentStepBlock didUpdateCurrentStep() const;
    void setDidUpdateCurrentStep(CurrentStepBlock block);

    std::optional<Value> valueForKey(const std::string& key) const override;

private:
    void setString(std::optional<std::string>& field, const std::optional<std::string>& value, const char* key);

    mutable std::mutex mutex_;
    std::optional<std::string> identifier_;
    std::optional<std::string> title_;
    std::optional<std::string> headline_;
    std::optional<std::string> currentStep_;
    std::optional<std::string> errorMessage_;
    std::optional<std::string> logoPath_;
    double progress_ = 0;
    ProgressBlock didUpdateProgress_;
    CurrentStepBlock didUpdateCurrentStep_;
};
