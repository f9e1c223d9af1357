#include "platform/ui/HeadlessDisplay.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Image.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TextField.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace {

std::atomic<bool> gEnabled{false};
std::string gLastFrame;
bool gWroteOnce = false;

// Text as the frame shows it: whole, with control characters and escape
// sequences (from a shared deck, say) escaped, so that none reaches the
// terminal or breaks the frame's lines.
std::string shown(const std::string& text) {
    return escapedExcerpt(text, text.size());
}

std::string itemText(const BarButtonItem& item) {
    if (item.systemItem() == BarButtonSystemItem::FlexibleSpace || item.systemItem() == BarButtonSystemItem::FixedSpace)
        return {};
    if (item.title() && !item.title()->empty()) return "[" + shown(*item.title()) + "]";
    if (item.systemItem() == BarButtonSystemItem::Add) return "[+]";
    if (item.image() && item.image()->systemSymbolName()) return "[(" + *item.image()->systemSymbolName() + ")]";
    return "[(image)]";
}

std::string itemsText(const std::vector<std::shared_ptr<BarButtonItem>>& items) {
    std::string text;
    for (const auto& item : items) {
        if (!item) continue;
        std::string one = itemText(*item);
        if (one.empty()) continue;
        if (!text.empty()) text += " ";
        text += one;
    }
    return text;
}

void collectLabels(const View& view, std::vector<std::string>& texts) {
    if (view.isHidden()) return;
    if (auto label = dynamic_cast<const Label*>(&view)) {
        if (label->text() && !label->text()->empty()) texts.push_back(shown(*label->text()));
    }
    for (const auto& child : view.subviews())
        if (child) collectLabels(*child, texts);
}

// The first table in the view's tree (the view itself first).
TableView* findTable(View& view) {
    if (auto table = dynamic_cast<TableView*>(&view)) return table;
    for (const auto& child : view.subviews())
        if (child)
            if (auto table = findTable(*child)) return table;
    return nullptr;
}

void appendLine(std::string& frame, const std::string& line) {
    frame += line;
    frame += "\n";
}

void describeScreen(ViewController& top, NavigationController* navigation, std::string& frame) {
    NavigationItem& item = top.navigationItem();
    std::string bar = itemsText(item.leftBarButtonItems());
    std::string title = shown(item.title().value_or(top.title().value_or("")));
    // A title view in place of the title: the text it shows (a label's, or an editable title's).
    if (title.empty() && item.titleView()) {
        if (auto field = std::dynamic_pointer_cast<TextField>(item.titleView()))
            title = shown(field->text().value_or(""));
        else {
            std::vector<std::string> texts;
            collectLabels(*item.titleView(), texts);
            title = componentsJoinedByString(texts, " ");
        }
    }
    if (!title.empty()) bar += (bar.empty() ? "" : " ") + title;
    std::string right = itemsText(item.rightBarButtonItems());
    if (!right.empty()) bar += (bar.empty() ? "" : " ") + right;
    if (!bar.empty()) appendLine(frame, bar);

    if (top.isViewLoaded()) {
        if (TableView* table = findTable(*top.viewIfLoaded())) {
            for (std::int64_t section = 0; section < table->numberOfSections(); ++section) {
                for (std::int64_t row = 0; row < table->numberOfRowsInSection(section); ++row) {
                    auto cell = table->cellForRowAtIndexPath(IndexPath::forRow(row, section));
                    if (!cell) continue;
                    std::vector<std::string> texts;
                    collectLabels(*cell, texts);
                    std::string line = "|";
                    for (const auto& text : texts) line += " " + text + " |";
                    if (!texts.empty()) line.resize(line.size() - 2);
                    appendLine(frame, line);
                }
            }
        }
    }
    if (navigation && !navigation->isToolbarHidden()) {
        std::string toolbar = itemsText(top.toolbarItems());
        if (!toolbar.empty()) appendLine(frame, "toolbar: " + toolbar);
    }
}

void describeAlert(const std::optional<std::string>& title, const std::optional<std::string>& message,
                   const std::vector<std::string>& buttons, std::string& frame) {
    std::string line = "alert:";
    if (title && !title->empty()) line += " " + shown(*title);
    appendLine(frame, line);
    if (message && !message->empty()) appendLine(frame, "  " + shown(*message));
    std::vector<std::string> bracketed;
    for (const auto& button : buttons) bracketed.push_back("[" + shown(button) + "]");
    if (!bracketed.empty()) appendLine(frame, "  " + componentsJoinedByString(bracketed, " "));
}

}  // namespace

namespace HeadlessDisplay {

std::string frameOfWindow(Window* window) {
    std::string frame;
    if (!window || !window->rootViewController()) return frame;
    // The top screen: what the root presents, not counting alerts.
    std::shared_ptr<ViewController> screen = window->rootViewController();
    while (auto presented = screen->presentedViewController()) {
        if (std::dynamic_pointer_cast<AlertController>(presented)) break;
        screen = presented;
    }
    // A split view shows its primary side: the list a user finds their way by.
    if (auto split = std::dynamic_pointer_cast<SplitViewController>(screen)) {
        auto sides = split->viewControllers();
        if (!sides.empty() && sides.front()) screen = sides.front();
    }
    NavigationController* navigation = nullptr;
    while (auto nav = std::dynamic_pointer_cast<NavigationController>(screen)) {
        auto top = nav->topViewController();
        if (!top) break;
        navigation = nav.get();
        screen = top;
    }
    describeScreen(*screen, navigation, frame);
    return frame;
}

std::string currentFrame() {
    auto window = Application::shared().keyWindow();
    // An alert in a window of its own is usually the key window: the screen
    // is the highest window below the alert level that has a root.
    std::shared_ptr<Window> screenWindow;
    for (const auto& candidate : Application::shared().windows())
        if (candidate->rootViewController() &&
            !std::dynamic_pointer_cast<AlertController>(candidate->rootViewController()))
            if (candidate->windowLevel() < kWindowLevelAlert || !screenWindow) screenWindow = candidate;
    if (window && window->rootViewController() &&
        !std::dynamic_pointer_cast<AlertController>(window->rootViewController()) &&
        window->windowLevel() < kWindowLevelAlert)
        screenWindow = window;
    std::string frame = frameOfWindow(screenWindow.get());
    if (auto alert = UIDriver::presentedAlert()) {
        std::vector<std::string> buttons;
        for (const auto& action : alert->actions())
            if (action) buttons.push_back(action->title().value_or(""));
        describeAlert(alert->title(), alert->message(), buttons, frame);
    }
    // Alert views show above the app's windows, the newest on top.
    for (const auto& alertView : AlertView::visibleAlertViews()) {
        std::vector<std::string> buttons;
        for (std::int64_t i = 0; i < alertView->numberOfButtons(); ++i)
            buttons.push_back(alertView->buttonTitleAtIndex(i).value_or(""));
        describeAlert(alertView->title(), alertView->message(), buttons, frame);
    }
    return frame;
}

void setEnabled(bool enabled) {
    gEnabled = enabled;
}

bool isEnabled() {
    return gEnabled;
}

bool refresh(std::FILE* out) {
    if (!gEnabled) return false;
    std::string frame = currentFrame();
    if (gWroteOnce && frame == gLastFrame) return false;
    gWroteOnce = true;
    gLastFrame = frame;
    std::string name = Bundle::main().objectForInfoDictionaryKey("CFBundleName").stringValue("App");
    std::string top = "==== " + name + " ====";
    std::fputs((top + "\n" + frame + std::string(top.size(), '=') + "\n").c_str(), out);
    std::fflush(out);
    return true;
}

void reset() {
    gWroteOnce = false;
    gLastFrame.clear();
}

}  // namespace HeadlessDisplay
