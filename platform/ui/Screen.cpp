#include "platform/ui/Screen.h"

#include <optional>

#include "platform/ui/Application.h"

Device& Device::current() {
    static Device device;
    return device;
}

void Device::setUserInterfaceIdiom(UserInterfaceIdiom idiom) {
    const TraitCollection previous = Screen::main().traitCollection();
    idiom_ = idiom;
    if (!(previous == Screen::main().traitCollection())) Application::shared().traitCollectionDidChange(previous);
}

Screen& Screen::main() {
    static Screen screen;
    return screen;
}

void Screen::setUserInterfaceStyle(UserInterfaceStyle style) {
    const TraitCollection previous = traitCollection();
    style_ = style;
    if (!(previous == traitCollection())) Application::shared().traitCollectionDidChange(previous);
}

Rect Screen::bounds() const {
    if (!bounds_.isEmpty()) return bounds_;
    if (Device::current().userInterfaceIdiom() == UserInterfaceIdiom::Pad) return Rect(0, 0, 820, 1180);
    return Rect(0, 0, 390, 844);
}

TraitCollection Screen::traitCollection() const {
    TraitCollection traits;
    traits.userInterfaceStyle = style_;
    traits.userInterfaceIdiom = Device::current().userInterfaceIdiom();
    bool pad = traits.userInterfaceIdiom == UserInterfaceIdiom::Pad;
    traits.horizontalSizeClass = pad ? UserInterfaceSizeClass::Regular : UserInterfaceSizeClass::Compact;
    traits.verticalSizeClass = UserInterfaceSizeClass::Regular;
    traits.displayScale = scale_;
    return traits;
}

namespace {
thread_local std::optional<TraitCollection> currentTraits;
}

TraitCollection TraitCollection::current() {
    if (currentTraits) return *currentTraits;
    return Screen::main().traitCollection();
}

void TraitCollection::performAsCurrent(const std::function<void()>& block) const {
    auto previous = currentTraits;
    currentTraits = *this;
    struct Restore {
        std::optional<TraitCollection> previous;
        ~Restore() { currentTraits = previous; }
    } restore{previous};
    block();
}
