#include "platform/ui/UIDriver.h"

#include "platform/foundation/StringUtils.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Control.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/RefreshControl.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace UIDriver {

namespace {

// The touched view and its ancestors up to the root, kept alive meanwhile.
std::vector<std::shared_ptr<View>> touchChain(View& root, Point point) {
    std::vector<std::shared_ptr<View>> chain;
    View* hit = root.hitTest(point);
    for (View* v = hit; v; v = v->superview()) {
        chain.push_back(v->shared_from_this());
        if (v == &root) break;
    }
    return chain;
}

bool mayBegin(GestureRecognizer& recognizer) {
    if (!recognizer.isEnabled() || !recognizer.canBegin()) return false;
    auto delegate = recognizer.delegate().lock();
    return !delegate || delegate->gestureRecognizerShouldBegin(recognizer);
}

bool simultaneous(GestureRecognizer& a, GestureRecognizer& b) {
    auto da = a.delegate().lock();
    auto db = b.delegate().lock();
    return (da && da->shouldRecognizeSimultaneouslyWithGestureRecognizer(a, b)) ||
           (db && db->shouldRecognizeSimultaneouslyWithGestureRecognizer(b, a));
}

}  // namespace

bool doubleTapDelaysTouches(View& root, Point point) {
    for (const auto& view : touchChain(root, point))
        for (const auto& recognizer : view->gestureRecognizers()) {
            auto tapRecognizer = std::dynamic_pointer_cast<TapGestureRecognizer>(recognizer);
            if (tapRecognizer && tapRecognizer->numberOfTapsRequired() == 2 &&
                tapRecognizer->numberOfTouchesRequired() == 1 && tapRecognizer->delaysTouchesBegan() &&
                mayBegin(*tapRecognizer))
                return true;
        }
    return false;
}

bool tapInSeries(View& root, Point point, std::int64_t taps, TapReach reach) {
    auto chain = touchChain(root, point);
    if (chain.empty()) return false;
    std::vector<std::shared_ptr<GestureRecognizer>> fired;
    bool cancelsTouches = false;
    for (const auto& view : chain) {
        if (reach == TapReach::ViewOnly) break;
        auto recognizers = view->gestureRecognizers();
        for (const auto& recognizer : recognizers) {
            auto tapRecognizer = std::dynamic_pointer_cast<TapGestureRecognizer>(recognizer);
            if (!tapRecognizer || tapRecognizer->numberOfTapsRequired() != taps ||
                tapRecognizer->numberOfTouchesRequired() != 1)
                continue;
            bool allowed = true;
            for (const auto& other : fired) allowed = allowed && simultaneous(*other, *tapRecognizer);
            if (!allowed || !mayBegin(*tapRecognizer)) continue;
            tapRecognizer->setLocation(view->convertPointFromView(point, &root));
            tapRecognizer->setState(kGestureRecognizerStateRecognized);
            tapRecognizer->setState(GestureRecognizerState::Possible);
            cancelsTouches = cancelsTouches || tapRecognizer->cancelsTouchesInView();
            fired.push_back(tapRecognizer);
        }
    }
    if (cancelsTouches) return true;
    if (reach == TapReach::RecognizersOnly) return !fired.empty();
    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (auto* control = dynamic_cast<Control*>(chain[i].get())) {
            if (!control->isEnabled()) break;
            control->performTapAtPoint(control->convertPointFromView(point, &root));
            return true;
        }
        if (auto* cell = dynamic_cast<TableViewCell*>(chain[i].get())) {
            auto* table = i + 1 < chain.size() ? dynamic_cast<TableView*>(chain[i + 1].get()) : nullptr;
            if (!table) continue;
            auto indexPath = table->indexPathForCell(*cell);
            return (indexPath && table->userTapRow(*indexPath)) || !fired.empty();
        }
    }
    return !fired.empty();
}

std::shared_ptr<LongPressGestureRecognizer> longPressRecognizer(View& root, Point point) {
    for (const auto& view : touchChain(root, point))
        for (const auto& recognizer : view->gestureRecognizers()) {
            auto longPress = std::dynamic_pointer_cast<LongPressGestureRecognizer>(recognizer);
            if (!longPress) continue;
            longPress->setLocation(view->convertPointFromView(point, &root));
            if (mayBegin(*longPress)) return longPress;
        }
    return nullptr;
}

bool tap(View& root, Point point) {
    return tapInSeries(root, point, 1);
}

bool doubleTap(View& root, Point point) {
    // A recogniser that delays touches keeps the first tap from the view: it
    // is still waiting for the second one.
    const bool first = tapInSeries(
        root, point, 1, doubleTapDelaysTouches(root, point) ? TapReach::RecognizersOnly : TapReach::RecognizersAndView);
    return tapInSeries(root, point, 2) || first;
}

bool doubleTap(View& view) {
    View* root = &view;
    while (root->superview()) root = root->superview();
    return doubleTap(*root, view.convertPointToView(view.bounds().center(), nullptr));
}

bool tap(View& view) {
    View* root = &view;
    while (root->superview()) root = root->superview();
    const Rect b = view.bounds();
    return tap(*root, view.convertPointToView(b.center(), nullptr));
}

bool pan(View& root, Point start, Point translation, Point velocity, int steps) {
    auto chain = touchChain(root, start);
    for (const auto& view : chain) {
        auto recognizers = view->gestureRecognizers();
        for (const auto& recognizer : recognizers) {
            auto panRecognizer = std::dynamic_pointer_cast<PanGestureRecognizer>(recognizer);
            if (!panRecognizer) continue;
            // Whether it begins may depend on where the finger started and goes.
            const Point startInView = view->convertPointFromView(start, &root);
            panRecognizer->setTranslation(translation, nullptr);
            panRecognizer->setVelocity(velocity);
            panRecognizer->setLocation({startInView.x + translation.x, startInView.y + translation.y});
            const bool begins = mayBegin(*panRecognizer);
            panRecognizer->setTranslation({0, 0}, nullptr);
            panRecognizer->setVelocity({0, 0});
            if (!begins) continue;
            panRecognizer->setLocation(startInView);
            panRecognizer->setState(GestureRecognizerState::Began);
            steps = std::max(1, steps);
            for (int i = 1; i <= steps; ++i) {
                const double f = static_cast<double>(i) / steps;
                const Point t{translation.x * f, translation.y * f};
                panRecognizer->setTranslation(t, nullptr);
                panRecognizer->setLocation({startInView.x + t.x, startInView.y + t.y});
                panRecognizer->setState(GestureRecognizerState::Changed);
            }
            panRecognizer->setVelocity(velocity);
            panRecognizer->setState(GestureRecognizerState::Ended);
            panRecognizer->setState(GestureRecognizerState::Possible);
            return true;
        }
    }
    return false;
}

std::shared_ptr<ViewController> topViewController(Window& window) {
    auto controller = window.rootViewController();
    while (controller && controller->presentedViewController()) controller = controller->presentedViewController();
    return controller;
}

std::shared_ptr<ViewController> visibleViewController(Window& window) {
    auto controller = topViewController(window);
    while (auto navigation = std::dynamic_pointer_cast<NavigationController>(controller)) {
        auto top = navigation->topViewController();
        if (!top) break;
        controller = top;
    }
    return controller;
}

bool tap(BarButtonItem& item) {
    auto view = item.view();
    if (!view || !view->window() || !item.isEnabled()) return false;
    for (View* v = view.get(); v; v = v->superview())
        if (v->isHidden()) return false;
    auto keep = item.shared_from_this();
    if (view == item.customView()) return tap(*view);
    auto* control = dynamic_cast<Control*>(view.get());
    if (!control) return false;
    control->performTap();
    return true;
}

bool tapBackButton(NavigationController& navigationController) {
    auto back = navigationController.navigationBar()->backButtonItem();
    return back && tap(*back);
}

bool swipeBack(NavigationController& navigationController) {
    auto keep = navigationController.shared_from_this();
    const auto& recognizer = navigationController.interactivePopGestureRecognizer();
    if (!recognizer->isEnabled()) return false;
    const Rect bounds = navigationController.view()->bounds();
    const Point start{2, bounds.midY()};
    recognizer->setTranslation({0, 0}, nullptr);
    recognizer->setVelocity({0, 0});
    recognizer->setLocation(start);
    recognizer->setState(GestureRecognizerState::Began);
    recognizer->setTranslation({bounds.size.width * 0.75, 0}, nullptr);
    recognizer->setLocation({start.x + bounds.size.width * 0.75, start.y});
    recognizer->setState(GestureRecognizerState::Changed);
    recognizer->setVelocity({1000, 0});
    recognizer->setState(GestureRecognizerState::Ended);
    recognizer->setState(GestureRecognizerState::Possible);
    return true;
}

bool tapOutsidePresentation(ViewController& presented) {
    auto presentation = presented.presentationController();
    return presentation && presentation->dismissByUser(false);
}

bool swipeDownPresentation(ViewController& presented) {
    auto presentation = presented.presentationController();
    return presentation && presentation->dismissByUser(true);
}

bool tapRow(TableView& table, const IndexPath& indexPath) {
    auto cell = table.cellForRowAtIndexPath(indexPath);
    if (!cell) return false;
    return tap(*cell);
}

std::shared_ptr<SwipeActionsConfiguration> swipeRow(TableView& table, const IndexPath& indexPath) {
    return table.userSwipeRow(indexPath);
}

bool tapSwipeAction(TableView& table, const std::string& title) {
    return table.userTapSwipeAction(title);
}

bool pullToRefresh(ScrollView& scrollView) {
    const auto& control = scrollView.refreshControl();
    if (!control || !scrollView.isScrollEnabled()) return false;
    return control->userPull();
}

bool fullSwipeRow(TableView& table, const IndexPath& indexPath) {
    return table.userFullSwipeRow(indexPath);
}

bool deleteRow(TableView& table, const IndexPath& indexPath) {
    return table.userDeleteRow(indexPath);
}

std::optional<IndexPath> moveRow(TableView& table, const IndexPath& from, const IndexPath& to) {
    return table.userMoveRow(from, to);
}

bool doubleTapRow(TableView& table, const IndexPath& indexPath) {
    auto cell = table.cellForRowAtIndexPath(indexPath);
    if (!cell) return false;
    return doubleTap(*cell);
}

std::shared_ptr<AlertController> presentedAlert() {
    auto windows = Application::shared().windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (auto alert = std::dynamic_pointer_cast<AlertController>(topViewController(**it))) return alert;
    }
    return nullptr;
}

bool tapAlertAction(AlertController& alert, const std::string& title) {
    for (const auto& action : alert.actions()) {
        if (action->title() != title || !action->isEnabled()) continue;
        auto button = alert.buttonForAction(*action);
        if (!button) return false;
        button->performTap();
        return true;
    }
    return false;
}

bool tapAlertViewButton(AlertView& alertView, const std::string& title) {
    for (std::int64_t i = 0; i < alertView.numberOfButtons(); ++i) {
        if (alertView.buttonTitleAtIndex(i) == title) {
            alertView.clickButtonAtIndex(i);
            return true;
        }
    }
    return false;
}

void pickRow(PickerView& picker, std::int64_t row, std::int64_t component) {
    auto keep = picker.shared_from_this();
    picker.selectRow(row, component, true);
    if (auto delegate = picker.delegate().lock())
        delegate->didSelectRow(picker, picker.selectedRowInComponent(component), component);
}

bool typeText(TextField& field, const std::string& text) {
    if (!field.isEditing()) return false;
    return field.replaceCharacters(Range{utf16Length(field.text().value_or("")), 0}, text);
}

bool pressReturn(TextField& field) {
    if (!field.isEditing()) return false;
    return field.returnKeyPressed();
}

}  // namespace UIDriver
