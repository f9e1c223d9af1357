#include "app/shell/SettingsTableViewController.h"

#include <algorithm>

#include "app/remote/RemoteControlUIViewController.h"
#include "app/shell/DiagnosticsTableViewController.h"
#include "app/shell/FIAppDelegate.h"
#include "app/shell/UserGuideTableViewController.h"
#include "app/views/FIHelpContentViewController.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/URL.h"
#include "platform/net/ServiceHost.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Font.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableViewCell.h"

namespace {

constexpr const char* kMainStoryboardName = "Main";
constexpr const char* kHelpContentSceneIdentifier = "HelpContentViewController";

std::shared_ptr<TableViewCell> makeCell(TableViewCellStyle style, const std::string& title,
                                        TableViewCellAccessoryType accessory = TableViewCellAccessoryType::None) {
    auto cell = std::make_shared<TableViewCell>(style, std::nullopt);
    cell->textLabel()->setText(title);
    cell->setAccessoryType(accessory);
    return cell;
}

// The settings scene: its rows, titles and footers.
void loadSettingsScene(SettingsTableViewController& controller, std::shared_ptr<TableViewCell>& iCloudCell,
                       std::shared_ptr<TableViewCell>& contactCell) {
    controller.setView(std::make_shared<TableView>(Rect(0, 0, 390, 844), TableViewStyle::Grouped));
    controller.setTitle("Settings");

    auto remote =
        makeCell(TableViewCellStyle::Default, "Remote Control", TableViewCellAccessoryType::DisclosureIndicator);
    iCloudCell = makeCell(TableViewCellStyle::Value1, "Keep Decks in iCloud");
    iCloudCell->setSelectionStyle(TableViewCellSelectionStyle::None);
    auto guide = makeCell(TableViewCellStyle::Default, "User Guide", TableViewCellAccessoryType::DisclosureIndicator);
    contactCell = makeCell(TableViewCellStyle::Default, "Contact Support");
    auto diagnostics =
        makeCell(TableViewCellStyle::Default, "Diagnostics", TableViewCellAccessoryType::DisclosureIndicator);
    diagnostics->setSelectionSegueIdentifier(
        std::string(SettingsTableViewController::rawValue(SettingsSegueIdentifier::ShowDiagnosticsSegue)));
    auto mac = makeCell(TableViewCellStyle::Default, "Memorant for Mac");
    auto windows = makeCell(TableViewCellStyle::Default, "Memorant for Windows");

    controller.setStaticSections({
        {"Remote",
         {remote},
         "Study on your computer and turn the cards from this DEVICE. Open the companion app on the computer "
         "first."},
        {"Storage",
         {iCloudCell},
         "With iCloud your decks are kept in iCloud Drive. Switching it off asks what happens to the decks on this "
         "device."},
        {"Help",
         {guide, contactCell, diagnostics},
         "Double-tap Contact Support to send the support team diagnostics with your mail."},
        {"Companion Apps", {mac, windows}, "Version"},
    });
}

std::string infoStringOrNA(const std::string& key) {
    const Value& value = Bundle::main().objectForInfoDictionaryKey(key);
    const std::string* text = value.asString();
    return text ? *text : "n/a";
}

}  // namespace

// --- The storyboard ---

void SettingsTableViewController::addScenes(Storyboard& storyboard) {
    storyboard.addScene<SettingsTableViewController>(kSceneIdentifier, [](SettingsTableViewController& controller) {
        loadSettingsScene(controller, controller.iCloudTableViewCell_, controller.contactSupportCell_);
    });
    storyboard.addSegue(kSceneIdentifier, std::string(rawValue(SegueIdentifier::ShowUserGuideSegue)),
                        UserGuideTableViewController::kSceneIdentifier, StoryboardSegueKind::Push);
    storyboard.addSegue(kSceneIdentifier, std::string(rawValue(SegueIdentifier::ShowDiagnosticsSegue)),
                        kDiagnosticsSceneIdentifier, StoryboardSegueKind::Push);

    UserGuideTableViewController::addScene(storyboard, kHelpContentSceneIdentifier);
    storyboard.addScene<FIHelpContentViewController>(kHelpContentSceneIdentifier);
    DiagnosticsTableViewController::addScene(storyboard, kDiagnosticsSceneIdentifier);
}

namespace {

// The settings scene and what it leads to; the deck library's extension
// ("DeckLibrary") adds only its segue to this scene.
const bool kSettingsScenesRegistered =
    (Storyboard::extendStoryboard(kMainStoryboardName, "Settings", SettingsTableViewController::addScenes), true);

}  // namespace

// --- Lifecycle ---

void SettingsTableViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    std::weak_ptr<ViewController> weak = weak_from_this();
    auto doubleTap = std::make_shared<TapGestureRecognizer>([weak](GestureRecognizer& recognizer) {
        if (auto self = std::static_pointer_cast<SettingsTableViewController>(weak.lock()))
            self->_contactTheDeveloperIncludeDiagnostics(recognizer.shared_from_this());
    });
    doubleTap->setNumberOfTapsRequired(2);
    doubleTap->setDelaysTouchesBegan(true);
    if (!contactSupportCell_) throw FCInternalException("The contact-support cell is not connected");
    contactSupportCell_->addGestureRecognizer(doubleTap);
}

void SettingsTableViewController::viewWillAppear(bool animated) {
    TableViewController::viewWillAppear(animated);
    if (auto navigation = navigationController()) navigation->setToolbarHidden(true, animated);
    updateICloudCell();
}

// --- The iCloud row ---

std::shared_ptr<Switch> SettingsTableViewController::makeSwitch() {
    auto toggle = std::make_shared<Switch>();
    std::weak_ptr<ViewController> weak = weak_from_this();
    toggle->addTarget(
        [weak](Control& sender) {
            if (auto self = std::static_pointer_cast<SettingsTableViewController>(weak.lock()))
                self->_cloudSwitchChanged(std::static_pointer_cast<Switch>(sender.shared_from_this()));
        },
        ControlEventValueChanged);
    toggle->setTranslatesAutoresizingMaskIntoConstraints(false);
    return toggle;
}

std::shared_ptr<View> SettingsTableViewController::makeSwitchAccessoryView() {
    auto toggle = makeSwitch();
    const Size size = toggle->intrinsicContentSize();
    auto container = std::make_shared<View>(Rect(0, 0, size.width + 8, size.height));
    container->addSubview(toggle);
    toggle->setFrame(Rect(8, 0, size.width, size.height));
    const std::map<std::string, std::shared_ptr<View>> views{{"switchControl", toggle}};
    for (const char* format : {"H:|-8-[switchControl]|", "V:|[switchControl]|"})
        LayoutConstraint::activateConstraints(LayoutConstraint::constraintsWithVisualFormat(format, 0, {}, views));
    iCloudSwitch_ = toggle;
    progressSpinner_ = nullptr;
    return container;
}

std::shared_ptr<View> SettingsTableViewController::makeBusySwitchAccessoryView() {
    auto toggle = makeSwitch();
    auto spinner = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::Gray);
    spinner->setTranslatesAutoresizingMaskIntoConstraints(false);
    const Size switchSize = toggle->intrinsicContentSize();
    const Size spinnerSize = spinner->intrinsicContentSize();
    const double height = std::max(switchSize.height, spinnerSize.height);
    auto container = std::make_shared<View>(Rect(0, 0, switchSize.width + 8 + spinnerSize.width, height));
    container->addSubview(spinner);
    container->addSubview(toggle);
    spinner->setFrame(Rect(0, 0, spinnerSize.width, height));
    toggle->setFrame(Rect(spinnerSize.width + 8, 0, switchSize.width, height));
    const std::map<std::string, std::shared_ptr<View>> views{{"progressControl", spinner}, {"switchControl", toggle}};
    for (const char* format :
         {"H:|[progressControl]-8-[switchControl]|", "V:|[progressControl]|", "V:|[switchControl]|"})
        LayoutConstraint::activateConstraints(LayoutConstraint::constraintsWithVisualFormat(format, 0, {}, views));
    iCloudSwitch_ = toggle;
    progressSpinner_ = spinner;
    return container;
}

void SettingsTableViewController::updateICloudCell() {
    std::shared_ptr<View> accessory;
    if (!isBusy_) {
        accessory = makeSwitchAccessoryView();
        iCloudSwitch_->setEnabled(isCloudAvailable_);
    } else {
        accessory = makeBusySwitchAccessoryView();
        iCloudSwitch_->setEnabled(false);
        progressSpinner_->startAnimating();
    }
    if (iCloudTableViewCell_) {
        iCloudTableViewCell_->setAccessoryView(accessory);
        iCloudTableViewCell_->detailTextLabel()->setText(
            isCloudAvailable_ ? std::string() : Bundle::main().localizedString("iCloudNotSignedIn", "Not signed in"));
    }
    iCloudSwitch_->setOn(isUsingCloudStorage_ && isCloudAvailable_, false);
}

void SettingsTableViewController::startMove(
    std::function<void(SettingsViewControllerDelegate&, std::weak_ptr<SettingsTableViewController>)> move) {
    isBusy_ = true;
    updateICloudCell();
    // Without a delegate the row shows the change, and nothing moves.
    if (auto delegate = delegate_.lock())
        move(*delegate, std::static_pointer_cast<SettingsTableViewController>(shared_from_this()));
}

void SettingsTableViewController::_cloudSwitchChanged(const AnyObject& sender) {
    auto toggle = sender.as<Switch>();
    if (!toggle) toggle = iCloudSwitch_;
    if (!toggle) return;
    if (toggle->isOn()) {
        isUsingCloudStorage_ = true;
        startMove([](SettingsViewControllerDelegate& delegate, std::weak_ptr<SettingsTableViewController> weak) {
            delegate.switchToCloudStorage([weak] {
                auto self = weak.lock();
                if (!self) return;
                self->isBusy_ = false;
                self->updateICloudCell();
            });
        });
        return;
    }

    const Bundle& bundle = Bundle::main();
    const std::string model = Device::current().model();
    auto alert = AlertController::alertControllerWithTitle(
        bundle.localizedString("NotUsingiCloudTitle", "Not Using iCloud"),
        stringWithFormat(bundle.localizedString("NotUsingiCloudMessageFormat",
                                                "What would you like to do with the decks currently on this %@?"),
                         model),
        AlertControllerStyle::Alert);
    std::weak_ptr<SettingsTableViewController> weak =
        std::static_pointer_cast<SettingsTableViewController>(shared_from_this());
    alert->addAction(AlertAction::actionWithTitle(
        stringWithFormat(bundle.localizedString("KeepCopyOnDeviceActionFormat", "Keep a Copy on My %@"), model),
        AlertActionStyle::Default, [weak](AlertAction&) {
            auto self = weak.lock();
            if (!self) return;
            self->isUsingCloudStorage_ = false;
            self->startMove(
                [](SettingsViewControllerDelegate& delegate, std::weak_ptr<SettingsTableViewController> weakSelf) {
                    delegate.switchToLocalStorageCopyingCloudDocuments([weakSelf](bool usingCloudStorage) {
                        auto screen = weakSelf.lock();
                        if (!screen) return;
                        screen->isBusy_ = false;
                        screen->isUsingCloudStorage_ = usingCloudStorage;
                        screen->updateICloudCell();
                    });
                });
        }));
    alert->addAction(AlertAction::actionWithTitle(
        stringWithFormat(bundle.localizedString("DeleteFromDeviceActionFormat", "Delete from My %@"), model),
        AlertActionStyle::Default, [weak](AlertAction&) {
            auto self = weak.lock();
            if (!self) return;
            self->isUsingCloudStorage_ = false;
            self->startMove(
                [](SettingsViewControllerDelegate& delegate, std::weak_ptr<SettingsTableViewController> weakSelf) {
                    delegate.switchToLocalStorageEvictingCloudDocuments([weakSelf] {
                        auto screen = weakSelf.lock();
                        if (!screen) return;
                        screen->isBusy_ = false;
                        screen->updateICloudCell();
                    });
                });
        }));
    std::weak_ptr<Switch> weakSwitch = toggle;
    alert->addAction(
        AlertAction::actionWithTitle(bundle.localizedString("ContinueUsingiCloudAction", "Continue Using iCloud"),
                                     AlertActionStyle::Default, [weakSwitch](AlertAction&) {
                                         if (auto control = weakSwitch.lock()) control->setOn(true, true);
                                     }));
    presentViewController(alert, true);
}

// --- Rows ---

void SettingsTableViewController::didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    switch (indexPath.section) {
        case 0:
            presentRemoteControl();
            break;
        case 2:
            if (indexPath.row == 0)
                performSegueWithIdentifier(std::string(rawValue(SegueIdentifier::ShowUserGuideSegue)),
                                           tableView.cellForRowAtIndexPath(indexPath));
            else if (indexPath.row == 1)
                _contactTheDeveloper(tableView.cellForRowAtIndexPath(indexPath));
            // The diagnostics row performs its segue by itself.
            break;
        case 3:
            if (indexPath.row == 0)
                openLink("CompanionAppURL", companionAppURLString());
            else
                openLink("WindowsCompanionAppURL", windowsCompanionAppURLString());
            break;
        default:
            break;
    }
    tableView.deselectRowAtIndexPath(indexPath, true);
}

void SettingsTableViewController::presentRemoteControl() {
    RemoteControlUIViewController::presentFrom(*this);
}

std::string SettingsTableViewController::companionAppURLString() {
    return Bundle::main().localizedString("CompanionAppURL", "http://" + serviceHost() + "/");
}

std::string SettingsTableViewController::windowsCompanionAppURLString() {
    return Bundle::main().localizedString("WindowsCompanionAppURL", "http://" + serviceHost() + "/windows/");
}

void SettingsTableViewController::openLink(const std::string& key, const std::string& text) {
    // A value that is no absolute URL is a fault of the string table: the
    // row opens nothing rather than something else.
    auto url = URL::URLWithString(text);
    if (!url || !url->scheme()) {
        TWLogWarning("The link \"%@\" is not a URL: %@", key, text);
        return;
    }
    Application::shared().openURL(*url);
}

void SettingsTableViewController::_contactTheDeveloper(const AnyObject& /*sender*/) {
    FIAppDelegate::shared()->sendFeedbackEmail();
}

void SettingsTableViewController::_contactTheDeveloperIncludeDiagnostics(const AnyObject& /*sender*/) {
    FIAppDelegate::shared()->sendFeedbackEmailIncludingDiagnosticsData();
}

// --- Footers ---

void SettingsTableViewController::willDisplayFooterView(TableView& /*tableView*/, View& view, std::int64_t section) {
    auto* footer = dynamic_cast<TableViewHeaderFooterView*>(&view);
    if (!footer) return;
    const auto& label = footer->textLabel();
    if (section == 0) {
        label->setText(stringByReplacingOccurrences(label->text().value_or(""), "DEVICE", Device::current().model()));
    } else if (section == 3) {
        label->setText("Version " + infoStringOrNA("CFBundleShortVersionString") + " (" +
                       infoStringOrNA("CFBundleVersion") + ")");
        label->setTextAlignment(TextAlignment::Center);
        label->setFont(Font::systemFont(Font::smallSystemFontSize()));
    }
}

// --- Segues ---

void SettingsTableViewController::prepareForSegue(StoryboardSegue& segue, const AnyObject& /*sender*/) {
    switch (segueIdentifier(segue)) {
        case SegueIdentifier::ShowUserGuideSegue: {
            auto guide = std::dynamic_pointer_cast<UserGuideTableViewController>(segue.destinationViewController());
            if (!guide) throw FCInternalException("The user guide segue leads to another screen");
            if (auto path = Bundle::main().pathForResource("HelpContents", "plist"))
                guide->loadEntries(URL::fileURLWithPath(*path));
            else
                TWLogWarning("The help contents are missing from the app's resources");
            break;
        }
        case SegueIdentifier::ShowDiagnosticsSegue:
            break;
    }
}
