#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/Geometry.h"

class ViewController;

// What a controller is given while its view changes size (a rotation, a
// window resized): blocks to run alongside the transition's animation, and
// blocks to run once it has completed.
class ViewControllerTransitionCoordinator {
public:
    explicit ViewControllerTransitionCoordinator(double duration) : duration_(duration) {}

    double transitionDuration() const { return duration_; }
    bool isAnimated() const { return duration_ > 0; }
    // Either block may be empty. Alongside blocks run inside the
    // transition's animation, after the view has its new size.
    void animateAlongsideTransition(std::function<void()> alongside, std::function<void()> completion = {});

    // Runs the alongside blocks (in the order given) within one animation of
    // the duration and the completions in order when it ends (at once
    // without a duration).
    void run(const std::function<void()>& sizeChange);

private:
    double duration_;
    std::vector<std::function<void()>> alongside_;
    std::vector<std::function<void()>> completions_;
};

// Changes the size of a controller's view as a rotation does: the controller
// (and, through the default viewWillTransitionToSize, its children) is told
// first; then the view takes the size and the alongside blocks run in an
// animation of `duration` on the clock; the completions follow its end.
void transitionViewControllerToSize(ViewController& controller, Size size, double duration = 0.3);
