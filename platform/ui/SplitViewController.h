#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/ViewController.h"

class SplitViewController;

// How the two columns of an expanded split view share its width. The values
// are the platform's.
enum class SplitViewControllerDisplayMode : std::int64_t {
    Automatic = 0,           // as OneBesideSecondary
    SecondaryOnly = 1,       // the secondary fills the view; the primary is off screen
    OneBesideSecondary = 2,  // the primary column on the left, the secondary beside it
    OneOverSecondary = 3,    // the secondary fills the view, the primary column lies over its left side
};

// Every method is optional.
class SplitViewControllerDelegate {
public:
    virtual ~SplitViewControllerDelegate() = default;
    // The split view collapses to one column. True: the delegate handled it
    // and the secondary is dropped. False: the default collapse (the primary
    // takes the secondary, see SplitViewController).
    virtual bool collapseSecondaryViewController(SplitViewController& /*splitViewController*/,
                                                 ViewController& /*secondary*/, ViewController& /*primary*/) {
        return false;
    }
    // The split view expands to two columns: the secondary to show, or null
    // to let the primary give it.
    virtual std::shared_ptr<ViewController> separateSecondaryViewController(
        SplitViewController& /*splitViewController*/, ViewController& /*primary*/) {
        return nullptr;
    }
};

// A primary controller that gives the secondary back itself when the split
// view expands (a controller adopts it besides ViewController; the split view
// finds it by a cross-cast).
class SplitViewPrimaryController {
public:
    virtual ~SplitViewPrimaryController() = default;
    // The controller to show as secondary, or null for none.
    virtual std::shared_ptr<ViewController> separateSecondaryViewController(
        SplitViewController& splitViewController) = 0;
};

// A primary and an optional secondary controller side by side, or one column
// where the width is compact.
//
// The split view is collapsed while its horizontal size class is compact (a
// phone) and expanded while it is regular (a pad). It takes the state when
// its view is made, before it appears, and whenever the traits of the screen
// change (tests switch the size class through the device idiom).
//
// Collapsing with a secondary asks the delegate first. When the delegate does
// not handle it, a navigation controller primary pushes the secondary (a
// navigation controller too, typically) onto its own stack without
// animation; any other primary drops it. Either way the secondary stops
// being a child of the split view, and viewControllers() holds the primary
// alone.
//
// Expanding asks the delegate for the secondary, then a primary adopting
// SplitViewPrimaryController; by default a navigation controller primary
// pops its top when that is a navigation controller (the one a collapse
// pushed) and gives it back. With no secondary the split view stays in one
// column of the primary (not collapsed).
//
// The children are contained as usual: views in the split view's view
// appear and disappear with it.
class SplitViewController : public ViewController {
public:
    // The width of the primary column when expanded.
    static constexpr double kPrimaryColumnWidth = 320;

    SplitViewController();
    ~SplitViewController() override;

    // The primary, then the secondary while there is one (never while
    // collapsed).
    std::vector<std::shared_ptr<ViewController>> viewControllers() const;
    // One or two controllers (more are ignored): the primary and an optional
    // secondary; a collapsed split view collapses the new secondary at once.
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers);

    bool isCollapsed() const { return collapsed_; }

    // Shows the controller as the secondary in place of the one shown (a
    // collapsed split view collapses it onto the primary at once).
    void showDetailViewController(std::shared_ptr<ViewController> controller);

    SplitViewControllerDisplayMode preferredDisplayMode() const { return preferredDisplayMode_; }
    void setPreferredDisplayMode(SplitViewControllerDisplayMode mode);

    const std::weak_ptr<SplitViewControllerDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<SplitViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void traitCollectionDidChange(const std::optional<TraitCollection>& previous) override;

    // The default expansion of a navigation controller primary: pops its top
    // without animation when that is a navigation controller above the root
    // and returns it; null otherwise.
    static std::shared_ptr<ViewController> popSecondaryFromPrimary(ViewController& primary);

private:
    friend class SplitContainerView;
    void updateCollapsedState();
    void collapse();
    void expand();
    void installSecondary(std::shared_ptr<ViewController> secondary);
    std::shared_ptr<ViewController> detachSecondary();
    // Puts the shown columns' views in the split view's view (and takes the
    // others out), then lays them out.
    void installViews();
    void layoutContent();

    std::shared_ptr<ViewController> primary_;
    std::shared_ptr<ViewController> secondary_;
    bool collapsed_ = false;
    SplitViewControllerDisplayMode preferredDisplayMode_ = SplitViewControllerDisplayMode::Automatic;
    std::weak_ptr<SplitViewControllerDelegate> delegate_;
};

// The nearest split view controller among the controller's parents (the
// platform's splitViewController property), or null.
std::shared_ptr<SplitViewController> enclosingSplitViewController(const ViewController& controller);
