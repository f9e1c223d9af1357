#include "platform/ui/PageViewController.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/View.h"

void PageViewController::show(std::vector<std::shared_ptr<ViewController>> pages) {
    const auto& container = view();
    for (const auto& old : viewControllers_) {
        if (std::find(pages.begin(), pages.end(), old) != pages.end()) continue;
        old->willMoveToParentViewController(nullptr);
        if (old->isViewLoaded()) old->view()->removeFromSuperview();
        old->removeFromParentViewController();
    }
    const auto previous = viewControllers_;
    viewControllers_ = std::move(pages);
    for (const auto& page : viewControllers_) {
        if (std::find(previous.begin(), previous.end(), page) != previous.end()) continue;
        addChildViewController(page);
        page->view()->setFrame(container->bounds());
        container->addSubview(page->view());
        page->didMoveToParentViewController(this);
    }
}

void PageViewController::setViewControllers(std::vector<std::shared_ptr<ViewController>> viewControllers,
                                            PageViewControllerNavigationDirection direction, bool /*animated*/,
                                            std::function<void(bool finished)> completion) {
    lastDirection_ = direction;
    show(std::move(viewControllers));
    if (completion) completion(true);
}

bool PageViewController::swipe(PageViewControllerNavigationDirection direction, bool completes) {
    auto source = dataSource();
    if (!source || viewControllers_.empty()) return false;
    // Keep the shown page alive while the data source and delegate look at it.
    const auto current = viewControllers_.back();
    auto next = direction == PageViewControllerNavigationDirection::Forward
                    ? source->pageViewControllerViewControllerAfter(*this, *current)
                    : source->pageViewControllerViewControllerBefore(*this, *current);
    if (!next) return false;
    const auto previous = viewControllers_;
    if (auto d = delegate()) d->pageViewControllerWillTransitionTo(*this, {next});
    if (completes) {
        lastDirection_ = direction;
        show({next});
    }
    if (auto d = delegate()) d->pageViewControllerDidFinishAnimating(*this, true, previous, completes);
    return true;
}

void PageViewController::loadView() {
    ViewController::loadView();
    std::weak_ptr<ViewController> weak = weak_from_this();
    swipeRecognizer_ = std::make_shared<PanGestureRecognizer>([weak](GestureRecognizer& recognizer) {
        if (auto self = std::static_pointer_cast<PageViewController>(weak.lock()))
            self->handleDrag(static_cast<PanGestureRecognizer&>(recognizer));
    });
    view()->addGestureRecognizer(swipeRecognizer_);
}

void PageViewController::handleDrag(const PanGestureRecognizer& recognizer) {
    if (recognizer.state() != GestureRecognizerState::Ended) return;
    const View* container = viewIfLoaded().get();
    const bool horizontal = orientation_ == PageViewControllerNavigationOrientation::Horizontal;
    const Point translation = recognizer.translationInView(container);
    const Point velocity = recognizer.velocityInView(container);
    const double along = horizontal ? translation.x : translation.y;
    const double across = horizontal ? translation.y : translation.x;
    if (along == 0 || std::abs(across) > std::abs(along)) return;
    const double speed = horizontal ? velocity.x : velocity.y;
    const double length =
        container ? (horizontal ? container->bounds().size.width : container->bounds().size.height) : 0;
    // Flicked back, the page returns; flicked on, it turns; else it turns
    // when let go past the middle.
    const bool flickedBack = speed * along < 0 && std::abs(speed) > kSwipeCompletionVelocity;
    const bool flickedOn = speed * along > 0 && std::abs(speed) > kSwipeCompletionVelocity;
    const bool completes = !flickedBack && (flickedOn || std::abs(along) > length / 2);
    swipe(along < 0 ? PageViewControllerNavigationDirection::Forward : PageViewControllerNavigationDirection::Reverse,
          completes);
}

void PageViewController::viewDidLayoutSubviews() {
    ViewController::viewDidLayoutSubviews();
    if (!isViewLoaded()) return;
    for (const auto& page : viewControllers_) {
        if (page->isViewLoaded()) page->view()->setFrame(view()->bounds());
    }
}
