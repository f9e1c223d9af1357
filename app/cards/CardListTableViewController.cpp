#include "app/cards/CardListTableViewController.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <unordered_map>
#include <vector>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIDeckDocument.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/cards/CardListDetailEditor.h"
#include "app/cards/DoubleRatingsHistoryView.h"
#include "app/cards/EmtpyTableViewImpersonatorView.h"
#include "app/shell/FIAnalytics.h"
#include "app/views/ColorAdditions.h"
#include "app/views/FICardEntryView.h"
#include "app/views/FITableViewCellWithDrawer.h"
#include "app/views/TableViewCellWithProgress.h"
#include "app/views/UniversalUITextFieldDelegate.h"
#include "model/FCCardArena.h"
#include "model/FCDeck.h"
#include "model/FCDifficultyGroupingStrategy.h"
#include "model/FCLastStudiedGroupingStrategy.h"
#include "model/FCReversedStudyCard.h"
#include "model/FCSpacedRepetitionGroupingStrategy.h"
#include "model/TWLogger.h"
#include "model/TWStringAdditions.h"
#include "platform/document/Document.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TransitionCoordinator.h"

namespace {

// The table header: the grouping control above the search bar, both as wide
// as the list (the table gives the header its width).
class GroupingAndSearchHeaderView : public View {
public:
    using View::View;
    void layoutSubviews() override {
        View::layoutSubviews();
        const double width = bounds().size.width;
        for (const auto& child : subviews()) {
            if (dynamic_cast<SegmentedControl*>(child.get()))
                child->setFrame(Rect(16, 8, std::max(0.0, width - 32), 28));
            else if (dynamic_cast<SearchBar*>(child.get()))
                child->setFrame(Rect(0, 44, width, SearchBar::kHeight));
        }
    }
};

constexpr const char* kFileName = "CardListTableViewController";
constexpr double kOverlayDuration = 0.3;
constexpr double kOverlayAlpha = 0.2;

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english);
}

// The nine characters a file name may not hold.
bool containsRefusedTitleCharacter(const std::string& text) {
    return text.find_first_of("<>:\"/\\|?*") != std::string::npos;
}

// Blanks and tabs off both ends (not line ends).
std::string trimmingBlanksAndTabs(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The text with its first character in upper case, in any script.
std::string withFirstCharacterUpperCased(const std::string& text) {
    std::size_t end = 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    return uppercaseString(std::string_view(text).substr(0, end)) + text.substr(end);
}

// The study cards under a topic row. A group holds study cards only: its
// count is its size, without a walk over a large deck's cards.
std::int64_t studyCardCountOf(const FCTopicCard& topic) {
    if (dynamic_cast<const CardGroup*>(&topic)) return static_cast<std::int64_t>(topic.cards()->size());
    return topic.deepStudyCardCount();
}

// A slice of a search keeps the main thread for at most this long, half a frame.
constexpr std::chrono::nanoseconds kSearchSliceBudget = std::chrono::milliseconds(8);

std::shared_ptr<LayoutConstraint> scheduleZeroWidthConstraint(View& button) {
    for (const auto& constraint : button.constraints())
        if (constraint->identifier() == std::optional<std::string>("ScheduleZeroWidth")) return constraint;
    return nullptr;
}

// A topic or group row: the title (over the subtitle when it has one) from
// the left, the count and the schedule button at the right, the title block,
// the count and the button each centred on the row's height. The button has
// no width while its zero-width constraint outweighs the others.
class TopicTableViewCell : public TableViewCellWithProgress {
public:
    using TableViewCellWithProgress::TableViewCellWithProgress;

    void layoutSubviews() override {
        TableViewCellWithProgress::layoutSubviews();
        constexpr double kSide = 16, kSpacing = 8, kButtonSide = 30;
        View& content = *contentView();
        const Rect bounds = content.bounds();
        auto* title = dynamic_cast<Label*>(content.viewWithTag(CardListTableViewController::kTitleLabelTag));
        auto* subtitle = dynamic_cast<Label*>(content.viewWithTag(CardListTableViewController::kSubtitleLabelTag));
        auto* count = dynamic_cast<Label*>(content.viewWithTag(CardListTableViewController::kCountLabelTag));
        auto* button = content.viewWithTag(CardListTableViewController::kScheduleNextButtonTag);
        if (!title || !count || !button) return;
        auto zeroWidth = scheduleZeroWidthConstraint(*button);
        const double buttonWidth = zeroWidth && zeroWidth->priority() > 1 ? 0 : kButtonSide;
        double right = bounds.size.width;
        button->setFrame(Rect(right - buttonWidth, (bounds.size.height - kButtonSide) / 2, buttonWidth, kButtonSide));
        if (buttonWidth > 0) right -= buttonWidth + kSpacing;
        const Size countSize = count->intrinsicContentSize();
        count->setFrame(Rect(right - countSize.width, (bounds.size.height - countSize.height) / 2, countSize.width,
                             countSize.height));
        if (countSize.width > 0) right -= countSize.width + kSpacing;
        const double width = std::max(0.0, right - kSide);
        const double titleHeight = std::ceil(title->font().lineHeight());
        const bool twoLines = subtitle && subtitle->text() && !subtitle->text()->empty();
        const double subtitleHeight = twoLines ? std::ceil(subtitle->font().lineHeight()) : 0;
        const double top = (bounds.size.height - titleHeight - subtitleHeight) / 2;
        title->setFrame(Rect(kSide, top, width, titleHeight));
        if (subtitle) subtitle->setFrame(Rect(kSide, top + titleHeight, width, subtitleHeight));
    }
};

std::shared_ptr<TableViewCellWithProgress> makeTopicCell(const std::string& identifier, bool withSubtitle,
                                                         std::weak_ptr<ViewController> weakList) {
    auto cell = std::make_shared<TopicTableViewCell>(TableViewCellStyle::Default, identifier);
    const auto& content = cell->contentView();
    auto title = std::make_shared<Label>(Rect(16, 6, 240, 24));
    title->setTag(CardListTableViewController::kTitleLabelTag);
    content->addSubview(title);
    auto count = std::make_shared<Label>(Rect(260, 17, 60, 24));
    count->setTag(CardListTableViewController::kCountLabelTag);
    content->addSubview(count);
    auto schedule = Button::buttonWithType(ButtonType::System);
    schedule->setFrame(Rect(320, 14, 30, 30));
    schedule->setTag(CardListTableViewController::kScheduleNextButtonTag);
    schedule->setTitle(std::string("+1"), ControlStateNormal);
    // Folded to no width, the button shows nothing of its title.
    schedule->setClipsToBounds(true);
    auto zeroWidth = LayoutConstraint::constraintWithItem(schedule, LayoutAttribute::Width, LayoutRelation::Equal,
                                                          nullptr, LayoutAttribute::NotAnAttribute, 1, 0);
    zeroWidth->setIdentifier(std::string("ScheduleZeroWidth"));
    zeroWidth->setActive(true);
    schedule->addTarget(
        [weakList](Control& sender) {
            if (auto list = std::dynamic_pointer_cast<CardListTableViewController>(weakList.lock()))
                list->scheduleNextSpacedRepetitionCard(sender);
        },
        ControlEventTouchUpInside);
    content->addSubview(schedule);
    if (withSubtitle) {
        auto subtitle = std::make_shared<Label>(Rect(16, 30, 240, 20));
        subtitle->setTag(CardListTableViewController::kSubtitleLabelTag);
        content->addSubview(subtitle);
    }
    return cell;
}

}  // namespace

// --- Scene ---

void CardListTableViewController::addScene(Storyboard& storyboard) {
    storyboard.addScene<CardListTableViewController>(kSceneIdentifier, [](CardListTableViewController& c) {
        std::weak_ptr<ViewController> weakList = c.shared_from_this();
        auto table = std::make_shared<TableView>(Rect(0, 0, 390, 844));
        table->registerCellFactory(kStudyCardCellIdentifier, [](const std::string& identifier) {
            return std::static_pointer_cast<TableViewCell>(
                FITableViewCellWithDrawer::make(TableViewCellStyle::Default, identifier));
        });
        table->registerCellFactory(kSpacedRepetitionSetupCellIdentifier, [](const std::string& identifier) {
            auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, identifier);
            cell->textLabel()->setText(localized("SpacedRepetitionSetupRowTitle", "Set Up Spaced Repetition…"));
            return cell;
        });
        // The setup row opens the box-interval setup, and a study card the
        // editor beside the list, where the storyboard has those segues.
        const std::string setupSegue(rawValue(SegueIdentifier::ShowSpacedRepetitionSetupSegue));
        const std::string editorSegue(rawValue(SegueIdentifier::ShowEditorDetailSegue));
        if (auto board = c.storyboard()) {
            if (board->segue(kSceneIdentifier, setupSegue))
                table->setSelectionSegue(kSpacedRepetitionSetupCellIdentifier, setupSegue);
            if (board->segue(kSceneIdentifier, editorSegue))
                table->setSelectionSegue(kStudyCardCellIdentifier, editorSegue);
        }
        for (const auto& [identifier, subtitle] :
             {std::pair<std::string, bool>{kSubtitleTopicCellIdentifier, true}, {kSpecialTopicCellIdentifier, false}}) {
            table->registerCellFactory(identifier, [weakList, subtitle](const std::string& id) {
                return std::static_pointer_cast<TableViewCell>(makeTopicCell(id, subtitle, weakList));
            });
            table->setSelectionSegue(identifier, std::string(rawValue(SegueIdentifier::ShowParticalCardListSegue)));
        }
        auto header = std::make_shared<GroupingAndSearchHeaderView>(Rect(0, 0, 390, 44 + SearchBar::kHeight));
        auto control = std::make_shared<SegmentedControl>(
            std::vector<std::string>{"None", "Spaced Repetition", "Difficulty", "Last Studied"});
        control->setFrame(Rect(16, 8, 358, 28));
        control->setSelectedSegmentIndex(0);
        control->addTarget(
            [weakList](Control& sender) {
                if (auto list = std::dynamic_pointer_cast<CardListTableViewController>(weakList.lock()))
                    list->changeGrouping(static_cast<SegmentedControl&>(sender));
            },
            ControlEventValueChanged);
        header->addSubview(control);
        auto search = SearchBar::make(Rect(0, 44, 390, SearchBar::kHeight));
        header->addSubview(search);
        auto footer = std::make_shared<EmtpyTableViewImpersonatorView>(Rect(0, 0, 390, 0));
        table->setTableHeaderView(header);
        table->setTableFooterView(footer);
        c.setView(table);
        c.setOutlets(header, control, footer, search);
    });
    storyboard.addSegue(kSceneIdentifier, std::string(rawValue(SegueIdentifier::ShowParticalCardListSegue)),
                        kSceneIdentifier, StoryboardSegueKind::Push);
    addCommandScenes(storyboard);
}

// --- Creation ---

CardListTableViewController::CardListTableViewController()
    : titleTextField_(std::make_shared<TextField>(Rect(0, 0, 10, 21.5))) {}

CardListTableViewController::~CardListTableViewController() {
    if (delayedClearStatsTimer_) delayedClearStatsTimer_->invalidate();
}

void CardListTableViewController::setOutlets(std::shared_ptr<View> groupingOptionsTableHeaderView,
                                             std::shared_ptr<SegmentedControl> groupingOptionsControl,
                                             std::shared_ptr<EmtpyTableViewImpersonatorView> footer,
                                             std::shared_ptr<SearchBar> searchBar) {
    groupingOptionsTableHeaderView_ = std::move(groupingOptionsTableHeaderView);
    groupingOptionsControl_ = std::move(groupingOptionsControl);
    emptyTableViewImpersonatorFooterView_ = std::move(footer);
    searchBar_ = std::move(searchBar);
    if (searchBar_)
        searchBar_->setDelegate(std::static_pointer_cast<SearchBarDelegate>(
            std::static_pointer_cast<CardListTableViewController>(shared_from_this())));
}

bool CardListTableViewController::isFlashcardsDocument() const {
    return flashcardsDocument() != nullptr;
}

std::shared_ptr<FIFlashcardsDocument> CardListTableViewController::flashcardsDocument() const {
    return std::dynamic_pointer_cast<FIFlashcardsDocument>(document_);
}

// --- Presentation mode ---

void CardListTableViewController::setPresentationMode(PresentationMode mode) {
    // The mode a search under way started from is gone: so is the search.
    search_.reset();
    auto oldMode = std::move(presentationMode_);
    presentationMode_ = std::move(mode);
    applyPresentationMode(oldMode);
}

void CardListTableViewController::applyPresentationMode(const std::optional<PresentationMode>& oldMode) {
    auto keep = shared_from_this();
    const auto& mode = *presentationMode_;
    const auto& editButton = editButtonItem();
    // An old-format deck answers the edit button with its alert.
    const bool editEnabled = (mode.isEditButtonEnabled() && !isReadOnlyVersionPreview_) || !isFlashcardsDocument();
    // Set only when it changes: setting it lays the button out again.
    if (editButton->isEnabled() != editEnabled) editButton->setEnabled(editEnabled);

    if (isViewLoaded()) {
        auto table = tableView();
        if (!mode.showsGroupingHeader())
            table->setTableHeaderView(nullptr);
        else if (!table->tableHeaderView() && groupingOptionsTableHeaderView_)
            table->setTableHeaderView(groupingOptionsTableHeaderView_);
    }

    if (oldMode && oldMode->is(PresentationMode::Tag::editingTitle)) {
        rebuildNavigationItemsAndToolbar(true);
        if (auto overlay = oldMode->overlay()) {
            View::animate(
                kOverlayDuration, [overlay] { overlay->setAlpha(0); },
                [overlay](bool) { overlay->removeFromSuperview(); });
        }
        if (isViewLoaded()) tableView()->setUserInteractionEnabled(true);
        setDetailEditorDimmingOverlayShown(false);
    }

    if (mode.is(PresentationMode::Tag::editingTitle)) {
        rebuildNavigationItemsAndToolbar(true);
        if (auto overlay = mode.overlay(); overlay && isViewLoaded()) {
            const auto& container = view();
            overlay->setTranslatesAutoresizingMaskIntoConstraints(false);
            container->addSubview(overlay);
            container->bringSubviewToFront(overlay.get());
            std::vector<std::shared_ptr<LayoutConstraint>> pins;
            for (auto attribute :
                 {LayoutAttribute::Left, LayoutAttribute::Top, LayoutAttribute::Width, LayoutAttribute::Height})
                pins.push_back(LayoutConstraint::constraintWithItem(overlay, attribute, LayoutRelation::Equal,
                                                                    container, attribute, 1, 0));
            LayoutConstraint::activateConstraints(pins);
            overlay->setFrame(container->bounds());
            overlay->setBackgroundColor(Color::blackColor());
            overlay->setAlpha(0);
            View::animate(kOverlayDuration, [overlay] { overlay->setAlpha(kOverlayAlpha); });
        }
        if (isViewLoaded()) tableView()->setUserInteractionEnabled(false);
        setDetailEditorDimmingOverlayShown(true);
    }
}

// --- Detail pane ---

bool CardListTableViewController::hasExpandedSplitView() const {
    const auto& hook = cardListDetailEditor();
    auto self = std::const_pointer_cast<CardListTableViewController>(
        std::static_pointer_cast<const CardListTableViewController>(shared_from_this()));
    return hook.isSplitViewExpanded && hook.isSplitViewExpanded(*self);
}

std::shared_ptr<ViewController> CardListTableViewController::detailEditor() {
    const auto& hook = cardListDetailEditor();
    return hook.editorInDetailPane ? hook.editorInDetailPane(*this) : nullptr;
}

void CardListTableViewController::setDetailEditorDimmingOverlayShown(bool shown) {
    const auto& hook = cardListDetailEditor();
    if (!hook.setDimmingOverlayShown) return;
    if (auto editor = detailEditor()) hook.setDimmingOverlayShown(*editor, shown, true);
}

void CardListTableViewController::refreshDetailPane() {
    const auto& hook = cardListDetailEditor();
    if (!hook.configureEditor) return;
    if (auto editor = detailEditor()) hook.configureEditor(*this, *editor);
}

void CardListTableViewController::refreshDeckCover() {
    const auto& hook = cardListDetailEditor();
    if (!hook.configureEditor || !hook.mode) return;
    auto editor = detailEditor();
    if (editor && hook.mode(*editor) == CardListDetailEditor::Mode::coverCard) hook.configureEditor(*this, *editor);
}

void CardListTableViewController::refreshSelectionToolbar() {
    if (!isEditing()) return;
    updateToolbarItemsForSelection();
    updateSelectionTitle();
}

// --- Title editing ---

void CardListTableViewController::setUpTitleTextField() {
    titleTextFieldDelegate_ = std::make_shared<UniversalUITextFieldDelegate>();
    std::weak_ptr<ViewController> weak = weak_from_this();
    auto self = [weak] { return std::static_pointer_cast<CardListTableViewController>(weak.lock()); };
    titleTextFieldDelegate_->setTextFieldShouldBeginEditing([self](TextField& field) {
        auto list = self();
        return list && list->titleFieldShouldBeginEditing(field);
    });
    titleTextFieldDelegate_->setTextFieldShouldChangeCharactersInRange(
        [self](TextField& field, Range, const std::string& replacement) {
            auto list = self();
            return list && list->titleFieldShouldChangeCharacters(field, replacement);
        });
    titleTextFieldDelegate_->setTextFieldShouldReturn([self](TextField& field) {
        auto list = self();
        return list && list->titleFieldShouldReturn(field);
    });
    titleTextFieldDelegate_->setTextFieldShouldEndEditing([self](TextField& field) {
        auto list = self();
        return list && list->titleFieldShouldEndEditing(field);
    });
    // The headline text style.
    titleTextField_->setFont(Font::systemFont(17, FontWeight::Semibold));
    titleTextField_->setReturnKeyType(ReturnKeyType::Done);
    titleTextField_->setTextAlignment(TextAlignment::Center);
    titleTextField_->setDelegate(titleTextFieldDelegate_);
    navigationItem().setTitleView(titleTextField_);
}

bool CardListTableViewController::titleFieldShouldBeginEditing(TextField& field) {
    if (!presentationMode_ || presentationMode_->is(PresentationMode::Tag::editingTitle)) return false;
    if (searchBar_ && searchBar_->isFirstResponder()) {
        searchBar_->endEditing(true);
        return false;
    }
    if (!presentationMode_->isTitleEditable() || isReadOnlyVersionPreview_) return false;
    if (isViewLoaded() && tableView()->isEditing()) setEditing(false, true);
    field.setBorderStyle(TextBorderStyle::RoundedRect);
    field.sizeToFit();
    setPresentationMode(PresentationMode::editingTitle(*presentationMode_, std::make_shared<View>()));
    return true;
}

bool CardListTableViewController::titleFieldShouldChangeCharacters(TextField& field, const std::string& replacement) {
    field.sizeToFit();
    // The bar centres the title field again at its new width.
    if (auto bar = field.superview()) bar->setNeedsLayout();
    return !containsRefusedTitleCharacter(replacement);
}

bool CardListTableViewController::titleFieldShouldReturn(TextField& field) {
    const std::string trimmed = twStringByTrimming(field.text().value_or(""));
    if (trimmed.empty()) return false;
    if (!presentationMode_ || !presentationMode_->is(PresentationMode::Tag::editingTitle)) return false;
    const PresentationMode wrapped = *presentationMode_->originalPresentationMode();
    switch (wrapped.tag()) {
        case PresentationMode::Tag::topic:
        case PresentationMode::Tag::groupForTopic: {
            auto topic = wrapped.topicCard();
            topic->setTitle(trimmed);
            // The list that shows the topic's row (the parent) updates it and tells the document.
            if (auto delegate = deckChangeDelegate_.lock()) delegate->didChangeCard(topic, shared_from_this());
            field.resignFirstResponder();
            return true;
        }
        case PresentationMode::Tag::topLevelCards:
        case PresentationMode::Tag::groupForTopLevelCards: {
            if (fileName(trimmed) == document_->fileURL().lastPathComponent()) {
                field.resignFirstResponder();
                return true;
            }
            if (!isDeckNameAvailable(trimmed)) {
                auto alert = AlertController::alertControllerWithTitle(
                    stringWithFormat(localized("DeckNameAlreadyTakenFormat",
                                               "“%@” is already taken. Please choose a different name."),
                                     trimmed),
                    std::nullopt, AlertControllerStyle::Alert);
                alert->addAction(AlertAction::actionWithTitle(std::string("OK"), AlertActionStyle::Default));
                presentViewController(alert, true);
                return false;
            }
            field.resignFirstResponder();
            std::weak_ptr<ViewController> weak = weak_from_this();
            renameDocument(trimmed, [weak] {
                if (auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock()))
                    list->refreshDeckCover();
            });
            return true;
        }
        default:
            return true;
    }
}

bool CardListTableViewController::titleFieldShouldEndEditing(TextField& field) {
    field.setBorderStyle(TextBorderStyle::None);
    field.sizeToFit();
    if (presentationMode_ && presentationMode_->is(PresentationMode::Tag::editingTitle))
        setPresentationMode(*presentationMode_->originalPresentationMode());
    field.setText(presentationMode_ ? presentationMode_->titleText() : std::string());
    return true;
}

void CardListTableViewController::cancelEditingTitle() {
    titleTextField_->resignFirstResponder();
}

std::string CardListTableViewController::shownTitleText() const {
    if (!presentationMode_) return {};
    const auto tag = presentationMode_->tag();
    if (isReadOnlyVersionPreview_ &&
        (tag == PresentationMode::Tag::topLevelCards || tag == PresentationMode::Tag::groupForTopLevelCards))
        return localized("CardListVersionPreview", "Preview");
    return presentationMode_->titleText();
}

void CardListTableViewController::refreshTitle() {
    if (!presentationMode_) return;
    const std::string title = presentationMode_->titleText();
    if (titleTextField_->text().value_or("") == title) return;
    titleTextField_->resignFirstResponder();
    titleTextField_->setText(title);
}

void CardListTableViewController::documentStateChanged() {
    const unsigned state = document_ ? document_->documentState() : 0;
    if (presentationMode_ && presentationMode_->is(PresentationMode::Tag::editingTitle) &&
        (state == DocumentStateNormal || state == DocumentStateProgressAvailable))
        return;
    if (state & DocumentStateEditingDisabled) return;
    refreshTitle();
    rebuildNavigationItemsAndToolbar(true);
}

// --- Lifecycle ---

void CardListTableViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    studyStatsToTextTransformer_.setUseBulletForUnsure(true);
    auto table = tableView();
    if (emptyTableViewImpersonatorFooterView_) {
        emptyTableViewImpersonatorFooterView_->setLeftInset(table->separatorInset().left);
        emptyTableViewImpersonatorFooterView_->setSeparatorColor(
            table->separatorColor().value_or(Color::separatorColor()));
        emptyTableViewImpersonatorFooterView_->setRowHeight(STUDY_CARD_ROW_HEIGHT);
        emptyTableViewImpersonatorFooterView_->setNeedsDisplay();
    }
    table->setAllowsMultipleSelectionDuringEditing(true);
    setUpTitleTextField();
    std::weak_ptr<ViewController> weak = weak_from_this();
    auto doubleTap = std::make_shared<TapGestureRecognizer>([weak](GestureRecognizer& recognizer) {
        if (auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock()))
            list->handleTableViewDoubleTap(recognizer);
    });
    doubleTap->setNumberOfTapsRequired(2);
    doubleTap->setDelaysTouchesEnded(false);
    table->addGestureRecognizer(doubleTap);
    if (presentationMode_) applyPresentationMode(std::nullopt);
}

void CardListTableViewController::viewWillAppear(bool animated) {
    auto keep = shared_from_this();
    auto table = tableView();
    bool clears = !hasExpandedSplitView();
    if (!clears && presentationMode_) {
        const auto selected = table->indexPathForSelectedRow();
        const auto& cards = presentationMode_->cards();
        clears = selected && selected->row >= 0 && static_cast<std::size_t>(selected->row) < cards.size() &&
                 cards[static_cast<std::size_t>(selected->row)]->isTopicCard();
    }
    setClearsSelectionOnViewWillAppear(clears);
    TableViewController::viewWillAppear(animated);

    titleTextField_->setText(shownTitleText());
    titleTextField_->sizeToFit();

    rebuildNavigationItemsAndToolbar(animated);
    if (table->isEditing()) {
        updateToolbarItemsForSelection();
        updateSelectionTitle();
    }

    if (needsGroupContentsUpdate_ && presentationMode_) {
        needsGroupContentsUpdate_ = false;
        switch (presentationMode_->tag()) {
            case PresentationMode::Tag::groupForTopLevelCards:
            case PresentationMode::Tag::groupForTopic:
                if (currentGroupingStrategy_) regroupCurrentMode();
                table->reloadData();
                break;
            case PresentationMode::Tag::groupContent:
                if (auto delegate = groupingDelegate_.lock()) {
                    auto group = delegate->regroupedGroup(presentationMode_->topicCard());
                    setPresentationMode(PresentationMode::groupContent(presentationMode_->document(), group));
                    table->reloadData();
                }
                break;
            default:
                break;
        }
    }

    if (!documentStateObserver_ && document_) {
        std::weak_ptr<ViewController> weak = weak_from_this();
        documentStateObserver_ = NotificationCenter::defaultCenter().addObserverForName(
            std::string(DocumentStateChangedNotification), AnyObject(document_), nullptr, [weak](const Notification&) {
                if (auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock()))
                    list->documentStateChanged();
            });
    }

    if (presentationMode_ && presentationMode_->cards().empty()) adjustTableFillerFooterHeight();

    if (!didHideTableHeaderOnFirstViewAppearance_) {
        didHideTableHeaderOnFirstViewAppearance_ = true;
        std::weak_ptr<ViewController> weak = weak_from_this();
        OperationQueue::mainQueue().addOperationWithBlock([weak] {
            if (auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock()))
                list->hideTableHeaderUnderTopBar();
        });
    }
}

void CardListTableViewController::viewDidAppear(bool animated) {
    TableViewController::viewDidAppear(animated);
    if (didConfigureDetailOnFirstViewAppearance_) return;
    didConfigureDetailOnFirstViewAppearance_ = true;
    // The master side's first controller appears with the split view, not
    // by a push: no navigation callback configures the editor beside it.
    auto navigation = navigationController();
    if (hasExpandedSplitView() && navigation && navigation->topViewController().get() == this) refreshDetailPane();
}

void CardListTableViewController::viewWillDisappear(bool animated) {
    TableViewController::viewWillDisappear(animated);
    if (searchBar_) searchBar_->endEditing(true);
    if (delayedClearStatsTimer_) {
        delayedClearStatsTimer_->invalidate();
        delayedClearStatsTimer_.reset();
    }
    if (documentStateObserver_) {
        NotificationCenter::defaultCenter().removeObserver(documentStateObserver_);
        documentStateObserver_.reset();
    }
}

void CardListTableViewController::hideTableHeaderUnderTopBar() {
    if (!isViewLoaded()) return;
    auto table = tableView();
    const auto& header = table->tableHeaderView();
    if (!header) return;
    table->setContentOffset({0, header->frame().size.height - topLayoutGuideLength()});
}

void CardListTableViewController::willTransitionToTraitCollection(
    const TraitCollection& newCollection, const std::shared_ptr<ViewControllerTransitionCoordinator>& coordinator) {
    TableViewController::willTransitionToTraitCollection(newCollection, coordinator);
    if (!isViewLoaded()) return;
    std::weak_ptr<ViewController> weak = weak_from_this();
    coordinator->animateAlongsideTransition([weak] {
        auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock());
        if (!list) return;
        auto table = list->tableView();
        const auto& footer = table->tableFooterView();
        if (!footer) return;
        const double height = list->tableFillerFooterHeight();
        if (footer->frame().size.height == height) return;
        Rect frame = footer->frame();
        frame.size.height = height;
        footer->setFrame(frame);
        table->setTableFooterView(footer);
        list->hideTableHeaderUnderTopBar();
    });
}

void CardListTableViewController::traitCollectionDidChange(const std::optional<TraitCollection>& previous) {
    TableViewController::traitCollectionDidChange(previous);
    std::weak_ptr<ViewController> weak = weak_from_this();
    OperationQueue::mainQueue().addOperationWithBlock([weak] {
        auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock());
        if (!list) return;
        list->rebuildNavigationItemsAndToolbar(true);
        if (list->presentationMode_ && list->presentationMode_->is(PresentationMode::Tag::editingTitle))
            list->setDetailEditorDimmingOverlayShown(true);
    });
}

// --- Actions ---

void CardListTableViewController::selectFirstCardAndShowEditor() {
    if (!presentationMode_ || presentationMode_->cards().empty()) return;
    tableView()->selectRowAtIndexPath(IndexPath{CARD_LIST_SECTION_INDEX, 0}, false, TableViewScrollPosition::None);
    performSegueWithIdentifier(std::string(rawValue(SegueIdentifier::ShowEditorDetailSegue)), nullptr);
}

void CardListTableViewController::closeDeck() {
    if (auto delegate = cardListDelegate_.lock()) delegate->closeDeck(*this);
}

void CardListTableViewController::listen(const AnyObject& sender) {
    performSegueWithIdentifier(std::string(rawValue(SegueIdentifier::StudyByListeningSegue)), sender);
}

// --- Rows ---

std::int64_t CardListTableViewController::numberOfSectionsInTableView(TableView&) {
    return 1;
}

std::int64_t CardListTableViewController::numberOfRowsInSection(TableView&, std::int64_t section) {
    needsTableFillerFooterHeightAdjustment_ = true;
    // The table is (re)loading: the rows' cards may have changed.
    topicRowsStudyCardCount_.reset();
    if (section != CARD_LIST_SECTION_INDEX || !presentationMode_) return 0;
    return static_cast<std::int64_t>(presentationMode_->cards().size());
}

double CardListTableViewController::heightForRowAtIndexPath(TableView&, const IndexPath&) {
    return STUDY_CARD_ROW_HEIGHT;
}

void CardListTableViewController::willDisplayCell(TableView&, TableViewCell&, const IndexPath&) {
    if (!needsTableFillerFooterHeightAdjustment_) return;
    needsTableFillerFooterHeightAdjustment_ = false;
    adjustTableFillerFooterHeight();
}

double CardListTableViewController::tableFillerFooterHeight() {
    auto table = tableView();
    const double tableHeight = table->bounds().size.height;
    double rows = 0;
    const std::int64_t count = presentationMode_ ? static_cast<std::int64_t>(presentationMode_->cards().size()) : 0;
    for (std::int64_t row = 0; row < count && rows <= tableHeight; ++row)
        rows += heightForRowAtIndexPath(*table, IndexPath{CARD_LIST_SECTION_INDEX, row});
    auto navigation = navigationController();
    const double toolbarHeight = navigation ? navigation->toolbar()->frame().size.height : 0;
    return std::max(0.0, tableHeight - topLayoutGuideLength() - rows - toolbarHeight);
}

void CardListTableViewController::adjustTableFillerFooterHeight() {
    if (!emptyTableViewImpersonatorFooterView_ || !isViewLoaded()) return;
    Rect frame = emptyTableViewImpersonatorFooterView_->frame();
    frame.size.height = tableFillerFooterHeight();
    emptyTableViewImpersonatorFooterView_->setFrame(frame);
    tableView()->setTableFooterView(emptyTableViewImpersonatorFooterView_);
    emptyTableViewImpersonatorFooterView_->setNeedsDisplay();
}

std::optional<std::string> CardListTableViewController::plainText(const std::optional<std::string>& html) const {
    if (!html) return std::nullopt;
    auto text = htmlToPlainTextTransformer_.transformedValue(*html);
    if (text && text->empty()) return std::nullopt;
    return text;
}

namespace {

// The plain text of a topic or group row's title. Row titles come again and
// again (a grouping's titles on every switch, a row's title once to pick its
// cell and once to fill it): the plain text of the titles seen last is kept, a
// handful of them (main thread only).
std::optional<std::string> plainTitle(const FCHtmlToPlainTextValueTransformer& transformer,
                                      const std::optional<std::string>& html) {
    if (!html) return std::nullopt;
    static thread_local std::unordered_map<std::string, std::optional<std::string>> recent;
    if (auto found = recent.find(*html); found != recent.end()) return found->second;
    auto text = transformer.transformedValue(*html);
    if (text && text->empty()) text.reset();
    if (recent.size() >= 64) recent.clear();
    recent.emplace(*html, text);
    return text;
}

}  // namespace

Color CardListTableViewController::progressColor(const FCStudyStats& stats) {
    return progressColor(stats.combinedConfidenceAndDifficulty());
}

Color CardListTableViewController::progressColor(double c) {
    static const Color red = *twColorFromHexString(std::string("FF0000"));
    static const Color yellow = *twColorFromHexString(std::string("FFCC00"));
    static const Color green = *twColorFromHexString(std::string("2db507"));
    if (c == 0) return Color::systemBackgroundColor();
    if (c < 0) return twColorByInterpolating(1 - std::abs(c) / 100, red, yellow);
    return twColorByInterpolating(c / 100, yellow, green);
}

std::shared_ptr<TableViewCell> CardListTableViewController::cellForRowAtIndexPath(TableView& tableView,
                                                                                  const IndexPath& indexPath) {
    const auto& cards = presentedCards();
    if (indexPath.section != CARD_LIST_SECTION_INDEX || indexPath.row < 0 ||
        static_cast<std::size_t>(indexPath.row) >= cards.size()) {
        TWLogWarning("Invalid card row: %ld. Num presented cards: %ld", static_cast<long>(indexPath.row),
                     static_cast<long>(cards.size()));
        return std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::nullopt);
    }
    const auto& card = cards[static_cast<std::size_t>(indexPath.row)];
    if (card->isStudyCard()) {
        auto cell = tableView.dequeueReusableCell(kStudyCardCellIdentifier, indexPath);
        configureStudyCardCell(*cell, static_cast<const FCStudyCard&>(*card));
        return cell;
    }
    const auto& topic = static_cast<const FCTopicCard&>(*card);
    const auto* group = dynamic_cast<const CardGroup*>(&topic);
    if (group && group->wantsSpacedRepetitionSetupButton()) {
        auto cell = tableView.dequeueReusableCell(kSpacedRepetitionSetupCellIdentifier, indexPath);
        cell->setSelectionStyle(TableViewCellSelectionStyle::None);
        return cell;
    }
    const auto title = plainTitle(htmlToPlainTextTransformer_, topic.title());
    const bool withSubtitle = group && title && title->find(" (") != std::string::npos;
    auto cell = tableView.dequeueReusableCell(withSubtitle ? kSubtitleTopicCellIdentifier : kSpecialTopicCellIdentifier,
                                              indexPath);
    configureTopicCell(*cell, topic);
    return cell;
}

void CardListTableViewController::configureStudyCardCell(TableViewCell& cell, const FCStudyCard& card) {
    auto* drawerCell = dynamic_cast<FITableViewCellWithDrawer*>(&cell);
    if (!drawerCell) return;
    if (!drawerCell->customContentView()) {
        drawerCell->setDrawerViewPeekWidth(4);
        const Rect frame = cell.contentView()->bounds();
        drawerCell->setCustomContentView(FICardEntryView::make(frame));
        drawerCell->setDrawerView(DoubleRatingsHistoryView::make(frame));
    }
    auto drawer = std::dynamic_pointer_cast<DoubleRatingsHistoryView>(drawerCell->drawerView());
    auto entry = std::dynamic_pointer_cast<FICardEntryView>(drawerCell->customContentView());
    const auto stats = card.studyStats();
    const auto reverse = card.reverseStudyStats();
    if (drawer) {
        drawer->topRatingsHistoryView()->ratingsHistoryLabel()->setText(
            studyStatsToTextTransformer_.transformedValue(stats));
        drawer->topRatingsHistoryView()->setCurrentRatingColor(stats ? progressColor(*stats)
                                                                     : Color::systemBackgroundColor());
        if (reverse && reverse->numberOfRatings() > 0) {
            drawer->bottomRatingsHistoryView()->ratingsHistoryLabel()->setText(
                studyStatsToTextTransformer_.transformedValue(reverse));
            drawer->bottomRatingsHistoryView()->setCurrentRatingColor(progressColor(*reverse));
            drawer->configureForDoubleViewLayout();
        } else {
            drawer->bottomRatingsHistoryView()->ratingsHistoryLabel()->setText(std::nullopt);
            drawer->configureForSingleViewLayout();
        }
    }
    if (entry) {
        auto show = [&](Label& label, const std::optional<std::string>& html, const char* key, const char* english) {
            if (auto text = plainText(html)) {
                label.setText(*text);
                label.setTextColor(Color::labelColor());
            } else {
                label.setText(localized(key, english));
                label.setTextColor(Color::secondaryLabelColor());
            }
        };
        show(*entry->questionLabel(), card.top(), "CardListEmptyQuestionTitle", "Question");
        show(*entry->answerLabel(), card.bottom(), "CardListEmptyAnswerTitle", "Answer");
        entry->cardNumberLabel()->setText(std::to_string(card.sequenceNumber()));
        entry->setNeedsLayout();
    }
    cell.setSeparatorInset(EdgeInsets{0, 16, 0, 0});
}

void CardListTableViewController::configureTopicCell(TableViewCell& cell, const FCTopicCard& topic) {
    const auto* group = dynamic_cast<const CardGroup*>(&topic);
    if (auto* button = dynamic_cast<Button*>(cell.contentView()->viewWithTag(kScheduleNextButtonTag))) {
        button->setEnabled(group && !topic.cards()->empty());
        if (auto zeroWidth = scheduleZeroWidthConstraint(*button))
            zeroWidth->setPriority(group ? (group->wantsScheduleNextButton() ? 1 : 1000) : 999);
    }
    cell.setSeparatorInset(EdgeInsets{0, 16, 0, 0});
    auto* titleLabel = dynamic_cast<Label*>(cell.contentView()->viewWithTag(kTitleLabelTag));
    auto* subtitleLabel = dynamic_cast<Label*>(cell.contentView()->viewWithTag(kSubtitleLabelTag));
    std::string title, subtitle;
    Color color = Color::labelColor();
    if (auto plain = plainTitle(htmlToPlainTextTransformer_, topic.title())) {
        title = *plain;
        const auto open = plain->find(" (");
        if (group && open != std::string::npos) {
            title = plain->substr(0, open);
            std::string rest = plain->substr(open + 2);
            subtitle = rest.substr(0, rest.find(')'));
            if (!subtitle.empty()) subtitle = withFirstCharacterUpperCased(subtitle);
        }
    } else {
        title = localized("CardListEmtpyTopicTitle", "Topic");
        color = Color::secondaryLabelColor();
    }
    if (titleLabel) {
        titleLabel->setText(title);
        titleLabel->setTextColor(color);
    }
    if (subtitleLabel) {
        subtitleLabel->setText(subtitle);
        subtitleLabel->setTextColor(color);
    }
    if (auto* progressCell = dynamic_cast<TableViewCellWithProgress*>(&cell)) {
        // Counted once for all the rows a load configures, not once for each.
        if (!topicRowsStudyCardCount_) {
            topicRowsStudyCardCount_ = 0;
            for (const auto& row : presentationMode_->cards())
                if (row->isTopicCard())
                    *topicRowsStudyCardCount_ += studyCardCountOf(static_cast<const FCTopicCard&>(*row));
        }
        const std::int64_t total = *topicRowsStudyCardCount_;
        progressCell->setProgress(
            total == 0 ? 0 : static_cast<double>(studyCardCountOf(topic)) / static_cast<double>(total));
        std::optional<Color> progressColor;
        if (group && group->progressHexColor())
            if (auto base = twColorFromHexString(*group->progressHexColor()))
                progressColor = base->withAlphaComponent(
                    traitCollection().userInterfaceStyle == UserInterfaceStyle::Dark ? 0.3 : 0.1);
        progressCell->setProgressColor(progressColor);
        progressCell->setNeedsDisplay();
    }
    cell.setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
    if (auto* count = dynamic_cast<Label*>(cell.contentView()->viewWithTag(kCountLabelTag)))
        count->setText(std::to_string(studyCardCountOf(topic)));
    // The row shows its new texts and button where a tap finds them at once.
    cell.setNeedsLayout();
    cell.layoutIfNeeded();
}

// --- Selection and editing ---

void CardListTableViewController::didSelectRowAtIndexPath(TableView& tableView, const IndexPath&) {
    if (tableView.isEditing()) refreshSelectionToolbar();
}

void CardListTableViewController::didDeselectRowAtIndexPath(TableView& tableView, const IndexPath&) {
    if (tableView.isEditing()) refreshSelectionToolbar();
}

void CardListTableViewController::updateToolbarItemsForSelection() {
    auto navigation = navigationController();
    if (!navigation) return;
    const bool anySelected = !tableView()->indexPathsForSelectedRows().empty();
    for (const auto& item : navigation->toolbar()->items()) {
        if (item->tag() == kDeleteItemTag || item->tag() == kMoveItemTag) item->setEnabled(anySelected);
        if (item->tag() == kClearStatsItemTag) item->setEnabled(true);
    }
}

std::int64_t CardListTableViewController::numberOfSelectedCards() {
    std::function<std::int64_t(const FCCard&)> count = [&](const FCCard& card) -> std::int64_t {
        std::int64_t n = 1;
        if (card.isTopicCard())
            for (const auto& child : *card.cards()) n += count(*child);
        return n;
    };
    const auto& cards = presentedCards();
    std::int64_t total = 0;
    for (const auto& indexPath : tableView()->indexPathsForSelectedRows())
        if (indexPath.row >= 0 && static_cast<std::size_t>(indexPath.row) < cards.size())
            total += count(*cards[static_cast<std::size_t>(indexPath.row)]);
    return total;
}

void CardListTableViewController::updateSelectionTitle() {
    const std::int64_t count = numberOfSelectedCards();
    navigationItem().setTitle(count > 0 ? std::to_string(count) + " " + localized("CardListXCardsSelected", "selected")
                                        : std::string());
}

void CardListTableViewController::setEditing(bool editing, bool animated) {
    if (editing && !isFlashcardsDocument()) {
        auto alert = AlertController::alertControllerWithTitle(
            localized("EditingNotSupportedForLegacyDeckTitle", "Editing Not Supported For Decks In Old Format"),
            localized("EditingNotSupportedForLegacyDeckMessage",
                      "To edit this deck, download the latest version of the Memorant Mac app to convert this deck "
                      "into the new “.flashcards” format."),
            AlertControllerStyle::Alert);
        alert->addAction(AlertAction::actionWithTitle(std::string("OK"), AlertActionStyle::Default));
        presentViewController(alert, true);
        return;
    }
    TableViewController::setEditing(editing, animated);
    const auto& hook = cardListDetailEditor();
    if (hook.setDimmingOverlayShown)
        if (auto editor = detailEditor()) hook.setDimmingOverlayShown(*editor, editing, true);
    if (groupingOptionsControl_) groupingOptionsControl_->setEnabled(!editing);
    if (editing) {
        titleTextField_->resignFirstResponder();
        titleTextField_->setText(presentationMode_ ? presentationMode_->titleText() : std::string());
        navigationItem().setTitle(std::string());
        navigationItem().setTitleView(nullptr);
    } else {
        navigationItem().setTitle(std::nullopt);
        navigationItem().setTitleView(titleTextField_);
    }
    rebuildNavigationItemsAndToolbar(animated);
    if (editing) refreshSelectionToolbar();
    if (emptyTableViewImpersonatorFooterView_) {
        emptyTableViewImpersonatorFooterView_->setSkipFirstSeparator(editing);
        emptyTableViewImpersonatorFooterView_->setNeedsDisplay();
    }
}

bool CardListTableViewController::canEditRowAtIndexPath(TableView&, const IndexPath& indexPath) {
    if (indexPath.section != CARD_LIST_SECTION_INDEX) return false;
    return !(document_ && (document_->documentState() & DocumentStateEditingDisabled));
}

bool CardListTableViewController::canMoveRowAtIndexPath(TableView&, const IndexPath&) {
    return true;
}

FCCardArray* CardListTableViewController::modifiableCards() {
    if (!presentationMode_) return nullptr;
    const PresentationMode* mode = &*presentationMode_;
    if (mode->is(PresentationMode::Tag::editingTitle)) mode = mode->originalPresentationMode();
    switch (mode->tag()) {
        case PresentationMode::Tag::topLevelCards:
            if (auto document = std::dynamic_pointer_cast<FIFlashcardsDocument>(mode->document()))
                if (auto deck = document->deck()) return &deck->cards();
            return nullptr;
        case PresentationMode::Tag::topic:
            return mode->topicCard()->cards();
        default:
            return nullptr;
    }
}

IndexPath CardListTableViewController::targetIndexPathForMoveFromRowAtIndexPath(TableView&,
                                                                                const IndexPath& sourceIndexPath,
                                                                                const IndexPath& proposed) {
    return proposed.section == sourceIndexPath.section ? proposed : sourceIndexPath;
}

void CardListTableViewController::moveRowAtIndexPath(TableView&, const IndexPath& from, const IndexPath& to) {
    auto* cards = modifiableCards();
    if (!cards || from.row < 0 || static_cast<std::size_t>(from.row) >= cards->size()) return;
    auto card = (*cards)[static_cast<std::size_t>(from.row)];
    cards->erase(cards->begin() + from.row);
    const auto at = std::min<std::size_t>(static_cast<std::size_t>(std::max<std::int64_t>(to.row, 0)), cards->size());
    cards->insert(cards->begin() + static_cast<std::ptrdiff_t>(at), card);
    didReorderCards();
}

void CardListTableViewController::handleTableViewDoubleTap(GestureRecognizer& recognizer) {
    auto table = tableView();
    if (!table->isEditing() || hasExpandedSplitView()) return;
    const Point point = recognizer.locationInView(table.get());
    for (const auto& indexPath : table->indexPathsForVisibleRows()) {
        if (!table->rectForRowAtIndexPath(indexPath).contains(point)) continue;
        auto boxed = std::make_shared<IndexPath>(indexPath);
        performSegueWithIdentifier(std::string(rawValue(SegueIdentifier::SoloEditStudyCardSegue)), AnyObject(boxed));
        return;
    }
}

// --- Selection commands ---

void CardListTableViewController::presentSelectionSheet(const std::shared_ptr<BarButtonItem>& sender,
                                                        std::vector<std::shared_ptr<AlertAction>> actions) {
    if (presentedViewController()) {
        dismissViewController(true);
        return;
    }
    auto sheet =
        AlertController::alertControllerWithTitle(std::nullopt, std::nullopt, AlertControllerStyle::ActionSheet);
    sheet->view()->setTintColor(Color(0, 0.47843137254901963, 1, 1));
    if (auto popover = sheet->popoverPresentationController()) popover->setBarButtonItem(sender);
    for (auto& action : actions) sheet->addAction(std::move(action));
    sheet->addAction(AlertAction::actionWithTitle(localized("Cancel", "Cancel"), AlertActionStyle::Cancel));
    presentViewController(sheet, true);
}

namespace {

// An action that runs `block` on the list while it exists; disabled ones
// have no handler.
std::shared_ptr<AlertAction> listAction(const std::string& title, AlertActionStyle style, bool enabled,
                                        std::weak_ptr<ViewController> weak,
                                        std::function<void(CardListTableViewController&)> block) {
    AlertAction::Handler handler;
    if (enabled)
        handler = [weak, block](AlertAction&) {
            if (auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock())) block(*list);
        };
    auto action = AlertAction::actionWithTitle(title, style, handler);
    action->setEnabled(enabled);
    return action;
}

}  // namespace

void CardListTableViewController::presentDeleteSelectedCardsOptions(const std::shared_ptr<BarButtonItem>& sender) {
    const bool anySelected = !tableView()->indexPathsForSelectedRows().empty();
    presentSelectionSheet(sender, {listAction(localized("DeleteSelectedCardsAction", "Delete Selected Cards"),
                                              AlertActionStyle::Destructive, anySelected, weak_from_this(),
                                              [](CardListTableViewController& list) { list.deleteSelectedCards(); })});
}

void CardListTableViewController::presentClearStudyStatsForSelectedCardsOptions(
    const std::shared_ptr<BarButtonItem>& sender) {
    const bool anySelected = !tableView()->indexPathsForSelectedRows().empty();
    presentSelectionSheet(
        sender,
        {listAction(localized("ClearStatsForSelectedCardsAction", "Clear Stats For Selected Cards"),
                    AlertActionStyle::Destructive, anySelected, weak_from_this(),
                    [](CardListTableViewController& list) { list.clearStatsForSelectedCards(); }),
         listAction(localized("ClearStatsForWholeDeck", "Clear Stats For Whole Deck"), AlertActionStyle::Destructive,
                    true, weak_from_this(), [](CardListTableViewController& list) { list.clearStatsForWholeDeck(); })});
}

void CardListTableViewController::presentMoveSelectedCardsOptions(const std::shared_ptr<BarButtonItem>& sender) {
    moveCardsOptionsBarButtonItem_ = sender;
    presentSelectionSheet(
        sender, {listAction(localized("MoveSelectedCardsAction", "Move Selected Cards"), AlertActionStyle::Default,
                            true, weak_from_this(), [](CardListTableViewController& list) {
                                list.performSegueWithIdentifier(
                                    std::string(rawValue(SegueIdentifier::PickTopicToMoveToSegue)),
                                    list.shared_from_this());
                            })});
}

void CardListTableViewController::deleteSelectedCards() {
    auto keep = shared_from_this();
    auto table = tableView();
    // Search results and groups have no list to delete from: the deck stays
    // as it is, unchanged and unsaved.
    auto* cards = modifiableCards();
    if (!cards) return;
    IndexSet rows;
    for (const auto& indexPath : table->indexPathsForSelectedRows())
        if (indexPath.row >= 0 && static_cast<std::size_t>(indexPath.row) < cards->size())
            rows.addIndex(static_cast<std::size_t>(indexPath.row));
    if (rows.count() == 0) return;
    // From the end, so that earlier indexes stay valid.
    for (auto it = rows.indexes().rbegin(); it != rows.indexes().rend(); ++it)
        cards->erase(cards->begin() + static_cast<std::ptrdiff_t>(*it));
    std::vector<IndexPath> deleted;
    for (auto row : rows.indexes()) deleted.push_back(IndexPath{CARD_LIST_SECTION_INDEX, std::int64_t(row)});
    table->beginUpdates();
    table->deleteRowsAtIndexPaths(deleted, TableViewRowAnimation::Fade);
    table->endUpdates();
    pruneUnusedAttachments();
    didAddOrRemoveCardsWithUpdateChangeCount(true, false);
}

void CardListTableViewController::clearStatistics(const FCCardArray& cards) {
    FCDeck::traverseAllCards(cards, [](const std::shared_ptr<FCCard>& card, bool, bool*) {
        if (!card->isStudyCard()) return;
        auto& study = static_cast<FCStudyCard&>(*card);
        if (auto stats = study.studyStats()) stats->clearStatistics();
        if (auto stats = study.reverseStudyStats()) stats->clearStatistics();
    });
}

void CardListTableViewController::clearStatsForSelectedCards() {
    auto table = tableView();
    const auto& cards = presentationMode_->cards();
    const std::vector<IndexPath> selected = table->indexPathsForSelectedRows();
    FCCardArray chosen;
    for (const auto& indexPath : selected)
        if (indexPath.row >= 0 && static_cast<std::size_t>(indexPath.row) < cards.size())
            chosen.push_back(cards[static_cast<std::size_t>(indexPath.row)]);
    clearStatistics(chosen);
    table->beginUpdates();
    table->reloadRowsAtIndexPaths(selected, TableViewRowAnimation::Automatic);
    table->endUpdates();
    // Reloading the rows keeps them selected.
    for (const auto& indexPath : selected) table->selectRowAtIndexPath(indexPath, false, TableViewScrollPosition::None);
    if (document_) document_->didUpdateStudyStatisticsForMultipleCards();
    updateToolbarItemsForSelection();
    if (isEditing()) {
        refreshDeckCover();
        updateSelectionTitle();
    }
}

void CardListTableViewController::clearStatsForWholeDeck() {
    if (delayedClearStatsTimer_) {
        delayedClearStatsTimer_->invalidate();
        delayedClearStatsTimer_.reset();
    }
    auto alert = AlertController::alertControllerWithTitle(
        localized("ClearingStatsForWholeDeckAlertTitle", "Clearing Stats For All Cards…"), std::nullopt,
        AlertControllerStyle::Alert);
    std::weak_ptr<ViewController> weak = weak_from_this();
    alert->addAction(
        AlertAction::actionWithTitle(localized("Cancel", "Cancel"), AlertActionStyle::Cancel, [weak](AlertAction&) {
            auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock());
            if (!list || !list->delayedClearStatsTimer_) return;
            list->delayedClearStatsTimer_->invalidate();
            list->delayedClearStatsTimer_.reset();
        }));
    std::weak_ptr<AlertController> weakAlert = alert;
    presentViewController(alert, true, [weak, weakAlert] {
        auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock());
        auto shown = weakAlert.lock();
        if (!list || !shown) return;
        // The timer holds the alert as its user info does.
        list->delayedClearStatsTimer_ = Timer::scheduledTimer(kClearWholeDeckDelay, false, [weak, shown](Timer&) {
            if (auto target = std::static_pointer_cast<CardListTableViewController>(weak.lock()))
                target->clearStatsForWholeDeckNow(shown);
        });
    });
}

void CardListTableViewController::clearStatsForWholeDeckNow(const std::shared_ptr<AlertController>& alert) {
    if (!alert) return;
    auto keep = shared_from_this();
    delayedClearStatsTimer_.reset();
    alert->dismissViewController(true);
    if (auto deck = document_ ? document_->deck() : nullptr) clearStatistics(deck->cards());
    if (document_) document_->didUpdateStudyStatisticsForMultipleCards();
    refreshDeckCover();
    tableView()->reloadData();
    if (auto delegate = deckChangeDelegate_.lock())
        delegate->didChangeStudyStatisticsForMultipleCardsWithUpdateChangeCount(false);
    updateToolbarItemsForSelection();
}

// --- Grouping ---

void CardListTableViewController::changeGrouping(SegmentedControl& sender) {
    auto keep = shared_from_this();
    const std::int64_t index = sender.selectedSegmentIndex();
    if (index >= 4) {
        refreshDetailPane();
        return;
    }
    if (presentationMode_ && presentationMode_->is(PresentationMode::Tag::filteredCards)) {
        setPresentationMode(*presentationMode_->originalPresentationMode());
        if (searchBar_) {
            searchBar_->endEditing(true);
            searchBar_->setText(std::string());
        }
    }
    std::shared_ptr<FCAbstractCardGroupingStrategy> strategy;
    switch (index) {
        case 1:
            strategy = makeSpacedRepetitionStrategy();
            break;
        case 2:
            strategy = std::make_shared<FCDifficultyGroupingStrategy>();
            break;
        case 3:
            strategy = std::make_shared<FCLastStudiedGroupingStrategy>();
            break;
        default:
            ungroup();
            refreshDetailPane();
            return;
    }
    applyGrouping(strategy);
    refreshDetailPane();
}

std::shared_ptr<FCAbstractCardGroupingStrategy> CardListTableViewController::makeSpacedRepetitionStrategy() {
    auto strategy = std::make_shared<FCSpacedRepetitionGroupingStrategy>();
    if (auto document = flashcardsDocument())
        if (auto settings = document->userDocumentSettings())
            if (auto intervals = settings->spacedRepetitionBoxIntervals())
                strategy->configureWithBoxIntervals(intervals);
    return strategy;
}

void CardListTableViewController::ungroup() {
    currentGroupingStrategy_.reset();
    if (!presentationMode_) return;
    if (presentationMode_->is(PresentationMode::Tag::groupForTopLevelCards) ||
        presentationMode_->is(PresentationMode::Tag::groupForTopic)) {
        setPresentationMode(*presentationMode_->originalPresentationMode());
        tableView()->reloadData();
    }
}

void CardListTableViewController::regroupCurrentMode() {
    const PresentationMode mode = *presentationMode_;
    auto& strategy = *currentGroupingStrategy_;
    switch (mode.tag()) {
        case PresentationMode::Tag::topLevelCards: {
            auto deck = mode.document()->deck();
            setPresentationMode(PresentationMode::groupForTopLevelCards(
                mode.document(), groups(deck ? deck->cards() : FCCardArray{}, strategy), mode));
            break;
        }
        case PresentationMode::Tag::topic:
            setPresentationMode(PresentationMode::groupForTopic(mode.document(), mode.topicCard(),
                                                                groups(*mode.topicCard()->cards(), strategy), mode));
            break;
        case PresentationMode::Tag::groupForTopLevelCards: {
            auto deck = mode.document()->deck();
            setPresentationMode(PresentationMode::groupForTopLevelCards(
                mode.document(), groups(deck ? deck->cards() : FCCardArray{}, strategy),
                *mode.originalPresentationMode()));
            break;
        }
        case PresentationMode::Tag::groupForTopic:
            setPresentationMode(PresentationMode::groupForTopic(mode.document(), mode.topicCard(),
                                                                groups(*mode.topicCard()->cards(), strategy),
                                                                *mode.originalPresentationMode()));
            break;
        default:
            break;
    }
}

void CardListTableViewController::applyGrouping(std::shared_ptr<FCAbstractCardGroupingStrategy> strategy) {
    currentGroupingStrategy_ = std::move(strategy);
    if (!presentationMode_ || !currentGroupingStrategy_) return;
    switch (presentationMode_->tag()) {
        case PresentationMode::Tag::groupContent:
        case PresentationMode::Tag::filteredCards:
        case PresentationMode::Tag::editingTitle:
            return;
        default:
            break;
    }
    regroupCurrentMode();
    tableView()->reloadData();
}

namespace {

// Whether a study card has been rated answer first: its reverse statistics
// (for a reversed view, the statistics it answers as reverse) hold a rating.
bool hasReverseRatings(const FCStudyCard& card) {
    if (card.isReversed()) {
        const auto viewStats = card.reverseStudyStats();
        return viewStats && viewStats->numberOfRatings() > 0;
    }
    const FCStudyStats* reverse = card.storedReverseStudyStats().get();
    return reverse && reverse->numberOfRatings() > 0;
}

// The study cards under a tree of cards for a grouping: each study card in
// order, then each card rated answer first once more, answer first (many of
// these share an arena); the grouping looks at each as it comes.
class TreeStudyCardCollector : public FCStudyCardCollector {
public:
    explicit TreeStudyCardCollector(const FCCardArray& cards) : cards_(cards) {}

    void collect(FCStudyCardArray& studyCards, const std::function<void(std::size_t)>& visit) override {
        std::vector<std::size_t> rated;
        walk(cards_, studyCards, rated, visit);
        FCCardArena::Batch reversed(rated.size());
        studyCards.reserve(studyCards.size() + rated.size());
        for (std::size_t i : rated) {
            studyCards.push_back(reversed.make<FullyReversedStudyCard>(studyCards[i]));
            visit(studyCards.size() - 1);
        }
    }

private:
    static void walk(const FCCardArray& cards, FCStudyCardArray& studyCards, std::vector<std::size_t>& rated,
                     const std::function<void(std::size_t)>& visit) {
        constexpr std::size_t kAhead = 8;
        for (std::size_t i = 0; i < cards.size(); ++i) {
            // The cards and their statistics lie apart in memory: each card
            // is fetched a few cards ahead, its statistics once it is there.
            if (i + kAhead < cards.size()) __builtin_prefetch(cards[i + kAhead].get());
            if (i + kAhead / 2 < cards.size() && cards[i + kAhead / 2] && cards[i + kAhead / 2]->isStudyCard())
                __builtin_prefetch(static_cast<const FCStudyCard&>(*cards[i + kAhead / 2]).storedStudyStats().get());
            const auto& card = cards[i];
            if (!card) continue;
            if (card->isStudyCard()) {
                if (hasReverseRatings(static_cast<const FCStudyCard&>(*card))) rated.push_back(studyCards.size());
                studyCards.push_back(std::static_pointer_cast<FCStudyCard>(card));
                visit(studyCards.size() - 1);
            } else if (const FCCardArray* children = card->cards()) {
                walk(*children, studyCards, rated, visit);
            }
        }
    }

    const FCCardArray& cards_;
};

}  // namespace

FCCardArray CardListTableViewController::groups(const FCCardArray& cards, FCAbstractCardGroupingStrategy& strategy) {
    // The list of cards to group is kept from one grouping to the next on
    // this thread (empty in between): a large deck's list would otherwise be
    // fresh pages each time.
    static thread_local FCStudyCardArray spare;
    FCStudyCardArray input = std::move(spare);
    TreeStudyCardCollector collector(cards);
    FCCardArray result;
    // The groups take the list's references over.
    for (const auto& group : strategy.groupCollectedStudyCards(collector, input, true, *this))
        if (auto card = std::dynamic_pointer_cast<CardGroup>(group)) result.push_back(card);
    input.clear();
    spare = std::move(input);
    if (dynamic_cast<FCSpacedRepetitionGroupingStrategy*>(&strategy)) {
        std::int64_t key = 9999;
        if (auto document = flashcardsDocument())
            if (auto deck = document->deck()) key = deck->nextAvailableCardPrimaryKey();
        result.push_back(CardGroup::make(std::string(), key, false, true, std::nullopt));
    }
    return result;
}

std::shared_ptr<FCCardGroup> CardListTableViewController::makeGroupWithTitle(const std::string& title,
                                                                             const std::string&, bool,
                                                                             bool wantsScheduleNextButton,
                                                                             const std::string& progressHexColor,
                                                                             FCStudyCardArray cards) {
    auto deck = document_ ? document_->deck() : nullptr;
    auto group = CardGroup::make(title, deck ? deck->nextAvailableCardPrimaryKey() : 0, wantsScheduleNextButton, false,
                                 progressHexColor);
    group->cards()->assign(std::make_move_iterator(cards.begin()), std::make_move_iterator(cards.end()));
    return group;
}

bool CardListTableViewController::isEmptyGroup(const std::shared_ptr<FCCardGroup>& group) const {
    auto topic = std::dynamic_pointer_cast<FCTopicCard>(group);
    return topic && topic->cards()->empty();
}

std::shared_ptr<FCTopicCard> CardListTableViewController::regroupedGroup(const std::shared_ptr<FCTopicCard>& matching) {
    if (!presentationMode_ || !(presentationMode_->is(PresentationMode::Tag::groupForTopLevelCards) ||
                                presentationMode_->is(PresentationMode::Tag::groupForTopic)))
        fatalError("Not presenting grouped cards, but " +
                       (presentationMode_ ? presentationMode_->description() : std::string("nothing")),
                   kFileName, 742);
    if (currentGroupingStrategy_) {
        regroupCurrentMode();
        tableView()->reloadData();
    }
    for (const auto& group : presentationMode_->groups()) {
        const auto& topic = static_cast<const FCTopicCard&>(*group);
        if (topic.title() == matching->title()) return std::static_pointer_cast<FCTopicCard>(group);
    }
    return FCTopicCard::topicCardWithTitle(matching->title(), matching->primaryKey());
}

void CardListTableViewController::scheduleNextSpacedRepetitionCard(View& sender) {
    auto table = tableView();
    const Point point = sender.convertPointToView(Point{0, 0}, table.get());
    std::optional<IndexPath> row;
    for (std::int64_t r = 0; r < table->numberOfRowsInSection(CARD_LIST_SECTION_INDEX); ++r)
        if (table->rectForRowAtIndexPath(IndexPath{CARD_LIST_SECTION_INDEX, r}).contains(point))
            row = IndexPath{CARD_LIST_SECTION_INDEX, r};
    if (!row || !presentationMode_) return;
    const auto& cards = presentationMode_->cards();
    if (static_cast<std::size_t>(row->row) >= cards.size()) return;
    const auto& card = cards[static_cast<std::size_t>(row->row)];
    if (!card->isTopicCard() || card->cards()->empty() || !card->cards()->front()->isStudyCard()) return;
    static_cast<FCStudyCard&>(*card->cards()->front()).updateLeitnerRating(3);
    if (auto document = flashcardsDocument()) document->didUpdateStudyStatisticsForMultipleCards();
    applyGrouping(makeSpacedRepetitionStrategy());
    refreshDetailPane();
}

std::function<void(const std::optional<std::vector<std::int64_t>>&)>
CardListTableViewController::spacedRepetitionSetupHandler(std::weak_ptr<CardListTableViewController> cardList,
                                                          std::shared_ptr<FIFlashcardsDocument> document) {
    return [cardList, document](const std::optional<std::vector<std::int64_t>>& intervals) {
        std::string text = "(";
        if (intervals)
            for (std::size_t i = 0; i < intervals->size(); ++i)
                text += (i ? ", " : "") + std::to_string((*intervals)[i]);
        text += ")";
        TWLogDebug("Updated spaced repetition intervals: %@", intervals ? text : std::string("(null)"));
        if (document) {
            if (auto settings = document->userDocumentSettings())
                settings->setSpacedRepetitionBoxIntervalsWithIntervals(intervals);
            document->didUpdateUserDocumentSettings();
        }
        if (auto list = cardList.lock()) {
            list->applyGrouping(list->makeSpacedRepetitionStrategy());
            list->refreshDetailPane();
        }
    };
}

PresentationMode CardListTableViewController::childPresentationMode(const std::shared_ptr<FCTopicCard>& tapped) const {
    const PresentationMode* mode = &*presentationMode_;
    if (mode->is(PresentationMode::Tag::editingTitle)) mode = mode->originalPresentationMode();
    switch (mode->tag()) {
        case PresentationMode::Tag::topLevelCards:
        case PresentationMode::Tag::topic:
            return PresentationMode::topic(mode->document(), tapped);
        case PresentationMode::Tag::groupForTopLevelCards:
        case PresentationMode::Tag::groupForTopic:
            return PresentationMode::groupContent(mode->document(), tapped);
        case PresentationMode::Tag::groupContent:
            fatalError("Already showing group content, can't traverse deeper", kFileName, 1012);
        case PresentationMode::Tag::filteredCards:
            fatalError("Topics not supported in search results", kFileName, 1014);
        case PresentationMode::Tag::editingTitle:
            break;
    }
    fatalError("Unerlying presentation mode is already 'editingTitle'", kFileName, 1017);
}

// --- Changes ---

const FCCardArray& CardListTableViewController::presentedCards() const {
    static const FCCardArray none;
    return presentationMode_ ? presentationMode_->cards() : none;
}

std::optional<std::size_t> CardListTableViewController::presentedIndexOfCard(const FCCard& card) const {
    if (!presentationMode_) return std::nullopt;
    const auto& cards = presentationMode_->cards();
    for (std::size_t i = 0; i < cards.size(); ++i)
        if (cards[i].get() == &card) return i;
    return std::nullopt;
}

void CardListTableViewController::deleteDeckAtURL(const URL& url) {
    if (auto delegate = deckChangeDelegate_.lock()) delegate->deleteDeckAtURL(url);
}

void CardListTableViewController::didChangeCard(const std::shared_ptr<FCCard>& card,
                                                const std::shared_ptr<ViewController>& viewController) {
    auto keep = shared_from_this();
    restartPendingSearch();
    if (isViewLoaded() && card) {
        auto table = tableView();
        if (presentationMode_ && presentationMode_->is(PresentationMode::Tag::groupContent)) {
            table->reloadData();
        } else if (auto index = presentedIndexOfCard(*card)) {
            table->beginUpdates();
            table->reloadRowsAtIndexPaths({IndexPath{CARD_LIST_SECTION_INDEX, std::int64_t(*index)}},
                                          TableViewRowAnimation::None);
            table->endUpdates();
        }
    }
    if (auto document = flashcardsDocument()) document->didChangeCardContents();
    const auto& hook = cardListDetailEditor();
    if (viewController && hook.isCardEditor && hook.isCardEditor(*viewController) && hook.mode) {
        auto editor = detailEditor();
        if (editor && editor != viewController && hook.mode(*editor) == CardListDetailEditor::Mode::cardEditor)
            refreshDetailPane();
    }
}

void CardListTableViewController::didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>& card,
                                                                  bool updateChangeCount) {
    auto keep = shared_from_this();
    if (presentationMode_ && (presentationMode_->is(PresentationMode::Tag::groupForTopLevelCards) ||
                              presentationMode_->is(PresentationMode::Tag::groupForTopic) ||
                              presentationMode_->is(PresentationMode::Tag::groupContent)))
        needsGroupContentsUpdate_ = true;
    const std::shared_ptr<FCStudyCard> original = FIDeckDocument::ratedCardItself(card);
    if (original && isViewLoaded())
        if (auto index = presentedIndexOfCard(*original)) {
            auto table = tableView();
            table->beginUpdates();
            table->reloadRowsAtIndexPaths({IndexPath{CARD_LIST_SECTION_INDEX, std::int64_t(*index)}},
                                          TableViewRowAnimation::Automatic);
            table->endUpdates();
        }
    if (updateChangeCount && document_ && original) {
        document_->didUpdateStudyStatsForCard(original);
        refreshDeckCover();
    }
    if (auto delegate = deckChangeDelegate_.lock()) delegate->didChangeStudyStatisticsForCard(card, false);
}

void CardListTableViewController::didChangeDocumentTitle(const URL& oldURL, const URL& newURL) {
    if (auto delegate = deckChangeDelegate_.lock()) delegate->didChangeDocumentTitle(oldURL, newURL);
}

void CardListTableViewController::didReorderCards() {
    restartPendingSearch();
    if (auto document = flashcardsDocument()) document->didReorderCards();
    if (isEditing()) {
        refreshDetailPane();
        refreshSelectionToolbar();
    }
}

void CardListTableViewController::didAddOrRemoveCardsWithUpdateChangeCount(bool updateChangeCount, bool reloadData) {
    auto keep = shared_from_this();
    restartPendingSearch();
    if (updateChangeCount)
        if (auto document = flashcardsDocument()) document->didAddOrRemoveCards();
    if (reloadData && isViewLoaded()) tableView()->reloadData();
    if (auto delegate = deckChangeDelegate_.lock()) delegate->didAddOrRemoveCardsWithUpdateChangeCount(false, true);
    if (isEditing()) {
        refreshDetailPane();
        refreshSelectionToolbar();
    }
}

void CardListTableViewController::didMoveCardsWithUpdateChangeCount(bool updateChangeCount) {
    auto keep = shared_from_this();
    restartPendingSearch();
    if (updateChangeCount)
        if (auto document = flashcardsDocument()) document->didReorderCards();
    if (auto delegate = deckChangeDelegate_.lock()) delegate->didMoveCardsWithUpdateChangeCount(false);
    if (isViewLoaded()) tableView()->reloadData();
    if (isEditing()) {
        refreshDetailPane();
        refreshSelectionToolbar();
    }
}

void CardListTableViewController::didChangeStudyStatisticsForMultipleCardsWithUpdateChangeCount(
    bool updateChangeCount) {
    auto keep = shared_from_this();
    if (updateChangeCount && document_) {
        document_->didUpdateStudyStatisticsForMultipleCards();
        refreshDeckCover();
    }
    if (isViewLoaded()) tableView()->reloadData();
    if (auto delegate = deckChangeDelegate_.lock())
        delegate->didChangeStudyStatisticsForMultipleCardsWithUpdateChangeCount(false);
}

bool CardListTableViewController::isFileNameAvailableForNewDocument(const std::string& fileName,
                                                                    const URL& parentDirectoryURL) {
    auto delegate = deckChangeDelegate_.lock();
    return delegate && delegate->isFileNameAvailableForNewDocument(fileName, parentDirectoryURL);
}

void CardListTableViewController::addNewImageAttachmentWithName(const std::string& fileName, const Data& data,
                                                                const std::shared_ptr<FCCard>& card) {
    if (auto document = flashcardsDocument()) document->addNewAttachmentWithData(data, fileName);
    didChangeCard(card, nullptr);
}

void CardListTableViewController::runInventoryForImagesAndDeleteIfUnused(const std::vector<std::string>& fileNames) {
    std::weak_ptr<ViewController> weak = weak_from_this();
    // The document is kept for the inventory: it must outlive the call.
    auto document = document_;
    OperationQueue::mainQueue().addOperationWithBlock([weak, document, fileNames] {
        if (!document) return;
        auto deck = document->deck();
        const std::vector<std::string> used =
            deck ? deck->listNamesOfAllImagesUsedInDeck() : std::vector<std::string>{};
        FIAnalytics::shared().trackDidFinishImageInventory(static_cast<std::int64_t>(used.size()));
        auto flashcards = std::dynamic_pointer_cast<FIFlashcardsDocument>(document);
        bool removed = false;
        for (const auto& name : fileNames) {
            if (std::find(used.begin(), used.end(), name) != used.end()) continue;
            if (!flashcards) continue;
            flashcards->removeAttachmentWithName(name);
            TWLogDebug("Removed deleted image: %@", name);
            removed = true;
        }
        if (removed && flashcards) flashcards->updateChangeCount(DocumentChangeKind::Done);
        (void)weak;
    });
}

void CardListTableViewController::pruneUnusedAttachments() {
    auto document = flashcardsDocument();
    if (!document) return;
    auto deck = document->deck();
    document->pruneAttachmentsOnlyKeepingFilesWithNames(deck ? deck->listNamesOfAllImagesUsedInDeck()
                                                             : std::vector<std::string>{});
}

// --- Search ---

void CardListTableViewController::textDidChange(SearchBar& bar, const std::string&) {
    auto keep = shared_from_this();
    TWLogDebug("Search text: %@", bar.text());
    if (!presentationMode_) return;
    startSearch(foldedForSearch(trimmingBlanksAndTabs(bar.text())), true);
    if (bar.text().empty()) {
        std::weak_ptr<View> weakBar = bar.weak_from_this();
        DispatchQueue::main().asyncAfter(0.1, [weakBar] {
            if (auto strong = weakBar.lock()) strong->endEditing(true);
        });
    }
}

void CardListTableViewController::startSearch(std::string foldedQuery, bool firstSliceNow) {
    PresentationMode base = presentationMode_->is(PresentationMode::Tag::filteredCards)
                                ? *presentationMode_->originalPresentationMode()
                                : *presentationMode_;
    // A search under way is dropped: only its turn on the main queue is left, where it finds itself replaced.
    search_ = std::make_shared<CardListSearch>(std::move(base), std::move(foldedQuery));
    if (firstSliceNow)
        continueSearch(search_);
    else
        continueSearchLater(search_);
}

void CardListTableViewController::continueSearch(std::shared_ptr<CardListSearch> search) {
    if (search != search_) return;
    if (!search->advance(searchIndex_, kSearchSliceBudget)) {
        continueSearchLater(search);
        return;
    }
    auto keep = shared_from_this();
    setPresentationMode(PresentationMode::filteredCards(search->base(), search->takeFound()));
    tableView()->reloadData();
}

void CardListTableViewController::continueSearchLater(const std::shared_ptr<CardListSearch>& search) {
    std::weak_ptr<ViewController> weak = weak_from_this();
    DispatchQueue::main().async([weak, search] {
        if (auto list = std::dynamic_pointer_cast<CardListTableViewController>(weak.lock()))
            list->continueSearch(search);
    });
}

void CardListTableViewController::restartPendingSearch() {
    // Started over on the cards as they are now, once the change is done.
    if (search_ && presentationMode_) startSearch(search_->foldedQuery(), false);
}

void CardListTableViewController::searchBarTextDidEndEditing(SearchBar& bar) {
    if (!presentationMode_ || !presentationMode_->is(PresentationMode::Tag::filteredCards) || !bar.text().empty())
        return;
    auto keep = shared_from_this();
    setPresentationMode(*presentationMode_->originalPresentationMode());
    tableView()->reloadData();
}
