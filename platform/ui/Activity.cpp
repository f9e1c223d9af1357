#include "platform/ui/Activity.h"

void Activity::activityDidFinish(bool completed) {
    if (finished_) return;
    finished_ = true;
    completed_ = completed;
    if (DidFinishHandler handler = std::move(didFinishHandler_)) handler(*this, completed);
}
