#include "app/study/FIBurstBehavior.h"

#include "platform/ui/View.h"

FIBurstBehavior::FIBurstBehavior(std::vector<std::shared_ptr<View>> items)
    : DynamicItemBehavior(std::move(items)) {}

std::shared_ptr<FIBurstBehavior> FIBurstBehavior::initWithItem(const std::shared_ptr<View>& item) {
    std::vector<std::shared_ptr<View>> items;
    if (item) items.push_back(item);
    auto behavior = std::make_shared<FIBurstBehavior>(std::move(items));
    if (item) {
        behavior->addLinearVelocity({1.0, 1.0}, item.get());
        const Size start = item->bounds().size;
        behavior->setStartSize(start);
        behavior->setTargetSize({start.width * kGrowth, start.height * kGrowth});
    }
    std::weak_ptr<FIBurstBehavior> weak = behavior;
    behavior->setAction([weak] {
        if (auto self = weak.lock()) self->burstStep();
    });
    return behavior;
}

Size FIBurstBehavior::targetSize() const {
    std::lock_guard lock(sizesLock_);
    return targetSize_;
}

void FIBurstBehavior::setTargetSize(Size size) {
    std::lock_guard lock(sizesLock_);
    targetSize_ = size;
}

Size FIBurstBehavior::startSize() const {
    std::lock_guard lock(sizesLock_);
    return startSize_;
}

void FIBurstBehavior::setStartSize(Size size) {
    std::lock_guard lock(sizesLock_);
    startSize_ = size;
}

void FIBurstBehavior::burstStep() {
    auto keep = shared_from_this();
    if (items().empty()) return;
    auto item = items().back();
    const Size start = startSize(), target = targetSize();
    View::performWithoutAnimation([&] {
        item->setAlpha(item->alpha() - kAlphaStep);
        const double a = item->alpha();
        const Rect bounds = item->bounds();
        item->setBounds(Rect(bounds.origin, {start.width + (1 - a) * (target.width - start.width),
                                             start.height + (1 - a) * (target.height - start.height)}));
    });
    if (item->alpha() <= 0) {
        removeItem(item.get());
        if (auto animator = dynamicAnimator()) animator->removeBehavior(this);
    }
}
