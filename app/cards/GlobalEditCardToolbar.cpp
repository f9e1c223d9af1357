#include "app/cards/GlobalEditCardToolbar.h"

#include "app/views/BarItemImages.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Image.h"
#include "platform/ui/NavigationBar.h"
#include "platform/web/WebView.h"

namespace {

std::shared_ptr<BarButtonItem> fixedSpace() {
    auto space = BarButtonItem::withSystemItem(BarButtonSystemItem::FixedSpace);
    space->setWidth(22);
    return space;
}

std::shared_ptr<BarButtonItem> tagged(std::shared_ptr<BarButtonItem> item, std::int64_t tag) {
    item->setTag(tag);
    return item;
}

}  // namespace

Color GlobalEditCardToolbar::activeTint() {
    return Color::systemRedColor();
}

Color GlobalEditCardToolbar::inactiveTint() {
    return Color(0, 0.47843137254901963, 1, 1);
}

GlobalEditCardToolbar::GlobalEditCardToolbar() : toolbar_(std::make_shared<Toolbar>(Rect(0, 0, 1000, 44))) {
    toolbar_->setTranslatesAutoresizingMaskIntoConstraints(false);
    const auto plain = BarButtonItemStyle::Plain;
    auto color = tagged(BarButtonItem::withImage(barItemImage("TextColorIcon"), plain), kColorTag);
    auto bold = tagged(BarButtonItem::withTitle("B", plain), kBoldTag);
    auto italic = tagged(BarButtonItem::withTitle("I", plain), kItalicTag);
    auto underline = tagged(BarButtonItem::withImage(barItemImage("UnderlineTemplate"), plain), kUnderlineTag);
    auto list = tagged(BarButtonItem::withImage(barItemImage("GenericListTemplate"), plain), kListTag);
    auto baseline = tagged(BarButtonItem::withTitle("x²", plain), kBaselineTag);
    auto photo = tagged(BarButtonItem::withImage(barItemImage("PhotoIconTemplate"), plain), kPhotoTag);
    for (const auto& item : {bold, italic, underline, baseline}) item->setTintColor(inactiveTint());

    std::weak_ptr<BarButtonItem> weakColor = color, weakList = list, weakBaseline = baseline, weakPhoto = photo;
    color->setAction([this, weakColor](BarButtonItem&) {
        if (auto target = delegate()) target->popUpColorOptions(weakColor.lock());
    });
    bold->setAction([this](BarButtonItem&) { boldAction(); });
    italic->setAction([this](BarButtonItem&) { italicAction(); });
    underline->setAction([this](BarButtonItem&) { underlineAction(); });
    list->setAction([this, weakList](BarButtonItem&) {
        if (auto target = delegate()) target->popUpListOptions(weakList.lock());
    });
    baseline->setAction([this, weakBaseline](BarButtonItem&) {
        if (auto target = delegate()) target->popUpBaselineOptions(weakBaseline.lock());
    });
    photo->setAction([this, weakPhoto](BarButtonItem&) {
        if (auto target = delegate()) target->insertPhoto(weakPhoto.lock());
    });
    auto flexible = [] { return BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace); };
    toolbar_->setItems({flexible(), color, fixedSpace(), bold, fixedSpace(), italic, fixedSpace(), underline,
                        fixedSpace(), list, fixedSpace(), baseline, flexible(), photo});
}

std::shared_ptr<BarButtonItem> GlobalEditCardToolbar::barButtonItem(std::int64_t withTag) const {
    for (const auto& item : toolbar_->items())
        if (item->tag() == withTag) return item;
    return nullptr;
}

void GlobalEditCardToolbar::applyTextAttributes(const TextAttributes& attributes) {
    auto tint = [this](std::int64_t tag, bool active) {
        if (auto item = barButtonItem(tag)) item->setTintColor(active ? activeTint() : inactiveTint());
    };
    tint(kBoldTag, attributes.isBold);
    tint(kItalicTag, attributes.isItalic);
    tint(kUnderlineTag, attributes.isUnderline);
    tint(kBaselineTag, attributes.isSuperscript || attributes.isSubscript);
    tint(kListTag, attributes.isOrderedList || attributes.isUnorderedList);
}

std::string GlobalEditCardToolbar::formattingCommandScript(const std::string& name) {
    return "window.fcEditor.execFormattingCommand('" + name + "')";
}

std::string GlobalEditCardToolbar::formattingCommandScript(const std::string& name, const std::string& value) {
    return "window.fcEditor.execFormattingCommand('" + name + "', '" + value + "')";
}

void GlobalEditCardToolbar::sendCommand(const std::string& name) {
    auto target = delegate();
    if (!target) return;
    if (auto webView = target->editorWebView()) webView->evaluateJavaScript(formattingCommandScript(name));
}

void GlobalEditCardToolbar::boldAction() {
    sendCommand("bold");
}

void GlobalEditCardToolbar::italicAction() {
    sendCommand("italic");
}

void GlobalEditCardToolbar::underlineAction() {
    sendCommand("underline");
}
