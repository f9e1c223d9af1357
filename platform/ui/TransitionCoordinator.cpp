#include "platform/ui/TransitionCoordinator.h"

#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

void ViewControllerTransitionCoordinator::animateAlongsideTransition(std::function<void()> alongside,
                                                                     std::function<void()> completion) {
    if (alongside) alongside_.push_back(std::move(alongside));
    if (completion) completions_.push_back(std::move(completion));
}

void ViewControllerTransitionCoordinator::run(const std::function<void()>& sizeChange) {
    auto alongside = std::move(alongside_);
    auto completions = std::move(completions_);
    auto changes = [&] {
        if (sizeChange) sizeChange();
        for (auto& block : alongside) block();
    };
    auto finish = [completions](bool) {
        for (auto& block : completions) block();
    };
    if (duration_ > 0) {
        View::animate(duration_, changes, finish);
    } else {
        View::performWithoutAnimation(changes);
        finish(true);
    }
}

void transitionViewControllerToSize(ViewController& controller, Size size, double duration) {
    auto keep = controller.shared_from_this();
    auto coordinator = std::make_shared<ViewControllerTransitionCoordinator>(duration);
    controller.viewWillTransitionToSize(size, coordinator);
    coordinator->run([&] {
        const auto& view = controller.view();
        Rect frame = view->frame();
        frame.size = size;
        view->setFrame(frame);
    });
}
