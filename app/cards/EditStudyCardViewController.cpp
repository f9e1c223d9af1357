#include "app/cards/EditStudyCardViewController.h"

#include "Common/FIFlashcardsDocument.h"
#include "app/cards/CardListPresenter.h"
#include "app/cards/FCEditor.h"
#include "app/library/DeckOverviewViewController.h"
#include "app/study/DeckChangeDelegate.h"
#include "app/views/BarItemImages.h"
#include "app/views/ButtonTypes.h"
#include "app/views/CardAttachmentURLSchemeHandler.h"
#include "model/FCCard.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Image.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "umbrella/EditorWebView.h"
#include "umbrella/NotificationObservingCancellationToken.h"
#include "umbrella/WebViewJavaScriptBridge.h"

namespace {

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "Localizable");
}

// The study screen's bridge makes the editor from this storyboard.
const bool kSceneRegistered =
    (Storyboard::extendStoryboard(EditStudyCardViewController::kStoryboardName, "CardEditor",
                                  [](Storyboard& storyboard) {
                                      if (!storyboard.hasScene(EditStudyCardViewController::kSceneIdentifier))
                                          storyboard.addScene<EditStudyCardViewController>(
                                              EditStudyCardViewController::kSceneIdentifier);
                                  }),
     true);

// Whether the card list's mode has a list that takes new cards: the top
// level of a current-format deck, or a topic.
bool modeAllowsAdding(const CardListPresenter& presenter) {
    const auto& mode = presenter.presentationMode();
    if (!mode) return false;
    const ::PresentationMode* base = &*mode;
    if (base->is(::PresentationMode::Tag::editingTitle)) base = base->originalPresentationMode();
    if (!base) return false;
    switch (base->tag()) {
        case ::PresentationMode::Tag::topLevelCards: {
            auto document = std::dynamic_pointer_cast<FIFlashcardsDocument>(base->document());
            return document && document->deck();
        }
        case ::PresentationMode::Tag::topic:
            return base->topicCard() != nullptr;
        default:
            return false;
    }
}

EditCardPresentationMode buttonMode(EditStudyCardViewController::PresentationMode::Kind kind) {
    using Kind = EditStudyCardViewController::PresentationMode::Kind;
    switch (kind) {
        case Kind::coverCard:
            return EditCardPresentationMode::coverCard;
        case Kind::cardEditor:
            return EditCardPresentationMode::cardEditor;
        case Kind::singleCardModalEditor:
            return EditCardPresentationMode::singleCardModalEditor;
        case Kind::blank:
            break;
    }
    return EditCardPresentationMode::blank;
}

}  // namespace

// --- PresentationMode ---

EditStudyCardViewController::PresentationMode EditStudyCardViewController::PresentationMode::coverCard(
    std::shared_ptr<DeckOverviewViewController> deckOverview, std::string title, std::string subtitle,
    std::shared_ptr<DocumentItemDetails> details) {
    PresentationMode mode;
    mode.value_ = CoverCard{std::move(deckOverview), std::move(title), std::move(subtitle), std::move(details)};
    return mode;
}

EditStudyCardViewController::PresentationMode EditStudyCardViewController::PresentationMode::cardEditor(
    EditModeModel model) {
    PresentationMode mode;
    mode.value_ = std::move(model);
    return mode;
}

EditStudyCardViewController::PresentationMode EditStudyCardViewController::PresentationMode::cardEditor(
    std::shared_ptr<FCCard> card, std::int64_t index, bool isReadOnly, bool isSoloMode) {
    return cardEditor(EditModeModel{std::move(card), index, isReadOnly, isSoloMode});
}

EditStudyCardViewController::PresentationMode EditStudyCardViewController::PresentationMode::singleCardModalEditor(
    std::shared_ptr<FCCard> card, std::function<void()> completion) {
    PresentationMode mode;
    mode.value_ = SingleCardModalEditor{std::move(card), std::move(completion)};
    return mode;
}

std::shared_ptr<FCCard> EditStudyCardViewController::PresentationMode::card() const {
    if (const auto* editing = asCardEditor()) return editing->card;
    if (const auto* modal = asSingleCardModalEditor()) return modal->card;
    return nullptr;
}

bool EditStudyCardViewController::PresentationMode::isEditable() const {
    if (const auto* editing = asCardEditor()) return !editing->isReadOnly;
    return kind() == Kind::singleCardModalEditor;
}

std::string EditStudyCardViewController::PresentationMode::name() const {
    switch (kind()) {
        case Kind::coverCard:
            return "coverCard";
        case Kind::cardEditor:
            return "cardEditor";
        case Kind::singleCardModalEditor:
            return "singleCardModalEditor";
        case Kind::blank:
            break;
    }
    return "blank";
}

// --- Creation ---

EditStudyCardViewController::EditStudyCardViewController() : editorToolbar_(std::make_unique<GlobalEditCardToolbar>()) {
    (void)kSceneRegistered;
    exposeVoidMethod("handleEditorInputChanged:",
                     [this](const Value::Array& arguments) { handleEditorInputChanged(arguments); });
    exposeVoidMethod("updateFormattingButtons:",
                     [this](const Value::Array& arguments) { updateFormattingButtons(arguments); });
    exposeVoidMethod("pasteClean", [this](const Value::Array&) { pasteClean(); });
}

EditStudyCardViewController::~EditStudyCardViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

std::shared_ptr<EditStudyCardViewController> EditStudyCardViewController::sharedSelf() {
    return std::static_pointer_cast<EditStudyCardViewController>(shared_from_this());
}

void EditStudyCardViewController::loadView() {
    WebViewConfiguration configuration;
    configuration.setDataDetectorTypes(WebViewConfiguration::DataDetectorNone);
    configuration.setURLSchemeHandler(std::make_shared<CardAttachmentURLSchemeHandler>(), "card-attachment");
    webView_ = EditorWebView::create(Rect(), configuration);
    webView_->setBackgroundColor(Color::systemBackgroundColor());
    webView_->scrollView()->setKeyboardDismissMode(ScrollViewKeyboardDismissMode::Interactive);
    webView_->setOpaque(false);
    setView(webView_);
}

void EditStudyCardViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    std::weak_ptr<EditStudyCardViewController> weakSelf = sharedSelf();
    bridge_ = WebViewJavaScriptBridge::create(
        webView_, false,
        [weakSelf] {
            TWLogDebug("Did load DOM content");
            auto self = weakSelf.lock();
            if (!self || !self->webView_) return;
            self->webView_->evaluateJavaScript(
                inputListenerScript(), [](const std::optional<Value>&, const std::optional<Error>& error) {
                    if (error)
                        TWLogWarning("Error adding input change listeners: %s", error->description().c_str());
                    else
                        TWLogDebug("Added input change listeners");
                });
        },
        [] {}, [](const std::string& line) { TWLogDebug("JS: %s", line.c_str()); },
        [](const std::string& line) { TWLogWarning("%s", line.c_str()); });
    bridge_->addHandler(sharedSelf(), kHandlerName);

    auto action = [weakSelf](auto member) {
        return [weakSelf, member](BarButtonItem& item) {
            if (auto self = weakSelf.lock()) member(*self, item);
        };
    };
    addCardBarItem_ = BarButtonItem::withSystemItem(
        BarButtonSystemItem::Add, action([](EditStudyCardViewController& self, BarButtonItem& item) {
            self.popUpNewCardOptions(std::static_pointer_cast<BarButtonItem>(item.shared_from_this()));
        }));
    nextBarItem_ = BarButtonItem::withImage(
        barItemImage("ChevronDownTemplate"), BarButtonItemStyle::Plain,
        action([](EditStudyCardViewController& self, BarButtonItem&) { self.showNextCard(nullptr); }));
    prevBarItem_ = BarButtonItem::withImage(
        barItemImage("ChevronUpTemplate"), BarButtonItemStyle::Plain,
        action([](EditStudyCardViewController& self, BarButtonItem&) { self.showPreviousCard(nullptr); }));
    addStudyCardBarItem_ = BarButtonItem::withImage(
        barItemImage("AddStudyCard"), BarButtonItemStyle::Plain,
        action([](EditStudyCardViewController& self, BarButtonItem&) { self.addNewStudyCard(nullptr); }));
    addTopicCardBarItem_ = BarButtonItem::withImage(
        barItemImage("AddTopicCard"), BarButtonItemStyle::Plain,
        action([](EditStudyCardViewController& self, BarButtonItem&) { self.addNewTopicCard(nullptr); }));
    updatePreviousNextButtons();

    editorToolbar_->setDelegate(std::weak_ptr<GlobalEditCardToolbarDelegate>(sharedSelf()));
    webView_->setAccessoryInputView(editorToolbar_->toolbar());
    webView_->inputAssistantItem().setTrailingBarButtonGroups({});
    makeOptionViews();
    connectColorPicker();

    // A cover chosen before the view existed is embedded now.
    if (const auto* cover = presentationMode_.asCoverCard())
        if (cover->deckOverview && !cover->deckOverview->parentViewController()) embedCover(cover->deckOverview);
}

// --- Set-up ---

void EditStudyCardViewController::takeSetUp(std::weak_ptr<CardListPresenter> presenter,
                                            std::weak_ptr<DeckChangeDelegate> delegate, bool isReadOnlyVersionPreview) {
    cardListPresenter_ = std::move(presenter);
    deckChangeDelegate_ = std::move(delegate);
    isReadOnlyVersionPreview_ = isReadOnlyVersionPreview;
}

void EditStudyCardViewController::reloadEditorIfLoaded() {
    if (!isViewLoaded()) return;
    reloadEditor();
    didUpdateEditor_ = true;
}

void EditStudyCardViewController::showCardEditor(std::int64_t index, bool isReadOnly, bool isSoloMode,
                                                 bool isReadOnlyVersionPreview,
                                                 std::weak_ptr<CardListPresenter> cardListPresenter,
                                                 std::weak_ptr<DeckChangeDelegate> deckChangeDelegate) {
    takeSetUp(std::move(cardListPresenter), std::move(deckChangeDelegate), isReadOnlyVersionPreview);
    auto presenter = cardListPresenter_.lock();
    auto card = presenter ? presenter->card(index) : nullptr;
    if (!card) {
        TWLogWarning("No card at index %ld of the card list; the editor shows nothing", static_cast<long>(index));
        setPresentationMode(PresentationMode::blank());
    } else {
        setPresentationMode(PresentationMode::cardEditor(std::move(card), index, isReadOnly, isSoloMode));
    }
    reloadEditorIfLoaded();
}

void EditStudyCardViewController::showBlank(std::weak_ptr<CardListPresenter> cardListPresenter,
                                            std::weak_ptr<DeckChangeDelegate> deckChangeDelegate,
                                            bool isReadOnlyVersionPreview) {
    takeSetUp(std::move(cardListPresenter), std::move(deckChangeDelegate), isReadOnlyVersionPreview);
    setPresentationMode(PresentationMode::blank());
    reloadEditorIfLoaded();
}

void EditStudyCardViewController::showDeckOverview(std::string title, std::string subtitle,
                                                   std::shared_ptr<DocumentItemDetails> details,
                                                   bool isReadOnlyVersionPreview,
                                                   std::weak_ptr<CardListPresenter> cardListPresenter,
                                                   std::weak_ptr<DeckChangeDelegate> deckChangeDelegate) {
    takeSetUp(std::move(cardListPresenter), std::move(deckChangeDelegate), isReadOnlyVersionPreview);
    auto board = storyboard();
    if (!board || !board->hasScene(DeckOverviewViewController::kSceneIdentifier))
        board = Storyboard::storyboardWithName(DeckOverviewViewController::kStoryboardName);
    auto overview = board->instantiate<DeckOverviewViewController>(DeckOverviewViewController::kSceneIdentifier);
    if (overview) overview->configure(title, subtitle, details);
    setPresentationMode(
        PresentationMode::coverCard(std::move(overview), std::move(title), std::move(subtitle), std::move(details)));
}

void EditStudyCardViewController::showSingleCardModalEditor(std::shared_ptr<FCCard> card,
                                                            std::function<void()> completion,
                                                            std::weak_ptr<DeckChangeDelegate> deckChangeDelegate) {
    takeSetUp({}, std::move(deckChangeDelegate), false);
    setPresentationMode(PresentationMode::singleCardModalEditor(std::move(card), std::move(completion)));
    reloadEditorIfLoaded();
}

// --- Transitions ---

void EditStudyCardViewController::removeCoverChild(const PresentationMode& old) {
    const auto* cover = old.asCoverCard();
    if (!cover || !cover->deckOverview) return;
    const auto& child = cover->deckOverview;
    child->willMoveToParentViewController(nullptr);
    if (auto childView = child->viewIfLoaded()) childView->removeFromSuperview();
    child->removeFromParentViewController();
}

void EditStudyCardViewController::embedCover(const std::shared_ptr<DeckOverviewViewController>& overview) {
    const auto& root = view();
    addChildViewController(overview);
    const auto& childView = overview->view();
    childView->setFrame(root->bounds());
    if (dimmingOverlayView_) {
        root->insertSubviewBelow(childView, dimmingOverlayView_.get());
        root->bringSubviewToFront(dimmingOverlayView_.get());
    } else {
        root->addSubview(childView);
    }
    childView->setTranslatesAutoresizingMaskIntoConstraints(false);
    std::vector<std::shared_ptr<LayoutConstraint>> pins;
    for (auto attribute :
         {LayoutAttribute::Leading, LayoutAttribute::Top, LayoutAttribute::Trailing, LayoutAttribute::Bottom})
        pins.push_back(
            LayoutConstraint::constraintWithItem(childView, attribute, LayoutRelation::Equal, root, attribute, 1, 0));
    LayoutConstraint::activateConstraints(pins);
    overview->didMoveToParentViewController(this);
    if (webView_) webView_->setBackgroundColor(Color::systemBackgroundColor());
}

void EditStudyCardViewController::setPresentationMode(PresentationMode mode) {
    PresentationMode old = std::move(presentationMode_);
    presentationMode_ = std::move(mode);
    removeCoverChild(old);
    if (const auto* cover = presentationMode_.asCoverCard()) {
        if (cover->deckOverview && isViewLoaded()) embedCover(cover->deckOverview);
    } else {
        if (webView_)
            webView_->setBackgroundColor(presentationMode_.kind() == PresentationMode::Kind::blank
                                             ? Color::systemBackgroundColor()
                                             : Color::white(1));
        didUpdateEditor_ = false;
        updatePreviousNextButtons();
    }
    updateNavigationTitle();
    const bool overlay = dimmingOverlayView_ != nullptr;
    updateToolbar(true, overlay);
    updateNavigationBarItems(true, overlay);
}

std::int64_t EditStudyCardViewController::currentListCount() const {
    auto presenter = cardListPresenter();
    if (!presenter || !presenter->presentationMode()) return 0;
    return static_cast<std::int64_t>(presenter->presentationMode()->cards().size());
}

bool EditStudyCardViewController::canAddCards() const {
    auto presenter = cardListPresenter();
    return presenter && modeAllowsAdding(*presenter) && !isReadOnlyVersionPreview_ &&
           !presenter->isReadOnlyVersionPreview();
}

void EditStudyCardViewController::updateNavigationTitle() {
    const auto* editing = presentationMode_.asCardEditor();
    if (editing && cardListPresenter()) {
        setTitle(std::to_string(editing->index + 1) + "/" + std::to_string(currentListCount()));
    } else {
        setTitle(std::nullopt);
    }
}

void EditStudyCardViewController::updatePreviousNextButtons() {
    bool previous = false, next = false;
    const auto* editing = presentationMode_.asCardEditor();
    if (editing && cardListPresenter()) {
        const std::int64_t count = currentListCount();
        previous = editing->index - 1 >= 0 && editing->index - 1 < count;
        next = editing->index + 1 < count;
    }
    if (prevBarItem_) prevBarItem_->setEnabled(previous);
    if (nextBarItem_) nextBarItem_->setEnabled(next);
}

// --- Bars ---

void EditStudyCardViewController::updateToolbar(bool animated, bool hasDimmingOverlay) {
    std::vector<std::shared_ptr<BarButtonItem>> items;
    bool shown = true;
    const auto* editing = presentationMode_.asCardEditor();
    const auto kind = presentationMode_.kind();
    if (hasDimmingOverlay) {
        shown = true;
    } else if (kind == PresentationMode::Kind::coverCard || kind == PresentationMode::Kind::blank ||
               (editing && !editing->isSoloMode)) {
        std::weak_ptr<EditStudyCardViewController> weakSelf = sharedSelf();
        items.push_back(BarButtonItem::withTitle(localized("MemorizeAction", "Memorize"), BarButtonItemStyle::Plain,
                                                 [weakSelf](BarButtonItem& item) {
                                                     if (auto self = weakSelf.lock())
                                                         self->memorize(item.shared_from_this());
                                                 }));
        items.push_back(BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace));
        items.push_back(
            BarButtonItem::withTitle("Multiple Choice", BarButtonItemStyle::Plain, [weakSelf](BarButtonItem& item) {
                if (auto self = weakSelf.lock()) self->multipleChoice(item.shared_from_this());
            }));
    } else {
        shown = false;
    }
    if (isReadOnlyVersionPreview_) shown = false;
    if (auto navigation = navigationController())
        if (navigation->isToolbarHidden() == shown) navigation->setToolbarHidden(!shown, animated);
    setToolbarItems(std::move(items), animated);
}

void EditStudyCardViewController::updateNavigationBarItems(bool animated, bool hasDimmingOverlay) {
    auto presenter = cardListPresenter();
    const bool isFlashcardsDocument =
        presenter && std::dynamic_pointer_cast<FIFlashcardsDocument>(presenter->document()) != nullptr;
    const auto* editing = presentationMode_.asCardEditor();
    const auto types =
        editCardButtonTypes(traitCollection().horizontalSizeClass, canAddCards(), isFlashcardsDocument,
                            buttonMode(presentationMode_.kind()), editing && editing->isSoloMode, hasDimmingOverlay);
    std::weak_ptr<EditStudyCardViewController> weakSelf = sharedSelf();
    std::vector<std::shared_ptr<BarButtonItem>> items;
    for (auto type : types) {
        switch (type) {
            case EditCardButtonType::add:
                if (addCardBarItem_) items.push_back(addCardBarItem_);
                break;
            case EditCardButtonType::next:
                if (nextBarItem_) items.push_back(nextBarItem_);
                break;
            case EditCardButtonType::previous:
                if (prevBarItem_) items.push_back(prevBarItem_);
                break;
            case EditCardButtonType::share:
                items.push_back(
                    BarButtonItem::withSystemItem(BarButtonSystemItem::Action, [weakSelf](BarButtonItem& item) {
                        if (auto self = weakSelf.lock())
                            self->shareDeck(std::static_pointer_cast<BarButtonItem>(item.shared_from_this()));
                    }));
                break;
            case EditCardButtonType::doneEditingModally:
                items.push_back(
                    BarButtonItem::withSystemItem(BarButtonSystemItem::Done, [weakSelf](BarButtonItem& item) {
                        if (auto self = weakSelf.lock()) self->doneEditingModally(item.shared_from_this());
                    }));
                break;
            case EditCardButtonType::addStudyCard:
                if (addStudyCardBarItem_) items.push_back(addStudyCardBarItem_);
                break;
            case EditCardButtonType::addTopicCard:
                if (addTopicCardBarItem_) items.push_back(addTopicCardBarItem_);
                break;
        }
    }
    navigationItem().setRightBarButtonItems(std::move(items), animated);
}

// --- Actions ---

void EditStudyCardViewController::showPreviousCard(const AnyObject&) {
    const auto* editing = presentationMode_.asCardEditor();
    auto presenter = cardListPresenter();
    if (!editing || !presenter) return;
    const std::int64_t index = editing->index - 1;
    if (index < 0 || index >= currentListCount()) return;
    const EditModeModel model = *editing;
    showCardEditor(index, model.isReadOnly, model.isSoloMode, isReadOnlyVersionPreview_, presenter,
                   deckChangeDelegate_);
    presenter->selectRow(index);
}

void EditStudyCardViewController::showNextCard(const AnyObject&) {
    const auto* editing = presentationMode_.asCardEditor();
    auto presenter = cardListPresenter();
    if (!editing || !presenter) return;
    const std::int64_t index = editing->index + 1;
    if (index < 0 || index >= currentListCount()) return;
    const EditModeModel model = *editing;
    showCardEditor(index, model.isReadOnly, model.isSoloMode, isReadOnlyVersionPreview_, presenter,
                   deckChangeDelegate_);
    presenter->selectRow(index);
}

void EditStudyCardViewController::endEditingInWebView() {
    if (webView_) webView_->endEditing(true);
}

void EditStudyCardViewController::popUpNewCardOptions(const std::shared_ptr<BarButtonItem>& sender) {
    if (!canAddCards()) return;
    auto sheet =
        AlertController::alertControllerWithTitle(std::nullopt, std::nullopt, AlertControllerStyle::ActionSheet);
    std::weak_ptr<EditStudyCardViewController> weakSelf = sharedSelf();
    sheet->addAction(AlertAction::actionWithTitle(localized("AddCardAction", "Add Card"), AlertActionStyle::Default,
                                                  [weakSelf](AlertAction&) {
                                                      if (auto self = weakSelf.lock()) self->addNewCard(false);
                                                  }));
    sheet->addAction(AlertAction::actionWithTitle(localized("AddTopicAction", "Add Topic"), AlertActionStyle::Default,
                                                  [weakSelf](AlertAction&) {
                                                      if (auto self = weakSelf.lock()) self->addNewCard(true);
                                                  }));
    sheet->addAction(AlertAction::actionWithTitle(localized("Cancel", "Cancel"), AlertActionStyle::Cancel));
    endEditingInWebView();
    if (auto popover = sheet->popoverPresentationController()) popover->setBarButtonItem(sender);
    presentViewController(sheet, true);
}

void EditStudyCardViewController::addNewStudyCard(const AnyObject&) {
    addNewCard(false);
}

void EditStudyCardViewController::addNewTopicCard(const AnyObject&) {
    addNewCard(true);
}

void EditStudyCardViewController::addNewCard(bool topic) {
    auto presenter = cardListPresenter();
    if (!presenter || !deckChangeDelegate() || !canAddCards()) return;
    endEditingInWebView();
    const auto* editing = presentationMode_.asCardEditor();
    const std::int64_t index = editing ? editing->index + 1 : currentListCount();
    if (topic)
        presenter->_insertNewTopicCardAtIndex(index);
    else
        presenter->_insertNewStudyCardAtIndex(index);
    showCardEditor(index, false, false, false, presenter, deckChangeDelegate_);
}

void EditStudyCardViewController::doneEditingModally(const AnyObject&) {
    pruneImagesThatMayHaveBeenDeleted();
    const auto* modal = presentationMode_.asSingleCardModalEditor();
    if (!modal) {
        TWLogWarning("INVALID presentation state after 'doneEditingModally': %s", presentationMode_.name().c_str());
        return;
    }
    auto completion = modal->completion;
    if (completion) completion();
    showBlank({}, {}, isReadOnlyVersionPreview_);
}

void EditStudyCardViewController::memorize(const AnyObject& sender) {
    if (auto presenter = cardListPresenter()) presenter->memorize(sender);
}

void EditStudyCardViewController::multipleChoice(const AnyObject& sender) {
    if (auto presenter = cardListPresenter()) presenter->multipleChoice(sender);
}

void EditStudyCardViewController::shareDeck(const std::shared_ptr<BarButtonItem>& sender) {
    if (auto presenter = cardListPresenter()) presenter->_shareDocument(sender);
}

// --- Dimming overlay ---

void EditStudyCardViewController::showDimmingOverlay(bool animated) {
    const auto& root = view();
    if (dimmingOverlayView_) {
        root->bringSubviewToFront(dimmingOverlayView_.get());
        return;
    }
    auto overlay = std::make_shared<View>(Rect());
    overlay->setBackgroundColor(Color::white(0));
    overlay->setAlpha(0);
    overlay->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(overlay);
    LayoutConstraint::activateConstraints({
        LayoutConstraint::constraintWithItem(overlay, LayoutAttribute::Leading, LayoutRelation::Equal, root,
                                             LayoutAttribute::Leading, 1, 0),
        LayoutConstraint::constraintWithItem(overlay, LayoutAttribute::Trailing, LayoutRelation::Equal, root,
                                             LayoutAttribute::Trailing, 1, 0),
        LayoutConstraint::constraintWithItem(overlay, LayoutAttribute::Top, LayoutRelation::Equal, root,
                                             LayoutAttribute::Top, 1, topLayoutGuideLength()),
        LayoutConstraint::constraintWithItem(overlay, LayoutAttribute::Bottom, LayoutRelation::Equal, root,
                                             LayoutAttribute::Bottom, 1, 0),
    });
    if (animated)
        View::animate(0.3, [overlay] { overlay->setAlpha(0.2); });
    else
        overlay->setAlpha(0.2);
    dimmingOverlayView_ = overlay;
    updateNavigationBarItems(animated, true);
    updateToolbar(animated, true);
}

void EditStudyCardViewController::hideDimmingOverlay(bool animated) {
    if (auto overlay = dimmingOverlayView_) {
        // The field is cleared at once so a new overlay may come while this one fades.
        dimmingOverlayView_.reset();
        if (animated) {
            View::animate(
                0.3, [overlay] { overlay->setAlpha(0); }, [overlay](bool) { overlay->removeFromSuperview(); });
        } else {
            overlay->setAlpha(0);
            overlay->removeFromSuperview();
        }
    }
    updateNavigationBarItems(animated, false);
    updateToolbar(animated, false);
}

// --- Lifecycle ---

void EditStudyCardViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (!didUpdateEditor_) {
        reloadEditor();
        didUpdateEditor_ = true;
    }
    const bool overlay = dimmingOverlayView_ != nullptr;
    updateNavigationBarItems(animated, overlay);
    updateToolbar(animated, overlay);
    updateNavigationTitle();
    std::weak_ptr<EditStudyCardViewController> weakSelf = sharedSelf();
    keyboardWillHideToken_ =
        addObserver(NotificationCenter::defaultCenter(), std::string(kKeyboardWillHideNotification), nullptr, nullptr,
                    [weakSelf](const Notification&) {
                        TWLogDebug("Keyboard will hide");
                        auto self = weakSelf.lock();
                        if (self && self->webView_) FCEditor::make(*self->webView_)->blurFocusedElement();
                    });
}

void EditStudyCardViewController::viewWillDisappear(bool animated) {
    ViewController::viewWillDisappear(animated);
    pruneImagesThatMayHaveBeenDeleted();
    if (keyboardWillHideToken_) keyboardWillHideToken_->removeObserver();
    keyboardWillHideToken_.reset();
}

void EditStudyCardViewController::traitCollectionDidChange(const std::optional<TraitCollection>& previous) {
    ViewController::traitCollectionDidChange(previous);
    const bool overlay = dimmingOverlayView_ != nullptr;
    updateNavigationBarItems(true, overlay);
    updateToolbar(true, overlay);
}
