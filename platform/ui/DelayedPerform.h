#pragma once

#include <functional>
#include <memory>

// Delayed calls aimed at an object (performSelector:withObject:afterDelay: and
// cancelPreviousPerformRequestsWithTarget:): the block runs on the main run
// loop once `seconds` have passed on the injectable clock, unless the target
// is gone by then (it is held weakly) or its requests were cancelled. Main
// thread.
void performAfterDelay(const std::shared_ptr<const void>& target, double seconds, std::function<void()> block);
// Cancels every request aimed at the target that has not run yet; the
// requests aimed at other objects stay.
void cancelPreviousPerformRequests(const void* target);
