// The card editor's page: the templates, the input events that change the
// card, the formatting state and the formatting pop-ups.
#include "app/cards/EditStudyCardViewController.h"
#include "app/cards/FCEditor.h"
#include "app/study/DeckChangeDelegate.h"
#include "app/study/PageTemplate.h"
#include "app/views/ColorAdditions.h"
#include "app/views/TextColorPickerView.h"
#include "model/FCCImageInventory.h"
#include "model/FCCard.h"
#include "model/FCTextColorScheme.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/PresentationController.h"
#include "umbrella/EditorWebView.h"

#include <algorithm>

namespace {

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "Localizable");
}

constexpr const char* kBottomEditorOnClick = "onclick=\"document.getElementById('bottom-editor').focus();\"";

std::optional<std::string> readTemplate(const std::string& name, std::optional<URL>& baseURL) {
    auto path = Bundle::main().pathForResource(name, "html");
    if (!path) return std::nullopt;
    auto data = FileManager::defaultManager().contentsAtPath(*path);
    if (!data) return std::nullopt;
    baseURL = URL::fileURLWithPath(stringByDeletingLastPathComponent(*path), true);
    return std::string(data->begin(), data->end());
}

std::vector<std::string> imageNames(const std::string& html) {
    std::vector<std::string> names;
    FCCImageInventory::findImageNamesUsedInHtml(html, names);
    return names;
}

}  // namespace

// --- Templates ---

std::optional<std::string> EditStudyCardViewController::filledStudyCardTemplate(const std::string& templateText,
                                                                                const std::string& question,
                                                                                const std::string& answer,
                                                                                bool isEditable) {
    // One pass: text put in is never searched again.
    return fillTemplatePlaceholders(templateText,
                                    {{"@@Question@@", question},
                                     {"@@Answer@@", answer},
                                     {"@@QuestionPlaceholder@@", localized("QuestionPlaceholder", "Question")},
                                     {"@@AnswerPlaceholder@@", localized("AnswerPlaceholder", "Answer")},
                                     {"@@Editable@@", isEditable ? "true" : "false"},
                                     {"@@BottomEditorOnClick@@", isEditable ? kBottomEditorOnClick : ""}});
}

std::optional<std::string> EditStudyCardViewController::filledTopicCardTemplate(const std::string& templateText,
                                                                                const std::string& title,
                                                                                bool isEditable) {
    return fillTemplatePlaceholders(templateText, {{"@@Title@@", title},
                                                   {"@@Editable@@", isEditable ? "true" : "false"},
                                                   {"@@TopicPlaceholder@@", localized("TopicPlaceholder", "Topic")},
                                                   {"@@TopicLabel@@", localized("TopicLabel", "Topic")}});
}

const std::string& EditStudyCardViewController::inputListenerScript() {
    static const std::string script =
        "(function () {\n"
        "  ['top', 'bottom', 'title'].forEach(function (editorType) {\n"
        "    var element = document.getElementById(editorType + '-editor');\n"
        "    if (element) {\n"
        "      element.addEventListener('input', function (event) {\n"
        "        window.nativeApp.editorViewController.handleEditorInputChanged(event.currentTarget.id, "
        "event.currentTarget.innerHTML);\n"
        "      }, false);\n"
        "    }\n"
        "  });\n"
        "})();\n";
    return script;
}

void EditStudyCardViewController::reloadEditor() {
    if (!webView_) return;
    const auto kind = presentationMode_.kind();
    if (kind == PresentationMode::Kind::coverCard || kind == PresentationMode::Kind::blank) {
        webView_->loadHTMLString("", std::nullopt);
        return;
    }
    auto card = presentationMode_.card();
    const bool editable = presentationMode_.isEditable();
    std::optional<URL> baseURL;
    if (auto study = std::dynamic_pointer_cast<FCStudyCard>(card)) {
        auto text = readTemplate("edit-study-card", baseURL);
        if (!text) {
            TWLogError("The study card's editor page is missing");
            return;
        }
        webView_->loadHTMLString(
            *filledStudyCardTemplate(*text, study->top().value_or(""), study->bottom().value_or(""), editable),
            baseURL);
        webView_->setAccessoryInputView(editable ? editorToolbar_->toolbar() : nullptr);
    } else if (auto topic = std::dynamic_pointer_cast<FCTopicCard>(card)) {
        auto text = readTemplate("edit-topic-card", baseURL);
        if (!text) {
            TWLogError("The topic card's editor page is missing");
            return;
        }
        webView_->loadHTMLString(*filledTopicCardTemplate(*text, topic->title().value_or(""), editable), baseURL);
        webView_->setAccessoryInputView(nullptr);
    } else {
        return;
    }
    setTextAttributes(TextAttributes{});
}

// --- Page calls ---

void EditStudyCardViewController::handleEditorInputChanged(const Value::Array& arguments) {
    const std::string* id = arguments.size() >= 2 ? arguments[0].asString() : nullptr;
    const std::string* html = arguments.size() >= 2 ? arguments[1].asString() : nullptr;
    if (!id || !html || (*id != "top-editor" && *id != "bottom-editor" && *id != "title-editor")) {
        TWLogWarning("Invalid change event: %s", Value(arguments).description().c_str());
        return;
    }
    applyInputChange(*id, *html);
}

void EditStudyCardViewController::applyInputChange(const std::string& editorId, const std::string& html) {
    auto card = presentationMode_.card();
    if (!card) return;
    std::optional<std::string> stored;
    auto study = std::dynamic_pointer_cast<FCStudyCard>(card);
    auto topic = std::dynamic_pointer_cast<FCTopicCard>(card);
    if (editorId == "top-editor" && study)
        stored = study->top();
    else if (editorId == "bottom-editor" && study)
        stored = study->bottom();
    else if (editorId == "title-editor" && topic)
        stored = topic->title();
    else
        return;
    const std::string old = stored.value_or("");
    if (stored && old == html) return;
    const auto oldNames = imageNames(old);
    const auto newNames = imageNames(html);
    for (const auto& name : oldNames)
        if (std::find(newNames.begin(), newNames.end(), name) == newNames.end())
            imagesThatMayHaveBeenDeleted_.push_back(name);
    if (editorId == "top-editor")
        study->setTop(html);
    else if (editorId == "bottom-editor")
        study->setBottom(html);
    else
        topic->setTitle(html);
    if (auto delegate = deckChangeDelegate()) delegate->didChangeCard(card, shared_from_this());
}

void EditStudyCardViewController::updateFormattingButtons(const Value::Array& arguments) {
    const bool valid = arguments.size() >= 7 &&
                       std::all_of(arguments.begin(), arguments.begin() + 7, [](const Value& v) { return v.isBool(); });
    if (!valid) {
        TWLogWarning("Invalid formatting parameter: %s", Value(arguments).description().c_str());
        return;
    }
    TextAttributes attributes;
    attributes.isBold = arguments[0].boolValue();
    attributes.isItalic = arguments[1].boolValue();
    attributes.isUnderline = arguments[2].boolValue();
    attributes.isSuperscript = arguments[3].boolValue();
    attributes.isSubscript = arguments[4].boolValue();
    attributes.isUnorderedList = arguments[5].boolValue();
    attributes.isOrderedList = arguments[6].boolValue();
    setTextAttributes(attributes);
}

void EditStudyCardViewController::setTextAttributes(const TextAttributes& attributes) {
    currentTextAttributes_ = attributes;
    editorToolbar_->applyTextAttributes(attributes);
}

void EditStudyCardViewController::pruneImagesThatMayHaveBeenDeleted() {
    if (!imagesThatMayHaveBeenDeleted_.empty())
        if (auto delegate = deckChangeDelegate())
            delegate->runInventoryForImagesAndDeleteIfUnused(imagesThatMayHaveBeenDeleted_);
    imagesThatMayHaveBeenDeleted_.clear();
}

// --- Formatting pop-ups ---

std::shared_ptr<WebView> EditStudyCardViewController::editorWebView() const {
    return webView_;
}

void EditStudyCardViewController::makeOptionViews() {
    std::weak_ptr<EditStudyCardViewController> weakSelf =
        std::static_pointer_cast<EditStudyCardViewController>(shared_from_this());
    auto button = [weakSelf](std::int64_t tag, const std::string& title, double x,
                             void (EditStudyCardViewController::*action)()) {
        auto b = std::make_shared<Button>(Rect(x, 3, 40, 40));
        b->setTag(tag);
        b->setTitle(title, ControlStateNormal);
        b->addTarget(
            [weakSelf, action](Control&) {
                if (auto self = weakSelf.lock()) ((*self).*action)();
            },
            ControlEventTouchUpInside);
        return b;
    };
    if (!listOptionsView_) {
        listOptionsView_ = std::make_shared<View>(Rect(0, 0, 160, 46));
        listOptionsView_->addSubview(button(GlobalEditCardToolbar::kOrderedListTag, "1.", 0,
                                            &EditStudyCardViewController::insertOrderedListAction));
        listOptionsView_->addSubview(button(GlobalEditCardToolbar::kUnorderedListTag, "•", 40,
                                            &EditStudyCardViewController::insertUnorderedListAction));
        listOptionsView_->addSubview(
            button(GlobalEditCardToolbar::kIndentTag, "→", 80, &EditStudyCardViewController::indentAction));
        listOptionsView_->addSubview(
            button(GlobalEditCardToolbar::kOutdentTag, "←", 120, &EditStudyCardViewController::outdentAction));
    }
    if (!baselineOptionsView_) {
        baselineOptionsView_ = std::make_shared<View>(Rect(0, 0, 86, 46));
        baselineOptionsView_->addSubview(
            button(GlobalEditCardToolbar::kSuperscriptTag, "x²", 0, &EditStudyCardViewController::superscriptAction));
        baselineOptionsView_->addSubview(
            button(GlobalEditCardToolbar::kSubscriptTag, "x₂", 43, &EditStudyCardViewController::subscriptAction));
    }
    if (!textColorPickerView_) textColorPickerView_ = instantiateFromNib<TextColorPickerView>(Rect(0, 0, 220, 200));
}

void EditStudyCardViewController::connectColorPicker() {
    if (!textColorPickerView_) return;
    std::weak_ptr<EditStudyCardViewController> weakSelf =
        std::static_pointer_cast<EditStudyCardViewController>(shared_from_this());
    textColorPickerView_->foregroundColorChanged = [weakSelf] {
        auto self = weakSelf.lock();
        if (!self) return;
        const auto& picker = *self->textColorPickerView_;
        const auto row = picker.pickerView()->selectedRowInComponent(0);
        if (row >= 0 && row < static_cast<std::int64_t>(picker.foregroundColors().size()))
            self->sendColorCommand("foreColor", picker.foregroundColors()[static_cast<std::size_t>(row)]);
    };
    textColorPickerView_->backgroundColorChanged = [weakSelf] {
        auto self = weakSelf.lock();
        if (!self) return;
        const auto& picker = *self->textColorPickerView_;
        const auto row = picker.pickerView()->selectedRowInComponent(1);
        if (row >= 0 && row < static_cast<std::int64_t>(picker.backgroundColors().size()))
            self->sendColorCommand("backColor", picker.backgroundColors()[static_cast<std::size_t>(row)]);
    };
    textColorPickerView_->dismissPicker = [weakSelf] {
        auto self = weakSelf.lock();
        if (!self || !self->formattingOptionsPopupViewController_) return;
        self->formattingOptionsPopupViewController_->dismissViewController(true, [weakSelf] {
            if (auto me = weakSelf.lock()) me->formattingOptionsPopupViewController_.reset();
        });
    };
}

void EditStudyCardViewController::sendColorCommand(const std::string& name, const std::optional<Color>& color) {
    if (!webView_ || !color) return;
    std::string value;
    if (name == "backColor" && color->alpha() == 0)
        value = "transparent";
    else
        value = twRGBColorToHexString(color).value_or("#000000");
    webView_->evaluateJavaScript(GlobalEditCardToolbar::formattingCommandScript(name, value));
}

bool EditStudyCardViewController::closeShownPopup() {
    // A pop-up that closed itself (the document menu, once a place is
    // chosen or it is cancelled) is no longer shown.
    if (formattingOptionsPopupViewController_ && !formattingOptionsPopupViewController_->presentingViewController())
        formattingOptionsPopupViewController_.reset();
    if (formattingOptionsPopupViewController_) {
        std::weak_ptr<EditStudyCardViewController> weakSelf =
            std::static_pointer_cast<EditStudyCardViewController>(shared_from_this());
        auto shown = formattingOptionsPopupViewController_;
        shown->dismissViewController(true, [weakSelf, shown] {
            auto self = weakSelf.lock();
            if (self && self->formattingOptionsPopupViewController_ == shown)
                self->formattingOptionsPopupViewController_.reset();
        });
        return true;
    }
    if (imagePickerPopoverViewController_) {
        imagePickerPopoverViewController_->dismissViewController(false);
        imagePickerPopoverViewController_.reset();
        return true;
    }
    return false;
}

void EditStudyCardViewController::closePopupNow() {
    if (!formattingOptionsPopupViewController_) return;
    formattingOptionsPopupViewController_->dismissViewController(false);
    formattingOptionsPopupViewController_.reset();
}

void EditStudyCardViewController::showPopup(const std::shared_ptr<View>& contentView,
                                            const std::shared_ptr<BarButtonItem>& item, double width, double height) {
    if (closeShownPopup()) return;
    if (!contentView) return;
    auto popup = std::make_shared<ViewController>();
    contentView->removeFromSuperview();
    contentView->setTranslatesAutoresizingMaskIntoConstraints(false);
    contentView->setFrame(Rect(0, 0, width, height));
    popup->setView(contentView);
    popup->setModalPresentationStyle(ModalPresentationStyle::Popover);
    popup->setPreferredContentSize(Size(width, height));
    if (auto popover = popup->popoverPresentationController()) {
        popover->setBarButtonItem(item);
        popover->setDelegate(std::weak_ptr<AdaptivePresentationControllerDelegate>(
            std::static_pointer_cast<EditStudyCardViewController>(shared_from_this())));
    }
    formattingOptionsPopupViewController_ = popup;
    presentViewController(popup, true);
}

ModalPresentationStyle EditStudyCardViewController::adaptivePresentationStyleForPresentationController(
    PresentationController&, const TraitCollection&) {
    return ModalPresentationStyle::None;
}

void EditStudyCardViewController::presentationControllerDidDismiss(PresentationController& controller) {
    if (imagePickerPopoverViewController_ &&
        &controller.presentedViewController() == imagePickerPopoverViewController_.get()) {
        removeImagePlaceholder();
        TWLogDebug("Dismissed image picker popover");
        imagePickerPopoverViewController_.reset();
        return;
    }
    if (formattingOptionsPopupViewController_ &&
        &controller.presentedViewController() == formattingOptionsPopupViewController_.get()) {
        // The source sheet of an image leaves no placeholder behind.
        if (temporaryImageInsertionPointMarkerId_) removeImagePlaceholder();
        TWLogDebug("Dismissed popover");
        formattingOptionsPopupViewController_.reset();
    }
}

void EditStudyCardViewController::popUpListOptions(const std::shared_ptr<BarButtonItem>& sender) {
    if (listOptionsView_) {
        const bool inList = currentTextAttributes_.isOrderedList || currentTextAttributes_.isUnorderedList;
        auto tint = [this](std::int64_t tag, const Color& color, std::optional<bool> enabled) {
            if (auto* view = dynamic_cast<Button*>(listOptionsView_->viewWithTag(tag))) {
                view->setTintColor(color);
                if (enabled) view->setEnabled(*enabled);
            }
        };
        const auto on = GlobalEditCardToolbar::activeTint(), off = GlobalEditCardToolbar::inactiveTint();
        tint(GlobalEditCardToolbar::kOrderedListTag, currentTextAttributes_.isOrderedList ? on : off, std::nullopt);
        tint(GlobalEditCardToolbar::kUnorderedListTag, currentTextAttributes_.isUnorderedList ? on : off, std::nullopt);
        tint(GlobalEditCardToolbar::kIndentTag, off, inList);
        tint(GlobalEditCardToolbar::kOutdentTag, off, inList);
    }
    showPopup(listOptionsView_, sender, 160, 46);
}

void EditStudyCardViewController::popUpBaselineOptions(const std::shared_ptr<BarButtonItem>& sender) {
    if (baselineOptionsView_) {
        const auto on = GlobalEditCardToolbar::activeTint(), off = GlobalEditCardToolbar::inactiveTint();
        if (auto* view = baselineOptionsView_->viewWithTag(GlobalEditCardToolbar::kSuperscriptTag))
            view->setTintColor(currentTextAttributes_.isSuperscript ? on : off);
        if (auto* view = baselineOptionsView_->viewWithTag(GlobalEditCardToolbar::kSubscriptTag))
            view->setTintColor(currentTextAttributes_.isSubscript ? on : off);
    }
    showPopup(baselineOptionsView_, sender, 86, 46);
}

void EditStudyCardViewController::popUpColorOptions(const std::shared_ptr<BarButtonItem>& sender) {
    if (!textColorPickerView_ || !webView_) return;
    if (formattingOptionsPopupViewController_ || imagePickerPopoverViewController_) {
        closeShownPopup();
        return;
    }
    std::vector<Color> foreground;
    for (const auto& hex : FCTextColorScheme::defaultTextColorSchemeArrangedAsOne())
        if (auto color = twColorFromHexString(hex)) foreground.push_back(*color);
    auto background = foreground;
    background.push_back(Color::clearColor());
    textColorPickerView_->setForegroundColors(foreground);
    textColorPickerView_->setBackgroundColors(background);
    textColorPickerView_->pickerView()->reloadAllComponents();

    auto rowOf = [](const std::vector<Color>& colors, const std::optional<Color>& color) -> std::int64_t {
        if (!color) return -1;
        auto found = std::find(colors.begin(), colors.end(), *color);
        return found == colors.end() ? -1 : static_cast<std::int64_t>(found - colors.begin());
    };
    auto select = [rowOf](TextColorPickerView& picker, std::int64_t component, const std::optional<Value>& result,
                          const char* fallbackHex) {
        const auto& colors = component == 0 ? picker.foregroundColors() : picker.backgroundColors();
        std::optional<Color> color;
        if (result && result->isString()) color = parseCSSrgbColor(*result->asString());
        std::int64_t row = color ? rowOf(colors, color) : rowOf(colors, twColorFromHexString(fallbackHex));
        picker.pickerView()->selectRow(std::max<std::int64_t>(row, 0), component, false);
    };
    std::weak_ptr<EditStudyCardViewController> weakSelf =
        std::static_pointer_cast<EditStudyCardViewController>(shared_from_this());
    webView_->evaluateJavaScript(
        "document.queryCommandValue('foreColor')",
        [weakSelf, select, sender](const std::optional<Value>& result, const std::optional<Error>&) {
            auto self = weakSelf.lock();
            if (!self || !self->webView_) return;
            select(*self->textColorPickerView_, 0, result, "000000");
            self->webView_->evaluateJavaScript(
                "document.queryCommandValue('backColor')",
                [weakSelf, select, sender](const std::optional<Value>& result, const std::optional<Error>&) {
                    auto self = weakSelf.lock();
                    if (!self) return;
                    select(*self->textColorPickerView_, 1, result, "FFFFFF");
                    self->showPopup(self->textColorPickerView_, sender, 220, 200);
                });
        });
}

void EditStudyCardViewController::insertUnorderedListAction() {
    if (webView_) webView_->evaluateJavaScript(GlobalEditCardToolbar::formattingCommandScript("insertUnorderedList"));
    closePopupNow();
}

void EditStudyCardViewController::insertOrderedListAction() {
    if (webView_) webView_->evaluateJavaScript(GlobalEditCardToolbar::formattingCommandScript("insertOrderedList"));
    closePopupNow();
}

void EditStudyCardViewController::superscriptAction() {
    if (webView_) webView_->evaluateJavaScript(GlobalEditCardToolbar::formattingCommandScript("superscript"));
    closePopupNow();
}

void EditStudyCardViewController::subscriptAction() {
    if (webView_) webView_->evaluateJavaScript(GlobalEditCardToolbar::formattingCommandScript("subscript"));
    closePopupNow();
}

void EditStudyCardViewController::indentAction() {
    if (webView_) webView_->evaluateJavaScript(GlobalEditCardToolbar::formattingCommandScript("indent"));
    closePopupNow();
}

void EditStudyCardViewController::outdentAction() {
    if (webView_) webView_->evaluateJavaScript(GlobalEditCardToolbar::formattingCommandScript("outdent"));
    closePopupNow();
}
