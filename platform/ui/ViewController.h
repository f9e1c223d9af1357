#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/View.h"

class BarButtonItem;
class NavigationController;
class NavigationItem;
class PopoverPresentationController;
class PresentationController;
class Storyboard;
class StoryboardSegue;
class ViewControllerTransitionCoordinator;

// How a presented controller is shown. Automatic and PageSheet fill the
// window; a form sheet is a centred card where the width is regular (the
// whole window where it is compact); a popover hangs from a bar button item
// or a view where the width is regular and becomes a form sheet where it is
// compact, unless the presentation delegate keeps it (answering None). Only
// FullScreen takes the presenter off screen (its viewWillDisappear and
// viewDidDisappear run, and once the cover is up its view is hidden, so that
// nothing of it shows through or takes a touch until the dismissal begins);
// the others leave it visible underneath.
enum class ModalPresentationStyle {
    Automatic,
    FullScreen,
    PageSheet,
    FormSheet,
    OverFullScreen,
    OverCurrentContext,
    Popover,
    None,
};

// How a presented controller comes on screen and goes: the cover slides up
// from the bottom and back down (the default); the others flip, fade or
// curl. Only the kind is kept here: every presentation takes the same
// transition time.
enum class ModalTransitionStyle { CoverVertical, FlipHorizontal, CrossDissolve, PartialCurl };

// A screen's controller with the platform's lifecycle:
// - the view is made on first use (loadView, then viewDidLoad, once); a
//   controller made from a storyboard scene gets its view and outlets from
//   the scene (Storyboard.h);
// - viewWillAppear / viewDidAppear and viewWillDisappear / viewDidDisappear
//   come in pairs as the view goes on and off screen (as a window's root,
//   presented, pushed on a navigation stack, or as a child whose view is in a
//   visible parent's view);
// - viewWillLayoutSubviews / viewDidLayoutSubviews bracket the layout of
//   the view.
// Presenting puts the presented controller's view over the window; the
// transition takes kTransitionDuration on the clock when animated (the
// completion and the did-callbacks come from the main run loop either way).
//
// Containment: a parent holds its children (addChildViewController, then
// adding the child's view, then didMoveToParentViewController; removal the
// other way round). A parent's appearance callbacks are passed on to the
// children whose views lie in its view, after its own; a child whose view
// enters or leaves the window while its parent is on screen appears or
// disappears by itself. Containers that manage their children's appearance
// themselves (NavigationController) answer false to
// shouldAutomaticallyForwardAppearanceMethods.
//
// Controllers are made with std::make_shared (they hand out weak references
// to themselves) and used on the main thread only.
class ViewController : public Responder, public std::enable_shared_from_this<ViewController> {
public:
    static constexpr double kTransitionDuration = 0.3;

    ViewController();
    ~ViewController() override;
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    // --- The view ---
    const std::shared_ptr<View>& view();
    const std::shared_ptr<View>& viewIfLoaded() const { return view_; }
    bool isViewLoaded() const { return static_cast<bool>(view_); }
    void setView(std::shared_ptr<View> view);
    void loadViewIfNeeded() { view(); }
    // Makes the view: a storyboard scene's view loader when the controller
    // comes from one, else a plain view of the screen's size.
    virtual void loadView();
    virtual void viewDidLoad() {}

    // --- Lifecycle ---
    virtual void viewWillAppear(bool /*animated*/) {}
    virtual void viewDidAppear(bool /*animated*/) {}
    virtual void viewWillDisappear(bool /*animated*/) {}
    virtual void viewDidDisappear(bool /*animated*/) {}
    virtual void viewWillLayoutSubviews() {}
    virtual void viewDidLayoutSubviews() {}
    // Whether the view is on screen (between did-appear and will-disappear).
    bool isVisible() const { return appearance_ == Appearance::Appeared; }
    // Told, for every controller in a visible window, when the screen's traits
    // (interface style, size classes) change; `previous` are the old ones.
    virtual void traitCollectionDidChange(const std::optional<TraitCollection>& /*previous*/) {}
    // Told, for every controller in a visible window, just before
    // traitCollectionDidChange: what it asks the coordinator to run
    // alongside runs then (at once: the change is not animated).
    virtual void willTransitionToTraitCollection(
        const TraitCollection& /*newCollection*/,
        const std::shared_ptr<ViewControllerTransitionCoordinator>& /*coordinator*/) {}
    // Told, for every controller in a visible window, when
    // Application::didReceiveMemoryWarning is called.
    virtual void didReceiveMemoryWarning() {}
    // The view is about to take a new size (TransitionCoordinator.h); the
    // base passes it on to the children.
    virtual void viewWillTransitionToSize(Size size,
                                          const std::shared_ptr<ViewControllerTransitionCoordinator>& coordinator);

    // How far the bars at the top (the status area and a navigation
    // controller's bar) reach into this controller's view.
    double topLayoutGuideLength();

    // The title; it is also the navigation item's title.
    std::optional<std::string> title() const { return title_; }
    void setTitle(std::optional<std::string> title);
    TraitCollection traitCollection() const;

    // --- Navigation ---
    // What a navigation bar shows while this controller is on top of a stack.
    NavigationItem& navigationItem();
    // The nearest navigation controller among this controller and its parents.
    std::shared_ptr<NavigationController> navigationController() const;
    // The items a navigation controller's toolbar shows while this controller
    // is on top.
    const std::vector<std::shared_ptr<BarButtonItem>>& toolbarItems() const { return toolbarItems_; }
    void setToolbarItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated = false);

    // --- Editing ---
    bool isEditing() const { return editing_; }
    // Sets the flag and updates editButtonItem's title ("Edit" / "Done");
    // subclasses call the base.
    virtual void setEditing(bool editing, bool animated);
    // A bar button item that toggles editing (setEditing(!isEditing(), true)),
    // titled "Edit", or "Done" while editing. Made on first use.
    const std::shared_ptr<BarButtonItem>& editButtonItem();

    // --- Child controllers ---
    std::shared_ptr<ViewController> parentViewController() const;
    const std::vector<std::shared_ptr<ViewController>>& childViewControllers() const { return children_; }
    // Adds a child (taking it from a former parent); calls the child's
    // willMoveToParentViewController(this). The caller adds the child's view
    // and then calls child->didMoveToParentViewController(this).
    void addChildViewController(const std::shared_ptr<ViewController>& child);
    // Removes this controller from its parent and calls
    // didMoveToParentViewController(nullptr). The caller first calls
    // willMoveToParentViewController(nullptr) and removes the view.
    void removeFromParentViewController();
    virtual void willMoveToParentViewController(ViewController* /*parent*/) {}
    virtual void didMoveToParentViewController(ViewController* /*parent*/) {}
    virtual bool shouldAutomaticallyForwardAppearanceMethods() const { return true; }

    // --- Presentation ---
    ModalPresentationStyle modalPresentationStyle() const { return modalPresentationStyle_; }
    // Choosing Popover makes the popover presentation controller to
    // configure before presenting.
    void setModalPresentationStyle(ModalPresentationStyle style);
    ModalTransitionStyle modalTransitionStyle() const { return modalTransitionStyle_; }
    void setModalTransitionStyle(ModalTransitionStyle style) { modalTransitionStyle_ = style; }
    // The size a popover or form sheet shows this controller at (zero: the
    // style's default).
    Size preferredContentSize() const { return preferredContentSize_; }
    void setPreferredContentSize(Size size) { preferredContentSize_ = size; }
    // A controller modal in presentation is not dismissed by a tap outside
    // its popover or a swipe down of its sheet (the delegate hears of the
    // attempt instead).
    bool isModalInPresentation() const { return modalInPresentation_; }
    void setModalInPresentation(bool modal) { modalInPresentation_ = modal; }
    // The presentation controller of this controller as presented (or about
    // to be), made on first use; null for a child, whose root ancestor is
    // the one presented.
    std::shared_ptr<PresentationController> presentationController();
    // The same object while the style is Popover, else null.
    std::shared_ptr<PopoverPresentationController> popoverPresentationController();
    // Presents over this controller's window. A child presents from its root
    // ancestor. Nothing happens when that controller already presents one or
    // its view is not in a window.
    void presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                               std::function<void()> completion = {});
    // Dismisses what this controller presents (everything above it), or,
    // when it presents nothing, this controller from its presenter.
    void dismissViewController(bool animated, std::function<void()> completion = {});
    // For a child, those of its root ancestor.
    std::shared_ptr<ViewController> presentedViewController() const;
    std::shared_ptr<ViewController> presentingViewController() const;
    bool isBeingPresented() const { return beingPresented_; }
    bool isBeingDismissed() const { return beingDismissed_; }

    // --- Storyboards and segues (Storyboard.h) ---
    // The storyboard this controller's scene comes from, if any (pushed and
    // presented scenes share their source's).
    std::shared_ptr<Storyboard> storyboard() const { return storyboard_; }
    // The identifier of the scene this controller was made from.
    const std::optional<std::string>& storyboardIdentifier() const { return sceneIdentifier_; }
    // Performs the scene's segue of that identifier: the destination scene is
    // made, prepareForSegue runs, then the segue is shown (pushed, presented,
    // as a popover or form sheet). shouldPerformSegueWithIdentifier is not
    // asked here; it is for segues triggered by a bar button item, a control
    // or a cell. Raises "NSInvalidArgumentException" when the scene has no
    // such segue (or the controller no storyboard).
    void performSegueWithIdentifier(const std::string& identifier, const AnyObject& sender);
    // Whether a triggered segue goes ahead (true by default).
    virtual bool shouldPerformSegueWithIdentifier(const std::string& /*identifier*/, const AnyObject& /*sender*/) {
        return true;
    }
    // Told before a segue is shown; the destination's view is not loaded yet.
    // The sender is what triggered the segue: the TableViewCell of a tapped
    // row (sender.as<TableViewCell>()), the BarButtonItem, the Control (as a
    // View), or whatever code passed to performSegueWithIdentifier.
    virtual void prepareForSegue(StoryboardSegue& /*segue*/, const AnyObject& /*sender*/) {}
    // What a trigger (bar button item, control, cell) does: performs the
    // segue when shouldPerformSegueWithIdentifier allows it. Returns whether
    // it was performed.
    bool triggerSegueWithIdentifier(const std::string& identifier, const AnyObject& sender);

    // Drives the appearance callbacks; windows and containers call these.
    void beginAppearanceTransition(bool appearing, bool animated);
    void endAppearanceTransition();

    // The controller's view moves into or out of a window (View calls
    // these): a child of a visible parent appears or disappears.
    void rootViewWillMoveToWindow(bool toWindow);
    void rootViewDidMoveToWindow();

    // Set by Storyboard when it makes the controller from a scene.
    void setStoryboardScene(std::shared_ptr<Storyboard> storyboard, std::string identifier,
                            std::function<void(ViewController&)> viewLoader);

protected:
    // For a container's constructor: adds a child (with its will- and
    // did-move calls) before the container is held by a shared pointer; the
    // child finds its parent once it is.
    void adoptChildAtConstruction(const std::shared_ptr<ViewController>& child);
    // The children whose appearance follows this controller's: by default
    // those whose views lie in this view (none when appearance is not
    // forwarded automatically). Containers return the children they show.
    virtual std::vector<std::shared_ptr<ViewController>> appearanceChildren() const;

private:
    friend class PresentationController;
    enum class Appearance { Disappeared, Appearing, Appeared, Disappearing };
    bool coversPresenter() const;
    ViewController* rootAncestor();

    std::shared_ptr<View> view_;
    std::optional<std::string> title_;
    Appearance appearance_ = Appearance::Disappeared;
    bool appearanceAnimated_ = false;
    bool windowMoveTransition_ = false;
    std::shared_ptr<NavigationItem> navigationItem_;
    std::vector<std::shared_ptr<BarButtonItem>> toolbarItems_;
    bool editing_ = false;
    std::shared_ptr<BarButtonItem> editButtonItem_;
    std::weak_ptr<ViewController> parent_;
    ViewController* constructingParent_ = nullptr;
    std::vector<std::shared_ptr<ViewController>> children_;
    ModalPresentationStyle modalPresentationStyle_ = ModalPresentationStyle::Automatic;
    ModalTransitionStyle modalTransitionStyle_ = ModalTransitionStyle::CoverVertical;
    Size preferredContentSize_;
    bool modalInPresentation_ = false;
    std::shared_ptr<PresentationController> presentationController_;
    std::shared_ptr<ViewController> presented_;
    std::weak_ptr<ViewController> presenting_;
    bool beingPresented_ = false;
    bool beingDismissed_ = false;
    // This controller's view is hidden under a full-screen presentation.
    bool hiddenUnderCover_ = false;
    void setHiddenUnderCover(bool hidden);
    std::shared_ptr<Storyboard> storyboard_;
    std::optional<std::string> sceneIdentifier_;
    std::function<void(ViewController&)> viewLoader_;
};
