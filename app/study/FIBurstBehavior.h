#pragma once

#include <memory>
#include <mutex>

#include "platform/ui/DynamicAnimator.h"

// The burst of one balloon: the balloon drifts off (a linear velocity of
// (1, 1)), and at every animator step loses 0.1 of its alpha while its bounds
// grow from their size at the start towards three times that size, in step
// with the fading (size = start + (1 − alpha) × (target − start)). Once its
// alpha is at or below 0 the balloon leaves the behaviour and the behaviour
// its animator: about ten steps from full opacity.
class FIBurstBehavior : public DynamicItemBehavior {
public:
    static constexpr double kAlphaStep = 0.1;
    static constexpr double kGrowth = 3;

    // The item may be null (a behaviour over nothing, which does nothing).
    static std::shared_ptr<FIBurstBehavior> initWithItem(const std::shared_ptr<View>& item);

    Size targetSize() const;
    void setTargetSize(Size size);
    Size startSize() const;
    void setStartSize(Size size);

    explicit FIBurstBehavior(std::vector<std::shared_ptr<View>> items);

private:
    void burstStep();

    mutable std::mutex sizesLock_;
    Size targetSize_;
    Size startSize_;
};
