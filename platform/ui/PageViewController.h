#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/ViewController.h"

class PageViewController;

enum class PageViewControllerNavigationDirection { Forward, Reverse };
enum class PageViewControllerTransitionStyle { PageCurl, Scroll };
enum class PageViewControllerNavigationOrientation { Horizontal, Vertical };

// Gives the pages next to a shown one; nullptr ends the sequence there.
class PageViewControllerDataSource {
public:
    virtual ~PageViewControllerDataSource() = default;
    virtual std::shared_ptr<ViewController> pageViewControllerViewControllerBefore(
        PageViewController& pageViewController, ViewController& viewController) = 0;
    virtual std::shared_ptr<ViewController> pageViewControllerViewControllerAfter(
        PageViewController& pageViewController, ViewController& viewController) = 0;
};

// Told about transitions the user drives.
class PageViewControllerDelegate {
public:
    virtual ~PageViewControllerDelegate() = default;
    // Before a swipe shows the pages.
    virtual void pageViewControllerWillTransitionTo(PageViewController& /*pageViewController*/,
                                                    const std::vector<std::shared_ptr<ViewController>>& /*pending*/) {}
    // After the swipe: `completed` is false when the user let go and the
    // previous pages stay.
    virtual void pageViewControllerDidFinishAnimating(
        PageViewController& /*pageViewController*/, bool /*finished*/,
        const std::vector<std::shared_ptr<ViewController>>& /*previousViewControllers*/, bool /*completed*/) {}
};

// A container that shows one page (a child controller) at a time and moves
// between pages by swiping (UIPageViewController). The shown pages are set
// with a direction, or reached by swiping: a drag of the finger across the
// view along its orientation (its pan recogniser) swipes forward when it goes
// left (or up) and back when it goes right (or down), and completes when it
// ends past the middle of the view (not flicked back) or flicked on faster
// than kSwipeCompletionVelocity; a drag mostly across the orientation turns
// nothing. A swipe() goes through the data source: it
// asks the data source for the page before or after the shown one, tells the
// delegate before it starts and after it ends, and either shows that page
// (completed) or keeps the shown one (cancelled). The shown page is a child
// whose view fills the container's view. Main thread.
class PageViewController : public ViewController {
public:
    explicit PageViewController(
        PageViewControllerTransitionStyle style = PageViewControllerTransitionStyle::Scroll,
        PageViewControllerNavigationOrientation orientation = PageViewControllerNavigationOrientation::Horizontal)
        : style_(style), orientation_(orientation) {}

    // Points per second.
    static constexpr double kSwipeCompletionVelocity = 300;

    PageViewControllerTransitionStyle transitionStyle() const { return style_; }
    PageViewControllerNavigationOrientation navigationOrientation() const { return orientation_; }

    // Held weakly.
    std::shared_ptr<PageViewControllerDataSource> dataSource() const { return dataSource_.lock(); }
    void setDataSource(const std::shared_ptr<PageViewControllerDataSource>& dataSource) { dataSource_ = dataSource; }
    std::shared_ptr<PageViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<PageViewControllerDelegate>& delegate) { delegate_ = delegate; }

    // The pages shown (one in the scroll style).
    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return viewControllers_; }
    // Shows the pages in place of the shown ones, without telling the
    // delegate; the completion gets true once they are shown.
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> viewControllers,
                            PageViewControllerNavigationDirection direction, bool animated,
                            std::function<void(bool finished)> completion = nullptr);
    // The direction of the last change of the shown pages.
    PageViewControllerNavigationDirection lastDirection() const { return lastDirection_; }

    // The user swipes to the next (Forward) or the previous (Reverse) page and
    // lets go past the middle (completes) or before it (cancelled). Returns
    // false when the data source has no page there: nothing happens then.
    bool swipe(PageViewControllerNavigationDirection direction, bool completes = true);

    void loadView() override;
    void viewDidLayoutSubviews() override;

private:
    void show(std::vector<std::shared_ptr<ViewController>> pages);
    void handleDrag(const PanGestureRecognizer& recognizer);

    PageViewControllerTransitionStyle style_;
    PageViewControllerNavigationOrientation orientation_;
    std::weak_ptr<PageViewControllerDataSource> dataSource_;
    std::weak_ptr<PageViewControllerDelegate> delegate_;
    std::vector<std::shared_ptr<ViewController>> viewControllers_;
    PageViewControllerNavigationDirection lastDirection_ = PageViewControllerNavigationDirection::Forward;
    std::shared_ptr<PanGestureRecognizer> swipeRecognizer_;
};
