#include "platform/ui/ActivityViewController.h"

#include <algorithm>

#include "platform/ui/Activity.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/PresentationController.h"

namespace {

// The sheet's view: it dims what it covers and places the list of choices
// as an action sheet's (in a popover, the list fills it).
class ShareSheetView : public View {
public:
    explicit ShareSheetView(std::shared_ptr<AlertBoxView> box) : box_(std::move(box)) { addSubview(box_); }
    void layoutSubviews() override { AlertBoxView::placeIn(*this, *box_); }

private:
    std::shared_ptr<AlertBoxView> box_;
};

std::vector<ActivityViewController::Offer>& offers() {
    static std::vector<ActivityViewController::Offer> recorded;
    return recorded;
}

}  // namespace

const std::vector<std::string>& ActivityViewController::allActivityTypes() {
    static const std::vector<std::string> types{
        ActivityType::kAirDrop,           ActivityType::kMessage, ActivityType::kMail,
        ActivityType::kCopyToPasteboard,  ActivityType::kPrint,   ActivityType::kAddToReadingList,
        ActivityType::kSaveToFiles,
    };
    return types;
}

ActivityViewController::ActivityViewController(std::vector<Value> activityItems,
                                               std::vector<std::string> applicationActivities)
    : activityItems_(std::move(activityItems)), applicationActivities_(std::move(applicationActivities)) {
    setModalPresentationStyle(ModalPresentationStyle::Popover);
}

ActivityViewController::ActivityViewController(std::vector<Value> activityItems,
                                               std::vector<std::shared_ptr<Activity>> applicationActivities)
    : ActivityViewController(std::move(activityItems)) {
    for (auto& activity : applicationActivities) {
        if (!activity) continue;
        if (auto type = activity->activityType()) applicationActivities_.push_back(*type);
        activityObjects_.push_back(std::move(activity));
    }
}

bool ActivityViewController::chooseActivity(const std::string& activityType) {
    const auto offered = offeredActivityTypes();
    if (std::find(offered.begin(), offered.end(), activityType) == offered.end()) return false;
    auto found = std::find_if(activityObjects_.begin(), activityObjects_.end(),
                              [&](const auto& activity) { return activity->activityType() == activityType; });
    if (found == activityObjects_.end() || !(*found)->canPerformWithActivityItems(activityItems_)) return false;
    auto activity = *found;
    std::weak_ptr<ViewController> weakSheet = weak_from_this();
    activity->setDidFinishHandler([weakSheet](Activity&, bool) {
        auto sheet = weakSheet.lock();
        if (!sheet) return;
        if (auto presenter = sheet->presentingViewController())
            presenter->dismissViewController(true);
        else if (sheet->presentedViewController())
            sheet->dismissViewController(true);
    });
    activity->prepareWithActivityItems(activityItems_);
    if (auto controller = activity->activityViewController())
        presentViewController(controller, true);
    else
        activity->performActivity();
    return true;
}

std::vector<std::string> ActivityViewController::offeredActivityTypes() const {
    std::vector<std::string> offered;
    auto add = [&](const std::string& type) {
        if (std::find(excludedActivityTypes_.begin(), excludedActivityTypes_.end(), type) !=
            excludedActivityTypes_.end())
            return;
        if (std::find(offered.begin(), offered.end(), type) == offered.end()) offered.push_back(type);
    };
    for (const auto& type : applicationActivities_) add(type);
    for (const auto& type : allActivityTypes()) add(type);
    return offered;
}

void ActivityViewController::loadView() {
    // One choice per activity of the app's that can act on the items, then
    // Cancel. The platform's own activities send nothing off this machine
    // and are not listed.
    auto box = std::make_shared<AlertBoxView>(true);
    std::weak_ptr<ViewController> weak = weak_from_this();
    const auto offered = offeredActivityTypes();
    for (const auto& activity : activityObjects_) {
        const auto type = activity->activityType();
        if (!type || std::find(offered.begin(), offered.end(), *type) == offered.end() ||
            !activity->canPerformWithActivityItems(activityItems_))
            continue;
        auto button = box->addButton(activity->activityTitle().value_or(*type), AlertActionStyle::Default, true);
        button->addTarget(
            [weak, type = *type](Control&) {
                if (auto self = std::static_pointer_cast<ActivityViewController>(weak.lock()))
                    self->chooseActivity(type);
            },
            ControlEventTouchUpInside);
    }
    auto cancel = box->addButton(std::string("Cancel"), AlertActionStyle::Cancel, true);
    cancel->addTarget(
        [weak](Control&) {
            auto self = weak.lock();
            if (!self || self->presentedViewController()) return;
            if (auto presenter = self->presentingViewController()) presenter->dismissViewController(true);
        },
        ControlEventTouchUpInside);
    setView(std::make_shared<ShareSheetView>(box));
    setPreferredContentSize(box->popoverSize());
}

void ActivityViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    Offer offer{activityItems_, offeredActivityTypes(), excludedActivityTypes_, nullptr};
    if (auto popover = popoverPresentationController()) offer.anchorBarButtonItem = popover->barButtonItem();
    offers().push_back(std::move(offer));
}

const std::vector<ActivityViewController::Offer>& ActivityViewController::recordedOffers() {
    return offers();
}

void ActivityViewController::resetRecording() {
    offers().clear();
}
