#include "app/storage/MakeNewDeckDialogViewController.h"

#include "app/library/DocumentItemDetailsHelper.h"
#include "app/views/UIImagePDF.h"
#include "model/FCCoverStyle.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TextField.h"

namespace {

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "Localizable");
}

constexpr std::int64_t kTitleSection = 0;
constexpr std::int64_t kCoverSection = 1;
constexpr std::int64_t kCoverRow = 0;

}  // namespace

// --- The storyboard ---

void MakeNewDeckDialogViewController::addScenes(Storyboard& storyboard) {
    storyboard.addScene<MakeNewDeckDialogViewController>(kSceneIdentifier, [](MakeNewDeckDialogViewController& dialog) {
        dialog.setView(std::make_shared<TableView>(Rect(0, 0, 390, 844), TableViewStyle::Grouped));
        dialog.navigationItem().setTitle(localized("NewDeckDialogTitle", "New Deck"));
        std::weak_ptr<ViewController> weak = dialog.shared_from_this();
        auto with = [weak](void (MakeNewDeckDialogViewController::*action)(const AnyObject&)) {
            return [weak, action](BarButtonItem& sender) {
                if (auto self = std::static_pointer_cast<MakeNewDeckDialogViewController>(weak.lock()))
                    ((*self).*action)(sender.shared_from_this());
            };
        };

        auto titleCell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::nullopt);
        titleCell->setSelectionStyle(TableViewCellSelectionStyle::None);
        auto field = std::make_shared<TextField>(Rect(16, 7, 358, 30));
        field->setPlaceholder(localized("NewDeckTitlePlaceholder", "Title"));
        field->addTarget(
            [weak](Control& sender) {
                if (auto self = std::static_pointer_cast<MakeNewDeckDialogViewController>(weak.lock()))
                    self->deckTitleTextFieldChanged(std::static_pointer_cast<View>(sender.shared_from_this()));
            },
            ControlEventEditingChanged);
        titleCell->contentView()->addSubview(field);
        dialog.setDeckTitleTextField(field);

        auto coverCell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::nullopt);
        coverCell->textLabel()->setText(localized("NewDeckCoverRowTitle", "Cover"));
        coverCell->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
        auto cover = std::make_shared<ImageView>(Rect(270, 8, 91, 64));
        cover->setClipsToBounds(true);
        coverCell->contentView()->addSubview(cover);
        coverCell->setFrame(Rect(0, 0, 390, 80));
        dialog.setCoverImageView(cover);

        dialog.setStaticSections(
            {{std::nullopt, {titleCell}, std::nullopt}, {std::nullopt, {coverCell}, std::nullopt}});

        auto create = BarButtonItem::withTitle(localized("CreateDeckButtonTitle", "Create"), BarButtonItemStyle::Done,
                                               with(&MakeNewDeckDialogViewController::createDeck));
        dialog.setCreateDeckBarButtonItem(create);
        dialog.navigationItem().setRightBarButtonItem(create);
        dialog.navigationItem().setLeftBarButtonItem(
            BarButtonItem::withSystemItem(BarButtonSystemItem::Cancel, with(&MakeNewDeckDialogViewController::cancel)));
    });
    storyboard.addNavigationScene(kNavigationSceneIdentifier, kSceneIdentifier);
}

URL MakeNewDeckDialogViewController::placeholderDocumentURL() {
    return URL::fileURLWithPath("/NewDeck.flashcards");
}

// --- Lifecycle ---

void MakeNewDeckDialogViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    auto table = tableView();
    table->setRowHeight(kTableViewAutomaticDimension);
    table->setEstimatedRowHeight(kEstimatedRowHeight);
    coverStyle_ = FCCoverStyle::defaultStyle();
    updateCoverImage();
    updateCreateButtonState();
}

void MakeNewDeckDialogViewController::viewWillAppear(bool animated) {
    TableViewController::viewWillAppear(animated);
    // The keyboard is up when the dialog shows.
    if (deckTitleTextField_) deckTitleTextField_->becomeFirstResponder();
}

void MakeNewDeckDialogViewController::viewDidAppear(bool animated) {
    TableViewController::viewDidAppear(animated);
    // Here a field takes the keyboard only once it is in a window, which a
    // presented screen's view joins after viewWillAppear.
    if (deckTitleTextField_ && !deckTitleTextField_->isFirstResponder() && !pickCoverStyleController_)
        deckTitleTextField_->becomeFirstResponder();
}

// --- Actions ---

void MakeNewDeckDialogViewController::createDeck(const AnyObject& /*sender*/) {
    dismissThenComplete(trimmedTitle(), coverStyle_);
}

void MakeNewDeckDialogViewController::cancel(const AnyObject& /*sender*/) {
    dismissThenComplete(std::nullopt, nullptr);
}

void MakeNewDeckDialogViewController::dismissThenComplete(std::optional<std::string> title,
                                                          std::shared_ptr<FCCoverStyle> coverStyle) {
    // Both buttons stay on screen while the dialog goes: only the first tap counts.
    if (isBeingDismissed() || !presentingViewController()) return;
    auto self = std::static_pointer_cast<MakeNewDeckDialogViewController>(shared_from_this());
    dismissViewController(true, [self, title = std::move(title), coverStyle = std::move(coverStyle)] {
        auto completion = std::move(self->completionBlock_);
        self->completionBlock_ = nullptr;
        if (completion) completion(title, coverStyle);
    });
}

void MakeNewDeckDialogViewController::changeCover(const AnyObject& /*sender*/) {
    if (pickCoverStyleController_) return;
    auto picker = PickCoverStyleController::create();
    auto self = std::static_pointer_cast<MakeNewDeckDialogViewController>(shared_from_this());
    picker->setDelegate(std::static_pointer_cast<PickCoverStyleControllerDelegate>(self));
    pickCoverStyleController_ = picker;
    picker->present(view(), placeholderDocumentURL(), *FCCoverStyle::defaultStyle());
}

void MakeNewDeckDialogViewController::deckTitleTextFieldChanged(const AnyObject& /*sender*/) {
    updateCreateButtonState();
}

// --- Table ---

double MakeNewDeckDialogViewController::heightForRowAtIndexPath(TableView& /*tableView*/, const IndexPath& indexPath) {
    return indexPath.section == kTitleSection ? kTitleRowHeight : kTableViewAutomaticDimension;
}

bool MakeNewDeckDialogViewController::shouldHighlightRowAtIndexPath(TableView& /*tableView*/,
                                                                    const IndexPath& indexPath) {
    return indexPath.section == kCoverSection;
}

void MakeNewDeckDialogViewController::didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    tableView.deselectRowAtIndexPath(indexPath, true);
    if (indexPath.section == kCoverSection && indexPath.row == kCoverRow)
        changeCover(std::static_pointer_cast<View>(tableView.shared_from_this()));
}

// --- Cover picker ---

void MakeNewDeckDialogViewController::pickCoverStyleControllerDidFinish(PickCoverStyleController& /*controller*/) {
    pickCoverStyleController_ = nullptr;
}

void MakeNewDeckDialogViewController::pickCoverStyleController(PickCoverStyleController& /*controller*/,
                                                               const std::shared_ptr<FCCoverStyle>& coverStyle,
                                                               const std::optional<URL>& /*documentURL*/) {
    coverStyle_ = coverStyle;
    updateCoverImage();
}

// --- State ---

std::string MakeNewDeckDialogViewController::trimmedTitle() const {
    if (!deckTitleTextField_) return {};
    return stringByTrimmingWhitespaceAndNewlines(deckTitleTextField_->text().value_or(""));
}

void MakeNewDeckDialogViewController::updateCreateButtonState() {
    if (createDeckBarButtonItem_) createDeckBarButtonItem_->setEnabled(!trimmedTitle().empty());
}

void MakeNewDeckDialogViewController::updateCoverImage() {
    if (!coverImageView_ || !coverStyle_) return;
    std::shared_ptr<Image> icon;
    if (const auto& iconName = coverStyle_->iconName())
        icon = imageWithPDFNamedFitSize(FCCoverStyle::fileNameForIconName(*iconName) + ".pdf",
                                        coverImageView_->bounds().size);
    // Without an icon the view keeps what it shows.
    if (!icon) return;
    const auto background = DocumentItemDetailsHelper::backgroundColor(coverStyle_);
    coverImageView_->setBackgroundColor(background);
    coverImageView_->setContentMode(background ? ContentMode::Center : ContentMode::ScaleAspectFill);
    coverImageView_->setImage(icon);
}
