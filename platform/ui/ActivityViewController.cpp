#include "platform/ui/ActivityViewController.h"

#include <algorithm>

#include "platform/ui/PresentationController.h"

namespace {

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
