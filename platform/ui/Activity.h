#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

class Image;
class ViewController;

enum class ActivityCategory { Action, Share };

// An entry an app adds to a share sheet (the platform's activity base): what
// the sheet shows of it (category, type, title, image), whether it can act on
// the sheet's items, and either a view controller the sheet presents or work
// of its own. The activity says when it is done with activityDidFinish; the
// sheet, through the did-finish handler it sets, dismisses what it presented
// and tells its own completion.
//
// Activities are held by std::shared_ptr.
class Activity : public std::enable_shared_from_this<Activity> {
public:
    using DidFinishHandler = std::function<void(Activity& activity, bool completed)>;

    Activity() = default;
    virtual ~Activity() = default;
    Activity(const Activity&) = delete;
    Activity& operator=(const Activity&) = delete;

    // A class property on the platform; Action unless a subclass says otherwise.
    virtual ActivityCategory activityCategory() const { return ActivityCategory::Action; }
    virtual std::optional<std::string> activityType() const { return std::nullopt; }
    virtual std::optional<std::string> activityTitle() const { return std::nullopt; }
    virtual std::shared_ptr<Image> activityImage() const { return nullptr; }
    virtual bool canPerformWithActivityItems(const std::vector<Value>& /*items*/) const { return false; }
    virtual void prepareWithActivityItems(const std::vector<Value>& /*items*/) {}
    // A controller for the sheet to present in place of performActivity; null for none.
    virtual std::shared_ptr<ViewController> activityViewController() { return nullptr; }
    // Work without a controller; the default finishes at once, not completed.
    virtual void performActivity() { activityDidFinish(false); }

    // Tells the sheet the activity is done; later calls do nothing.
    void activityDidFinish(bool completed);
    bool hasFinished() const { return finished_; }
    bool finishedCompleted() const { return completed_; }
    void setDidFinishHandler(DidFinishHandler handler) { didFinishHandler_ = std::move(handler); }

private:
    DidFinishHandler didFinishHandler_;
    bool finished_ = false;
    bool completed_ = false;
};
