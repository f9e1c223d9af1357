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

constexpr double kDefaultHeight = 44;

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
    accessory->setFrame(Rect(b.origin.x, b.maxY() - height, b.size.width, height));
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

}  // namespace InputAccessory
