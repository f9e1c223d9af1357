#include "platform/ui/PageViewController.h"

#include <algorithm>

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

void PageViewController::viewDidLayoutSubviews() {
    ViewController::viewDidLayoutSubviews();
    if (!isViewLoaded()) return;
    for (const auto& page : viewControllers_) {
        if (page->isViewLoaded()) page->view()->setFrame(view()->bounds());
    }
}
