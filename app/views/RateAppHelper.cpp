#include "app/views/RateAppHelper.h"

#include "app/shell/FIAnalytics.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/StoreReviewController.h"

namespace {

constexpr double kMinimumDaysBetweenPrompts = 14.0;

bool isRecent(const UserDefaults& defaults, const char* key) {
    auto date = defaults.dateForKey(key);
    if (!date) return false;
    const double days = Date::now().timeIntervalSinceDate(*date) / 60 / 60 / 24;
    return days < kMinimumDaysBetweenPrompts;
}

}  // namespace

void RateAppHelper::askToRateAppIfPossibleWithScene(Window* scene) {
    if (!scene) return;
    UserDefaults& defaults = UserDefaults::standard();
    for (const char* key : {"FILastDateAskedForReview", "FIFirstLaunchDate"}) {
        if (isRecent(defaults, key)) return;
    }
    defaults.setObject(Value(Date::now()), "FILastDateAskedForReview");
    defaults.synchronize();
    StoreReviewController::requestReviewInScene(scene);
    FIAnalytics::shared().trackEventWithName("SKStoreReviewRequest");
}
