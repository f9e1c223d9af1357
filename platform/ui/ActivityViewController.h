#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/ui/ViewController.h"

class Activity;

// The activities a share sheet can offer for its items.
namespace ActivityType {
inline constexpr const char* kMessage = "Message";
inline constexpr const char* kMail = "Mail";
inline constexpr const char* kPrint = "Print";
inline constexpr const char* kCopyToPasteboard = "CopyToPasteboard";
inline constexpr const char* kAirDrop = "AirDrop";
inline constexpr const char* kAddToReadingList = "AddToReadingList";
inline constexpr const char* kSaveToFiles = "SaveToFiles";
}  // namespace ActivityType

// The share sheet: it offers the platform's activities for its items, less
// the excluded ones. It is presented as a popover (anchor it at a bar button
// item or a view through popoverPresentationController() before presenting;
// where the width is compact it shows as a sheet). Nothing leaves the
// process here: each time a sheet appears, what it offers is recorded, so that
// screens and their tests can see what the user was offered.
class ActivityViewController : public ViewController {
public:
    // One share sheet as it appeared.
    struct Offer {
        std::vector<Value> activityItems;
        std::vector<std::string> offeredActivityTypes;
        std::vector<std::string> excludedActivityTypes;
        std::shared_ptr<BarButtonItem> anchorBarButtonItem;  // null when anchored elsewhere
    };

    // Every activity the platform knows, in the order the sheet lists them.
    static const std::vector<std::string>& allActivityTypes();

    // applicationActivities: the app's own activities, offered before the platform's.
    explicit ActivityViewController(std::vector<Value> activityItems,
                                    std::vector<std::string> applicationActivities = {});
    // The app's own activities as objects (offered by their types, in order;
    // one without a type is not offered); the user can choose them.
    ActivityViewController(std::vector<Value> activityItems,
                           std::vector<std::shared_ptr<Activity>> applicationActivities);

    const std::vector<Value>& activityItems() const { return activityItems_; }
    const std::vector<std::string>& excludedActivityTypes() const { return excludedActivityTypes_; }
    void setExcludedActivityTypes(std::vector<std::string> types) { excludedActivityTypes_ = std::move(types); }
    // The app's activities, then the platform's, less the excluded ones.
    std::vector<std::string> offeredActivityTypes() const;

    // The user chooses one of the app's activities by its type: it is
    // prepared with the items, then either its controller is presented over
    // the sheet or it performs its work. When it finishes, the sheet goes
    // (with what it presented). False, with nothing done, for a type the
    // sheet does not offer as an activity object or one that cannot act on
    // the items.
    bool chooseActivity(const std::string& activityType);

    // The sheet shows the app's activities as a list of choices with Cancel.
    void loadView() override;
    void viewWillAppear(bool animated) override;

    // The sheets that appeared since the last reset, in order (main thread).
    static const std::vector<Offer>& recordedOffers();
    static void resetRecording();

private:
    std::vector<Value> activityItems_;
    std::vector<std::string> applicationActivities_;
    std::vector<std::shared_ptr<Activity>> activityObjects_;
    std::vector<std::string> excludedActivityTypes_;
};
