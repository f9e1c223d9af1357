#include "platform/ui/Window.h"

#include <algorithm>

#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"

Window::Window() : Window(Screen::main().bounds()) {}

Window::Window(const Rect& frame) : View(frame) {
    layer().setHidden(true);
}

Window::~Window() {
    Application::shared().windowDidGoAway(*this);
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
    if (controller == rootViewController_) return;
    const bool visible = !isHidden();
    if (auto old = rootViewController_) {
        if (visible) old->beginAppearanceTransition(false, false);
        if (old->isViewLoaded()) old->view()->removeFromSuperview();
        rootViewController_.reset();
        if (visible) old->endAppearanceTransition();
    }
    rootViewController_ = std::move(controller);
    if (auto root = rootViewController_) {
        const auto& view = root->view();
        view->setFrame(bounds());
        if (visible) root->beginAppearanceTransition(true, false);
        insertSubview(view, 0);
        if (visible) root->endAppearanceTransition();
    }
}

void Window::makeKeyAndVisible() {
    setHidden(false);
    makeKeyWindow();
}

void Window::makeKeyWindow() {
    Application::shared().windowWillBecomeKey(*this);
}

bool Window::isKeyWindow() const {
    return Application::shared().keyWindow().get() == this;
}

void Window::setHidden(bool hidden) {
    if (hidden == isHidden()) return;
    auto keep = weak_from_this().lock();
    View::setHidden(hidden);
    if (!hidden) {
        Application::shared().windowDidShow(*this);
        if (rootViewController_) {
            rootViewController_->beginAppearanceTransition(true, false);
            rootViewController_->endAppearanceTransition();
        }
        scheduleLayout();
    } else {
        if (rootViewController_) {
            rootViewController_->beginAppearanceTransition(false, false);
            rootViewController_->endAppearanceTransition();
        }
        Application::shared().windowDidHide(*this);
    }
}

bool Window::setFirstResponder(Responder* responder) {
    if (responder == firstResponder_) return true;
    if (Responder* old = firstResponder_) {
        if (!old->canResignFirstResponder() || !old->resignFirstResponder()) return false;
        firstResponder_ = nullptr;
    }
    firstResponder_ = responder;
    return true;
}

void Window::clearFirstResponder(const Responder* responder) {
    if (firstResponder_ == responder) firstResponder_ = nullptr;
}

void Window::forgetFirstResponderIn(const View* view) {
    auto* current = dynamic_cast<View*>(firstResponder_);
    if (!current || !current->isDescendantOfView(view)) return;
    current->resignFirstResponder();
    firstResponder_ = nullptr;
}

namespace {
constexpr double kPresentedCornerRadius = 10;

// Dims the window around a presented box and lays the screen's background
// under the box, for a presented view that leaves parts of itself clear.
class PresentationDimmingView : public View {
public:
    explicit PresentationDimmingView(const Rect& frame) : View(frame) {
        setBackgroundColor(Color::blackColor().withAlphaComponent(0.2));
        setUserInteractionEnabled(false);
    }
    void setBox(const std::shared_ptr<View>& box) {
        box_ = box;
        setNeedsDisplay();
    }
    void drawRect(const Rect&) override {
        auto* context = GraphicsContext::current();
        auto box = box_.lock();
        if (!context || !box) return;
        Path backdrop;
        backdrop.addRoundedRect(box->frame(), kPresentedCornerRadius);
        context->setFillColor(Color::systemBackgroundColor());
        context->fillPath(backdrop);
    }

private:
    std::weak_ptr<View> box_;
};

// A presented controller's view that does not cover its window.
bool isPresentedBox(const View& view, const Rect& windowBounds) {
    ViewController* controller = view.viewController();
    return controller && controller->presentingViewController() && view.frame() != windowBounds;
}
}  // namespace

void Window::didAddSubview(View* subview) {
    std::erase(leaving_, subview);
    if (subview != dimmingView_.get()) updatePresentationDimming();
}

void Window::willRemoveSubview(View* subview) {
    if (subview == dimmingView_.get()) return;
    if (subview->layer().cornerRadius() == kPresentedCornerRadius && subview->viewController()) {
        subview->layer().setCornerRadius(0);
        subview->layer().setMasksToBounds(false);
    }
    // A view on its way out stays among the subviews while it leaves, and
    // what it does on leaving (a field in it resigning takes its input view
    // away) can ask for the dimming again: it counts as gone until then.
    std::erase_if(leaving_, [&](const View* view) {
        return std::none_of(subviews().begin(), subviews().end(), [&](const auto& s) { return s.get() == view; });
    });
    leaving_.push_back(subview);
    updatePresentationDimming();
}

void Window::layoutSubviews() {
    if (dimmingView_) dimmingView_->setFrame(bounds());
}

void Window::updatePresentationDimming() {
    if (updatingDimming_) return;
    updatingDimming_ = true;
    std::shared_ptr<View> box;
    for (auto it = subviews().rbegin(); it != subviews().rend() && !box; ++it)
        if (std::find(leaving_.begin(), leaving_.end(), it->get()) == leaving_.end() && *it != dimmingView_ && isPresentedBox(**it, bounds())) box = *it;
    if (box) {
        if (!dimmingView_) dimmingView_ = std::make_shared<PresentationDimmingView>(bounds());
        static_cast<PresentationDimmingView&>(*dimmingView_).setBox(box);
        dimmingView_->setFrame(bounds());
        insertSubviewBelow(dimmingView_, box.get());
        if (box->layer().cornerRadius() == 0) {
            box->layer().setCornerRadius(kPresentedCornerRadius);
            box->layer().setMasksToBounds(true);
        }
    } else if (dimmingView_) {
        dimmingView_->removeFromSuperview();
        dimmingView_.reset();
    }
    updatingDimming_ = false;
}

void Window::scheduleLayout() {
    if (layoutScheduled_) return;
    std::weak_ptr<View> weak = weak_from_this();
    if (weak.expired()) return;  // still being made
    layoutScheduled_ = true;
    RunLoop::main().perform(std::vector<std::string>{RunLoop::kCommonModes}, [weak] {
        auto view = weak.lock();
        if (!view) return;
        auto* window = static_cast<Window*>(view.get());
        window->layoutScheduled_ = false;
        window->layoutIfNeeded();
    });
}
