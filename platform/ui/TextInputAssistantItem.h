#pragma once

#include <memory>
#include <vector>

#include "platform/ui/BarButtonItem.h"

// Buttons shown together in the shortcut bar above the keyboard.
struct BarButtonItemGroup {
    std::vector<std::shared_ptr<BarButtonItem>> barButtonItems;
};

// The shortcut bar of a text input: groups of buttons before and after the
// typing suggestions. A text field starts with the keyboard's own groups
// (undo and redo leading, paste trailing); emptying both groups takes the
// bar away, so nothing shows above an input view.
class TextInputAssistantItem {
public:
    TextInputAssistantItem();

    const std::vector<BarButtonItemGroup>& leadingBarButtonGroups() const { return leading_; }
    void setLeadingBarButtonGroups(std::vector<BarButtonItemGroup> groups) { leading_ = std::move(groups); }
    const std::vector<BarButtonItemGroup>& trailingBarButtonGroups() const { return trailing_; }
    void setTrailingBarButtonGroups(std::vector<BarButtonItemGroup> groups) { trailing_ = std::move(groups); }

    // Whether a shortcut bar shows at all.
    bool showsShortcutBar() const { return !leading_.empty() || !trailing_.empty(); }

private:
    std::vector<BarButtonItemGroup> leading_;
    std::vector<BarButtonItemGroup> trailing_;
};
