#pragma once

#include <memory>
#include <vector>

#include "platform/ui/View.h"

using WindowLevel = double;
inline constexpr WindowLevel kWindowLevelNormal = 0;
inline constexpr WindowLevel kWindowLevelStatusBar = 1000;
inline constexpr WindowLevel kWindowLevelAlert = 2000;

class ViewController;

// A window: the root of a view tree, shown on the main screen at its level.
// A window starts hidden; makeKeyAndVisible shows it and makes it the key
// window (the one that takes key input). The application lists the visible
// windows but does not own them.
class Window : public View {
public:
    // A window of the main screen's bounds.
    Window();
    explicit Window(const Rect& frame);
    ~Window() override;

    const std::shared_ptr<ViewController>& rootViewController() const { return rootViewController_; }
    // Installs the controller's view to fill the window; a visible window
    // makes it appear.
    void setRootViewController(std::shared_ptr<ViewController> controller);

    WindowLevel windowLevel() const { return windowLevel_; }
    void setWindowLevel(WindowLevel level) { windowLevel_ = level; }

    void makeKeyAndVisible();
    void makeKeyWindow();
    bool isKeyWindow() const;
    virtual void becomeKeyWindow() {}
    virtual void resignKeyWindow() {}
    void setHidden(bool hidden) override;

    // Safe-area insets of the window (zero unless set; tests set them).
    EdgeInsets windowSafeAreaInsets() const { return safeAreaInsets_; }
    void setSafeAreaInsets(const EdgeInsets& insets) { safeAreaInsets_ = insets; }

    Responder* firstResponder() const { return firstResponder_; }
    // Makes the responder first (nullptr: none), asking the current one to
    // resign; false when it refuses.
    bool setFirstResponder(Responder* responder);
    // What a resigning responder calls: forgets it if it is the first one.
    void clearFirstResponder(const Responder* responder);
    // Resigns the first responder if it lies in the given view's tree (the
    // tree leaves the window).
    void forgetFirstResponderIn(const View* view);

    // Asks for a layout pass of the whole window on the main run loop.
    void scheduleLayout();

    // A controller presented as a box smaller than the window (a form sheet
    // or popover where the width is regular) shows with rounded corners over
    // a dimming view that covers the rest of the window and lays the screen's
    // background under the box (it takes no touches); this is that view
    // while one is shown, else null.
    const std::shared_ptr<View>& presentationDimmingView() const { return dimmingView_; }
    void didAddSubview(View* subview) override;
    void willRemoveSubview(View* subview) override;
    void layoutSubviews() override;

private:
    void updatePresentationDimming();

    std::shared_ptr<ViewController> rootViewController_;
    WindowLevel windowLevel_ = kWindowLevelNormal;
    EdgeInsets safeAreaInsets_;
    Responder* firstResponder_ = nullptr;
    bool layoutScheduled_ = false;
    std::shared_ptr<View> dimmingView_;
    bool updatingDimming_ = false;
    std::vector<const View*> leaving_;  // subviews being removed
};
