#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/View.h"

enum class ModalPresentationStyle { Automatic, FullScreen, PageSheet, FormSheet, OverFullScreen, OverCurrentContext };

// A screen's controller with the platform's lifecycle:
// - the view is made on first use (loadView, then viewDidLoad, once);
// - viewWillAppear / viewDidAppear and viewWillDisappear / viewDidDisappear
//   come in pairs as the view goes on and off screen (as a window's root,
//   or presented);
// - viewWillLayoutSubviews / viewDidLayoutSubviews bracket the layout of
//   the view.
// Presenting puts the presented controller's view over the whole window;
// the transition takes kTransitionDuration on the clock when animated (the
// completion and the did-callbacks come from the main run loop either way).
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
    // Makes the view; the base makes a plain view of the screen's size.
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

    std::optional<std::string> title() const { return title_; }
    void setTitle(std::optional<std::string> title) { title_ = std::move(title); }
    TraitCollection traitCollection() const;

    // --- Presentation ---
    ModalPresentationStyle modalPresentationStyle() const { return modalPresentationStyle_; }
    void setModalPresentationStyle(ModalPresentationStyle style) { modalPresentationStyle_ = style; }
    // Presents over this controller's window. Nothing happens when this
    // controller already presents one or its view is not in a window.
    void presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                               std::function<void()> completion = {});
    // Dismisses what this controller presents (everything above it), or,
    // when it presents nothing, this controller from its presenter.
    void dismissViewController(bool animated, std::function<void()> completion = {});
    const std::shared_ptr<ViewController>& presentedViewController() const { return presented_; }
    std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }
    bool isBeingPresented() const { return beingPresented_; }
    bool isBeingDismissed() const { return beingDismissed_; }

    // Drives the appearance callbacks; windows (and containers) call these.
    void beginAppearanceTransition(bool appearing, bool animated);
    void endAppearanceTransition();

private:
    enum class Appearance { Disappeared, Appearing, Appeared, Disappearing };
    bool coversPresenter() const;

    std::shared_ptr<View> view_;
    std::optional<std::string> title_;
    Appearance appearance_ = Appearance::Disappeared;
    bool appearanceAnimated_ = false;
    ModalPresentationStyle modalPresentationStyle_ = ModalPresentationStyle::Automatic;
    std::shared_ptr<ViewController> presented_;
    std::weak_ptr<ViewController> presenting_;
    bool beingPresented_ = false;
    bool beingDismissed_ = false;
};
