#pragma once

// The settings screen: a table of static rows in the storyboard "Main",
// pushed by the deck library's "ShowSettingsSegue" after the library has set
// the four values below.
//
//   section 0   the remote control (any row)   presents the remote
//   section 1   iCloud storage, a switch        the switch moves the decks
//   section 2   user guide                      "ShowUserGuideSegue"
//               contact support                 the feedback mail; a double
//                                               tap sends it with diagnostics
//               diagnostics                     "ShowDiagnosticsSegue" (the row's own)
//   section 3   the companion app's page        "CompanionAppURL"
//               the Windows companion's page    "WindowsCompanionAppURL"
//
// Every tapped row is deselected, animated. The screen stores nothing: the
// moves between local and cloud storage are the delegate's, the mails the
// application delegate's.
//
// The iCloud row (updateICloudCell, at every appearance and before and after
// every move): a switch alone, enabled only when the cloud is available, or
// while a move runs a grey spinner beside a disabled switch; the detail text
// "Not signed in" without the cloud; the switch on only when the decks are in
// the cloud and the cloud is available.
//
// Turning the switch on starts the move to the cloud (busy until its
// completion). Turning it off asks what to do with the decks on this device:
// keep a copy (the completion says whether the cloud is still in use),
// delete them from the device, or go on using the cloud (the switch turns
// back on, nothing starts). Without a delegate the row changes alike and no
// move starts. Completions hold the screen weakly.
//
// The links are the string table's values, whose defaults are pages of the
// web service's host; a value that is no URL is logged (level 1) and nothing
// opens.
//
// Footers: "DEVICE" in section 0's becomes the device's model name; section
// 3's is "Version <short version> (<build>)", "n/a" for a missing value,
// centred in the small system font.

#include <memory>
#include <optional>
#include <string>

#include "app/shell/SettingsSegueIdentifier.h"
#include "app/shell/SettingsViewControllerDelegate.h"
#include "platform/ui/TableViewController.h"

class ActivityIndicatorView;
class Storyboard;
class Switch;
class TableViewCell;
class View;

class SettingsTableViewController : public TableViewController, public SegueHandlerType<SettingsSegueIdentifier> {
public:
    static constexpr const char* kSceneIdentifier = "SettingsTableViewController";
    static constexpr const char* kDiagnosticsSceneIdentifier = "DiagnosticsTableViewController";

    // Adds the settings scene, the user guide's and the diagnostics scenes
    // and the help page scene, with their segues, to a storyboard (the
    // storyboard "Main" has them from the start).
    static void addScenes(Storyboard& storyboard);

    SettingsTableViewController() : TableViewController(TableViewStyle::Grouped) {}

    // Outlets.
    const std::shared_ptr<TableViewCell>& iCloudTableViewCell() const { return iCloudTableViewCell_; }
    const std::shared_ptr<TableViewCell>& contactSupportCell() const { return contactSupportCell_; }

    bool isUsingCloudStorage() const { return isUsingCloudStorage_; }
    void setIsUsingCloudStorage(bool using_) { isUsingCloudStorage_ = using_; }
    bool isCloudAvailable() const { return isCloudAvailable_; }
    void setIsCloudAvailable(bool available) { isCloudAvailable_ = available; }
    // A move of the decks is under way.
    bool isBusy() const { return isBusy_; }
    void setIsBusy(bool busy) { isBusy_ = busy; }
    std::shared_ptr<SettingsViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<SettingsViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }
    // Any object: it is the delegate when it adopts the protocol (none
    // otherwise).
    template <class T>
    void setDelegate(const std::shared_ptr<T>& object) {
        delegate_ = std::dynamic_pointer_cast<SettingsViewControllerDelegate>(object);
    }

    // The switch and spinner the row shows now (the spinner only while busy).
    const std::shared_ptr<Switch>& iCloudSwitch() const { return iCloudSwitch_; }
    const std::shared_ptr<ActivityIndicatorView>& progressSpinner() const { return progressSpinner_; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void willDisplayFooterView(TableView& tableView, View& view, std::int64_t section) override;
    void prepareForSegue(StoryboardSegue& segue, const AnyObject& sender) override;

    void updateICloudCell();
    void _cloudSwitchChanged(const AnyObject& sender);
    void _contactTheDeveloper(const AnyObject& sender);
    void _contactTheDeveloperIncludeDiagnostics(const AnyObject& sender);

    // The page links: the localized value of the key, with the web service's
    // host as the default.
    static std::string companionAppURLString();
    static std::string windowsCompanionAppURLString();

private:
    std::shared_ptr<View> makeSwitchAccessoryView();
    std::shared_ptr<View> makeBusySwitchAccessoryView();
    std::shared_ptr<Switch> makeSwitch();
    void presentRemoteControl();
    void openLink(const std::string& key, const std::string& text);
    void startMove(
        std::function<void(SettingsViewControllerDelegate&, std::weak_ptr<SettingsTableViewController>)> move);

    std::shared_ptr<TableViewCell> iCloudTableViewCell_;
    std::shared_ptr<TableViewCell> contactSupportCell_;
    std::weak_ptr<SettingsViewControllerDelegate> delegate_;
    std::shared_ptr<Switch> iCloudSwitch_;
    std::shared_ptr<ActivityIndicatorView> progressSpinner_;
    bool isUsingCloudStorage_ = false;
    bool isCloudAvailable_ = false;
    bool isBusy_ = false;
};
