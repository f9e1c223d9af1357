#include "platform/ui/InputAccessory.h"

#include <map>

#include "platform/ui/Window.h"

namespace InputAccessory {

namespace {

// The accessory each window shows and the view that shows it.
struct Shown {
    std::weak_ptr<View> owner;
    std::weak_ptr<View> accessory;
};
std::map<const Window*, Shown>& shown() {
    static std::map<const Window*, Shown> byWindow;
    return byWindow;
}

std::map<const Window*, Shown>& shownInputViews() {
    static std::map<const Window*, Shown> byWindow;
    return byWindow;
}

constexpr double kDefaultHeight = 44;
constexpr double kDefaultInputViewHeight = 216;

// How far up from the window's bottom an accessory sits: above the input view shown there.
double inputViewHeight(const Window* window) {
    auto it = shownInputViews().find(window);
    if (it == shownInputViews().end()) return 0;
    auto view = it->second.accessory.lock();
    return view && view->superview() ? view->frame().size.height : 0;
}

}  // namespace

void show(View& editing, const std::shared_ptr<View>& accessory) {
    Window* window = editing.window();
    if (!window || !accessory) return;
    hide(editing);
    std::erase_if(shown(), [](const auto& entry) { return entry.second.owner.expired(); });
    if (auto it = shown().find(window); it != shown().end())
        if (auto previous = it->second.accessory.lock()) previous->removeFromSuperview();
    const Rect b = window->bounds();
    const double height = accessory->frame().size.height > 0 ? accessory->frame().size.height : kDefaultHeight;
    accessory->removeFromSuperview();
    accessory->setFrame(Rect(b.origin.x, b.maxY() - inputViewHeight(window) - height, b.size.width, height));
    // On the phone the keyboard lies behind it; here the content would show
    // through a translucent bar (a toolbar's items beneath its own).
    if (!accessory->backgroundColor()) accessory->setBackgroundColor(Color::systemBackgroundColor());
    window->addSubview(accessory);
    accessory->layoutIfNeeded();
    shown()[window] = Shown{editing.weak_from_this(), accessory};
}

void hide(View& editing) {
    for (auto it = shown().begin(); it != shown().end(); ++it) {
        if (it->second.owner.lock().get() != &editing) continue;
        if (auto accessory = it->second.accessory.lock()) accessory->removeFromSuperview();
        shown().erase(it);
        return;
    }
}

void showInputView(View& editing, const std::shared_ptr<View>& inputView) {
    Window* window = editing.window();
    if (!window || !inputView) return;
    hideInputView(editing);
    std::erase_if(shownInputViews(), [](const auto& entry) { return entry.second.owner.expired(); });
    if (auto it = shownInputViews().find(window); it != shownInputViews().end())
        if (auto previous = it->second.accessory.lock()) previous->removeFromSuperview();
    const Rect b = window->bounds();
    const double height =
        inputView->frame().size.height > 0 ? inputView->frame().size.height : kDefaultInputViewHeight;
    inputView->removeFromSuperview();
    inputView->setFrame(Rect(b.origin.x, b.maxY() - height, b.size.width, height));
    // Where the keyboard would be: nothing of the screen shows through.
    if (!inputView->backgroundColor()) inputView->setBackgroundColor(Color::secondarySystemBackgroundColor());
    window->addSubview(inputView);
    inputView->layoutIfNeeded();
    shownInputViews()[window] = Shown{editing.weak_from_this(), inputView};
}

void hideInputView(View& editing) {
    for (auto it = shownInputViews().begin(); it != shownInputViews().end(); ++it) {
        if (it->second.owner.lock().get() != &editing) continue;
        if (auto inputView = it->second.accessory.lock()) inputView->removeFromSuperview();
        shownInputViews().erase(it);
        return;
    }
}

}  // namespace InputAccessory
